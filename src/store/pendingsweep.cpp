#include "pendingsweep.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

#include "fileio.h"

namespace {

// mkstemp's replacement for "XXXXXX".
constexpr int kUniqueChars = 6;

}  // namespace

bool LockPendingFile(int fd) {
    return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

bool IsPendingFileName(const QString& entry, const QString& name) {
    const QString prefix = "." + name + ".";
    if (name.isEmpty() || entry.size() != prefix.size() + kUniqueChars ||
        !entry.startsWith(prefix)) {
        return false;
    }
    for (qsizetype i = prefix.size(); i < entry.size(); ++i) {
        const QChar c = entry[i];
        if (c.unicode() > 127 || !c.isLetterOrNumber()) return false;
    }
    return true;
}

int RemoveStalePendingFiles(const QString& folder, const QString& name) {
    const QByteArray dirName = QFile::encodeName(folder);
    DIR* dir = opendir(dirName.constData());
    if (dir == nullptr) return 0;
    int removed = 0;
    while (const dirent* e = readdir(dir)) {
        const QString entry = QFile::decodeName(e->d_name);
        if (!IsPendingFileName(entry, name)) continue;
        const QByteArray path = dirName + "/" + QByteArray(e->d_name);
        // O_NONBLOCK and O_NOFOLLOW: never wait on a FIFO or follow a link someone planted.
        const int fd =
            FileIO().Open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        // Locked: a save in progress (ours or another program's) is writing it.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            FileIO().Unlink(path.constData()) == 0) {
            ++removed;
        }
        FileIO().Close(fd);
    }
    closedir(dir);
    return removed;
}
