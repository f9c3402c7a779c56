#include "versionfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "apperror.h"
#include "fileio.h"
#include "session.h"
#include "settings.h"

namespace {

constexpr const char* kPrefix = "~ov";
constexpr const char* kPeakSuffix = ".pk";
// mkstemp's replacement for "XXXXXX".
constexpr int kUniqueChars = 6;
constexpr int kCreateAttempts = 8;

// The lock descriptors of this process's live version files, by path.
std::mutex gLocksMutex;
std::map<QString, int>& Locks() {
    static std::map<QString, int> locks;
    return locks;
}

// One descriptor stays open per version, so a very long history can reach the usual soft limit
// of 1024; the hard limit is ours to take then (and only then: some libraries still use select).
// Returns whether the limit went up.
bool RaiseDescriptorLimit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur >= lim.rlim_max) return false;
    lim.rlim_cur = lim.rlim_max;
    return setrlimit(RLIMIT_NOFILE, &lim) == 0;
}

bool SameFile(int fd, const QByteArray& path) {
    struct stat a {
    }, b{};
    return fstat(fd, &a) == 0 && ::stat(path.constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace

QString PeakFilePath(const QString& version) {
    return version + kPeakSuffix;
}

QString CreateVersionFile(const QString& where) {
    QString folder = where.isEmpty() ? DefaultTempFolder() : where;
    if (!folder.endsWith('/')) folder += '/';
    for (int attempt = 0;; ++attempt) {
        QByteArray templ = QFile::encodeName(folder + kPrefix + "XXXXXX");
        const int fd = FileIO().OpenUnique(templ.data(), O_CLOEXEC);
        if (fd < 0 && errno == EMFILE && RaiseDescriptorLimit()) continue;
        if (fd < 0) {
            const int err = errno;
            throw EAppError("Cannot create a temporary file in the folder \"" +
                            folder.toStdString() + "\": " + std::strerror(err) + ".");
        }
        // A file system without locks still gets its versions; only the sweep cannot tell them.
        const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
        // Another run's sweep may have taken the file between its creation and the lock.
        if (locked && !SameFile(fd, templ) && attempt < kCreateAttempts) {
            FileIO().Close(fd);
            continue;
        }
        const QString path = QFile::decodeName(templ);
        if (!locked) {
            FileIO().Close(fd);
            return path;
        }
        std::lock_guard<std::mutex> guard(gLocksMutex);
        auto [it, fresh] = Locks().emplace(path, fd);
        if (!fresh) {
            FileIO().Close(it->second);
            it->second = fd;
        }
        return path;
    }
}

bool AdoptVersionFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = FileIO().Open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        FileIO().Close(fd);
        return false;
    }
    std::lock_guard<std::mutex> guard(gLocksMutex);
    auto [it, fresh] = Locks().emplace(path, fd);
    if (!fresh) FileIO().Close(fd);
    return true;
}

void RemovePeakFile(const QString& version) {
    if (version.isEmpty()) return;
    FileIO().Unlink(QFile::encodeName(PeakFilePath(version)).constData());
}

void RemoveVersionFile(const QString& path) {
    if (path.isEmpty()) return;
    // The peak file first: a peak file is never left without its version by a crash here.
    RemovePeakFile(path);
    FileIO().Unlink(QFile::encodeName(path).constData());
    std::lock_guard<std::mutex> guard(gLocksMutex);
    if (auto it = Locks().find(path); it != Locks().end()) {
        FileIO().Close(it->second);
        Locks().erase(it);
    }
}

bool IsVersionFileName(const QString& entry) {
    const qsizetype prefix = qsizetype(std::strlen(kPrefix));
    if (entry.size() != prefix + kUniqueChars || !entry.startsWith(kPrefix)) return false;
    for (qsizetype i = prefix; i < entry.size(); ++i) {
        const QChar c = entry[i];
        if (c.unicode() > 127 || !c.isLetterOrNumber()) return false;
    }
    return true;
}

bool IsPeakFileName(const QString& entry) {
    return entry.endsWith(kPeakSuffix) && IsVersionFileName(entry.chopped(3));
}

int RemoveStaleVersionFiles(const QString& folder) {
    const QByteArray dirName = QFile::encodeName(folder.isEmpty() ? DefaultTempFolder() : folder);
    DIR* dir = opendir(dirName.constData());
    if (dir == nullptr) return 0;
    int removed = 0;
    RemoveEmptySessions();
    // A run that is gone may be offered back: its versions stay until recovered or discarded.
    const QSet<QString> keep = RecoverableVersionFiles();
    QList<QByteArray> peaks;
    while (const dirent* e = readdir(dir)) {
        const QString entry = QFile::decodeName(e->d_name);
        const QByteArray path = dirName + "/" + QByteArray(e->d_name);
        if (IsPeakFileName(entry)) {
            peaks.append(path);
            continue;
        }
        if (!IsVersionFileName(entry)) continue;
        if (keep.contains(QFileInfo(QFile::decodeName(path)).absoluteFilePath())) continue;
        // O_NONBLOCK and O_NOFOLLOW: never wait on a FIFO or follow a link someone planted.
        const int fd =
            FileIO().Open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        // Locked: a running process (this one included) still uses the version.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (FileIO().Unlink((path + kPeakSuffix).constData()) == 0) ++removed;
            if (FileIO().Unlink(path.constData()) == 0) ++removed;
        }
        FileIO().Close(fd);
    }
    closedir(dir);
    // A peak file without its version belongs to nobody: a live version is made before its
    // peak file and removed after it.
    for (const QByteArray& peak : peaks) {
        struct stat st {};
        const QByteArray version = peak.chopped(3);
        if (lstat(version.constData(), &st) != 0 && errno == ENOENT &&
            lstat(peak.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            FileIO().Unlink(peak.constData()) == 0) {
            ++removed;
        }
    }
    return removed;
}
