#include "session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <algorithm>
#include <utility>

#include "fileio.h"
#include "versionfiles.h"

namespace {

QByteArray Checksum(const QByteArray& body) {
    return QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex().left(16);
}

QJsonArray ToArray(const QStringList& list) {
    return QJsonArray::fromStringList(list);
}

QStringList FromArray(const QJsonValue& v) {
    QStringList out;
    for (const QJsonValue& e : v.toArray()) out << e.toString();
    return out;
}

QByteArray Encode(const TJournalStep& s) {
    QJsonObject o;
    o["file"] = s.fileName;
    o["current"] = s.current;
    o["undo"] = ToArray(s.undo);
    o["redo"] = ToArray(s.redo);
    o["saved"] = s.saved;
    o["modified"] = s.modified;
    o["views"] = s.views;
    if (!s.marks.isEmpty()) o["marks"] = s.marks;
    const QByteArray body = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return Checksum(body) + ' ' + body + '\n';
}

bool Decode(const QByteArray& line, TJournalStep& s) {
    if (line.size() < 18 || line[16] != ' ') return false;
    const QByteArray body = line.mid(17);
    if (Checksum(body) != line.left(16)) return false;
    const QJsonObject o = QJsonDocument::fromJson(body).object();
    if (o.isEmpty()) return false;
    s.fileName = o["file"].toString();
    s.current = o["current"].toString();
    s.undo = FromArray(o["undo"]);
    s.redo = FromArray(o["redo"]);
    s.saved = o["saved"].toString();
    s.modified = o["modified"].toBool();
    s.views = o["views"].toObject();
    s.marks = o["marks"].toObject();
    return !s.current.isEmpty();
}

QString Folder(const QString& id) {
    return SessionsFolder() + "/" + id;
}

// A session name made here: never a path of its own.
bool ValidId(const QString& id) {
    return !id.isEmpty() && id.size() < 64 && std::all_of(id.begin(), id.end(), [](QChar c) {
        return c.unicode() < 128 && (c.isLetterOrNumber() || c == '-');
    });
}

// Whether a run holds the session (its lock taken); false also for a missing session.
bool Held(const QString& id) {
    const int fd = FileIO().Open(QFile::encodeName(Folder(id) + "/lock").constData(),
                                 O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    FileIO().Close(fd);
    return held;
}

// The length of `data` up to the end of its last whole line, and whether that line still needs
// its newline (the crash came between the line and its end).
qsizetype WholeLength(const QByteArray& data, bool& needsNewline) {
    qsizetype whole = 0, start = 0;
    needsNewline = false;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        const bool ended = end >= 0;
        if (!ended) end = data.size();
        TJournalStep step;
        if (Decode(data.mid(start, end - start), step)) {
            whole = ended ? end + 1 : end;
            needsNewline = !ended;
        }
        start = end + 1;
    }
    return whole;
}

bool HasWork(const TJournalStep& s) {
    return s.modified || !s.undo.isEmpty() || !s.redo.isEmpty();
}

}  // namespace

QString SessionsFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) state = QDir::homePath() + "/.local/state";
    return state + "/orvane/sessions";
}

bool TSession::Start() {
    if (Ok()) return true;
    const QString id = QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss") + "-" +
                       QString::number(QRandomGenerator::global()->generate() & 0xffffff, 16);
    return Open(id, true);
}

TSession::~TSession() {
    Release();
}

void TSession::Release() {
    if (journalFd_ >= 0) FileIO().Close(journalFd_);
    if (lockFd_ >= 0) FileIO().Close(lockFd_);
    journalFd_ = lockFd_ = -1;
}

bool TSession::Adopt(const QString& id) {
    if (!ValidId(id) || id == id_) return false;
    TSession taken;
    if (!taken.Open(id, false)) return false;
    Remove();
    std::swap(id_, taken.id_);
    std::swap(lockFd_, taken.lockFd_);
    std::swap(journalFd_, taken.journalFd_);
    return true;
}

