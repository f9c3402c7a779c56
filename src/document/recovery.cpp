// The document's side of the session journal: the line each step appends, and a recovery that
// takes a killed run's history back from its last line.
#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QJsonArray>
#include <QSet>

#include "fileio.h"
#include "filenames.h"
#include "session.h"
#include "tags.h"
#include "versionfiles.h"
#include "wavfile.h"

namespace {

QJsonArray MarksOfStack(const TStack& stack) {
    QJsonArray out;
    for (const TVersionMarks& m : stack.Marks()) out.append(MarkersToJson(m.marks));
    return out;
}

std::vector<TVersionMarks> StackMarks(const QJsonValue& v, qsizetype count) {
    std::vector<TVersionMarks> out;
    const QJsonArray a = v.toArray();
    for (qsizetype i = 0; i < count; ++i) out.push_back({MarkersFromJson(a[i].toArray()), 0});
    return out;
}

// A take's file grows behind a header brought up to date twice a second, so the run that died
// left it naming less than the file holds (or, after a power cut, more than reached the disk).
// What the file holds is the sound: the header is made to say so. A version of any other kind
// already agrees with its file and is left untouched. False when the file cannot be read.
bool MatchHeaderToFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = FileIO().Open(name.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    uint8_t bytes[kRf64HeaderBytes] = {};
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && FileIO().PRead(fd, bytes, sizeof bytes, 0) >= ssize_t(kWavHeaderBytes);
    if (ok) {
        TWavHeader h = TWavHeader::Parse(bytes);
        const uint64_t offset = h.HeaderBytes();
        const uint64_t held = uint64_t(st.st_size) > offset ? uint64_t(st.st_size) - offset : 0;
        const uint64_t whole = h.blockAlign ? held / h.blockAlign * h.blockAlign : h.dataSize;
        if (h.formatTag == 1 && whole != h.dataSize && (h.rf64 || !NeedsRf64(whole))) {
            h.SetSizes(whole);
            const TWavHeaderBytes out = h.Bytes();
            ok = FileIO().PWrite(fd, out.data(), out.size(), 0) == ssize_t(out.size());
        }
    }
    FileIO().Close(fd);
    return ok;
}

}  // namespace

void Twavefile::JournalStep() {
    if (tempPath_.isEmpty() || (!session_->Ok() && !session_->Start())) return;
    TJournalStep step;
    step.fileName = fileName_;
    step.current = tempPath_;
    step.undo = undo_.Items();
    step.redo = redo_.Items();
    step.saved = savedVersion_;
    step.modified = modified_;
    for (const auto& [path, v] : views_) {
        if (path != tempPath_ && !step.undo.contains(path) && !step.redo.contains(path)) continue;
        step.views[path] = QJsonArray{qint64(v.cursor), qint64(v.selStart),  qint64(v.selStop),
                                      v.selected,       qint64(v.viewStart), qint64(v.viewEnd)};
    }
    auto any = [](const TStack& s) {
        return std::any_of(s.Marks().begin(), s.Marks().end(),
                           [](const TVersionMarks& m) { return !m.marks.empty(); });
    };
    // A history without markers keeps the lines it always had.
    if (!markers_.empty() || any(undo_) || any(redo_)) {
        step.marks = QJsonObject{{"current", MarkersToJson(markers_)},
                                 {"undo", MarksOfStack(undo_)},
                                 {"redo", MarksOfStack(redo_)}};
    }
    // A journal that cannot be written costs the recovery, never the edit.
    session_->Append(step, false);
}

std::vector<Twavefile::TRecoverable> Twavefile::RecoverableSessions() {
    std::vector<TRecoverable> out;
    for (const TSessionInfo& s : StaleSessions()) {
        out.push_back({s.id, s.last.fileName, int32_t(s.last.undo.size()), s.lastChange});
    }
    return out;
}

bool Twavefile::Recover(const QString& id) {
    if (busy_) return false;
    TSessionInfo info;
    if (!ReadSession(id, info) || !AdoptVersionFile(info.last.current) ||
        !MatchHeaderToFile(info.last.current))
        return false;
    auto restored = OpenVersion(info.last.current);
    if (!restored) return false;
    Close();
    // Nobody held it a moment ago: only a second recovery racing this one can take it.
    if (!session_->Adopt(id)) return false;
    // A history version the crash took (or never finished) ends that side of the history. A
    // file that marker steps name more than once is taken once.
    QSet<QString> held{info.last.current};
    auto keepWhole = [&held](const QStringList& items) {
        QStringList kept;
        for (const QString& path : items) {
            if (!held.contains(path)) {
                if (!AdoptVersionFile(path)) break;
                held.insert(path);
            }
            kept << path;
        }
        return kept;
    };
    const QStringList undo = keepWhole(info.last.undo), redo = keepWhole(info.last.redo);
    undo_.Restore(undo, StackMarks(info.last.marks["undo"], undo.size()));
    redo_.Restore(redo, StackMarks(info.last.marks["redo"], redo.size()));
    for (const QString& path : info.last.undo + info.last.redo) {
        if (!held.contains(path)) RemoveVersionFile(path);
    }
    fileName_ = info.last.fileName;
    // What the file holds, and what was edited but not saved when the run ended.
    tempPath_ = info.last.current;
    store_ = std::move(restored);
    InterpretCurrentHeader();
    savedTags_ = ReadTags(fileName_, sampleRate_, frames_);
    savedMarkers_ = savedTags_.TakeMarkers();
    tags_ = TagsFromJson(ReadSessionNote(id, kTagsNote)).value_or(savedTags_);
    markers_ = MarkersFromJson(info.last.marks["current"].toArray());
    const QString ext = LowerSuffix(fileName_);
    sourceFormat_ = ext == "mp3" ? sfMp3 : ext == "wav" ? sfWav : ext == "wma" ? sfWma : sfUnknown;
    savedVersion_ = info.last.saved;
    modified_ = info.last.modified;
    for (auto it = info.last.views.begin(); it != info.last.views.end(); ++it) {
        const QJsonArray a = it.value().toArray();
        if (a.size() != 6) continue;
        views_[it.key()] = TViewState{a[0].toInteger(), a[1].toInteger(), a[2].toInteger(),
                                      a[3].toBool(),    a[4].toInteger(), a[5].toInteger()};
    }
    recovering_ = true;
    Dispatch(opRebuild, nullptr);
    if (OnAction) OnAction(this, !undo_.IsEmpty(), !redo_.IsEmpty());
    return true;
}

bool Twavefile::DiscardSession(const QString& id) {
    return DeleteSession(id);
}