bool TSession::Open(const QString& id, bool create) {
    const QString folder = Folder(id);
    if (create && !QDir().mkpath(folder)) return false;
    const int lock = FileIO().Open(QFile::encodeName(folder + "/lock").constData(),
                                   O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0600);
    if (lock < 0) return false;
    if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
        FileIO().Close(lock);
        return false;
    }
    const QString path = folder + "/journal";
    const int journal = FileIO().Open(QFile::encodeName(path).constData(),
                                      O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (journal < 0) {
        FileIO().Close(lock);
        return false;
    }
    // A journal taken over ends where its last whole line ends: a torn tail would otherwise
    // swallow the next line appended.
    if (!create) {
        QFile f(path);
        bool needsNewline = false;
        const QByteArray data = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        const qsizetype whole = WholeLength(data, needsNewline);
        if (whole != data.size() || needsNewline) {
            const bool mended = ::ftruncate(journal, whole) == 0 &&
                                (!needsNewline || FileIO().Write(journal, "\n", 1) == 1) &&
                                ::fdatasync(journal) == 0;
            if (!mended) {
                FileIO().Close(journal);
                FileIO().Close(lock);
                return false;
            }
        }
    }
    Release();
    lockFd_ = lock;
    journalFd_ = journal;
    id_ = id;
    return true;
}

bool TSession::Append(const TJournalStep& step, bool sync) {
    if (journalFd_ < 0) return false;
    const QByteArray line = Encode(step);
    // One write: a crash tears at most this line, which its checksum then refuses.
    if (FileIO().Write(journalFd_, line.constData(), size_t(line.size())) != line.size())
        return false;
    return !sync || Sync();
}

bool TSession::Sync() {
    return journalFd_ >= 0 && ::fdatasync(journalFd_) == 0;
}

bool TSession::WriteNote(const QString& name, const QByteArray& bytes) {
    if (!Ok()) return false;
    const QString path = Folder(id_) + "/" + name;
    if (bytes.isEmpty()) return !QFile::exists(path) || QFile::remove(path);
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

QByteArray ReadSessionNote(const QString& id, const QString& name) {
    if (!ValidId(id)) return {};
    QFile f(Folder(id) + "/" + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TSession::Remove() {
    if (id_.isEmpty()) return;
    const QString folder = Folder(id_);
    // Notes first: the folder goes only when it is empty.
    for (const QString& note : QDir(folder).entryList({"note-*"}, QDir::Files)) {
        QFile::remove(folder + "/" + note);
    }
    FileIO().Unlink(QFile::encodeName(folder + "/journal").constData());
    FileIO().Unlink(QFile::encodeName(folder + "/lock").constData());
    QDir().rmdir(folder);
    Release();
    id_.clear();
}

bool ReadSession(const QString& id, TSessionInfo& info) {
    if (!ValidId(id) || Held(id)) return false;
    QFile f(Folder(id) + "/journal");
    if (!f.open(QIODevice::ReadOnly)) return false;
    info = TSessionInfo{};
    info.id = id;
    // Every line holds the whole state, so the last line that passes its checksum is the state
    // to recover; a damaged line (a torn tail, a spoilt block) is passed over.
    for (const QByteArray& line : f.readAll().split('\n')) {
        TJournalStep step;
        if (!Decode(line, step)) continue;
        info.last = step;
        ++info.steps;
    }
    info.lastChange = QFileInfo(f).lastModified();
    return info.steps > 0;
}

std::vector<TSessionInfo> StaleSessions() {
    std::vector<TSessionInfo> out;
    for (const QString& id : QDir(SessionsFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        TSessionInfo info;
        if (ReadSession(id, info) && HasWork(info.last) && QFile::exists(info.last.current))
            out.push_back(info);
    }
    std::sort(out.begin(), out.end(),
              [](const auto& a, const auto& b) { return a.lastChange > b.lastChange; });
    return out;
}

bool DeleteSession(const QString& id) {
    if (!ValidId(id) || Held(id) || !QDir(Folder(id)).exists()) return false;
    TSessionInfo info;
    if (ReadSession(id, info)) {
        for (const QStringList& list :
             {QStringList{info.last.current}, info.last.undo, info.last.redo}) {
            for (const QString& path : list) {
                if (IsVersionFileName(QFileInfo(path).fileName())) RemoveVersionFile(path);
            }
        }
    }
    return QDir(Folder(id)).removeRecursively();
}

QSet<QString> RecoverableVersionFiles() {
    QSet<QString> keep;
    for (const TSessionInfo& s : StaleSessions()) {
        keep << QFileInfo(s.last.current).absoluteFilePath();
        for (const QString& p : s.last.undo + s.last.redo) keep << QFileInfo(p).absoluteFilePath();
    }
    return keep;
}

int RemoveEmptySessions() {
    int removed = 0;
    for (const QString& id : QDir(SessionsFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!ValidId(id) || Held(id)) continue;
        TSessionInfo info;
        const bool readable = ReadSession(id, info);
        if (readable && HasWork(info.last) && QFile::exists(info.last.current)) continue;
        if (DeleteSession(id)) ++removed;
    }
    return removed;
}
