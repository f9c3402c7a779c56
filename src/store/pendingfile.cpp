#include "pendingfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "apperror.h"
#include "fileio.h"
#include "pendingsweep.h"

namespace {

// Symbolic links are followed so deep at most, as the system does.
constexpr int kMaxLinkHops = 40;

}  // namespace

QString ResolveSaveTarget(const QString& target) {
    QByteArray name = QFile::encodeName(QFileInfo(target).absoluteFilePath());
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        char resolved[PATH_MAX];
        if (realpath(name.constData(), resolved)) return QFile::decodeName(resolved);
        // Not there (yet): a link to a file still to be made is followed by hand.
        struct stat st {};
        if (lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        QByteArray next(PATH_MAX, '\0');
        const ssize_t n = readlink(name.constData(), next.data(), size_t(next.size()));
        if (n <= 0 || n >= next.size()) break;
        next.truncate(n);
        if (!next.startsWith('/')) {
            next =
                QFile::encodeName(QFileInfo(QFile::decodeName(name)).absolutePath()) + "/" + next;
        }
        name = next;
    }
    return QFile::decodeName(name);
}

TPendingFile::TPendingFile(const QString& target) : target_(ResolveSaveTarget(target)) {
    const QFileInfo info(target_);
    folder_ = info.absolutePath();
    RemoveStalePendingFiles(folder_, info.fileName());
    QByteArray name = QFile::encodeName(folder_ + "/." + info.fileName() + ".XXXXXX");
    const int fd = FileIO().OpenUnique(name.data(), O_CLOEXEC);
    if (fd < 0) throw EOSError(errno, folder_.toStdString());
    // Held until this object goes: what the next save's sweep leaves alone.
    LockPendingFile(fd);
    lockFd_ = fd;
    struct stat st {};
    mode_t mode = 0666;
    if (stat(QFile::encodeName(target_).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
        // The replaced file's owner and group where we may give them (the owner only as root;
        // a group we belong to otherwise), before the mode, which a change of owner can clear.
        if (fchown(fd, st.st_uid, st.st_gid) != 0 && fchown(fd, uid_t(-1), st.st_gid) != 0) {
            // Not allowed: the file stays ours, as any new file would be.
        }
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
    fchmod(fd, mode);
    path_ = QFile::decodeName(name);
}

TPendingFile::~TPendingFile() {
    if (!committed_) FileIO().Unlink(QFile::encodeName(path_).constData());
    FileIO().Close(lockFd_);
}

void TPendingFile::WriteBehind(int64_t offset, int64_t bytes) {
    // Straight to the system, not through FileIO(): nothing depends on the outcome, so there is
    // no failure for a test to inject.
    if (lockFd_ >= 0 && bytes > 0) {
        sync_file_range(lockFd_, off_t(offset), off_t(bytes), SYNC_FILE_RANGE_WRITE);
    }
}

void TPendingFile::Commit() {
    const QByteArray from = QFile::encodeName(path_);
    const int fd = FileIO().Open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || FileIO().Sync(fd) != 0) {
        const int err = errno;
        if (fd >= 0) FileIO().Close(fd);
        throw EOSError(err, target_.toStdString());
    }
    FileIO().Close(fd);
    if (FileIO().Rename(from.constData(), QFile::encodeName(target_).constData()) != 0) {
        throw EOSError(errno, target_.toStdString());
    }
    committed_ = true;
    // The rename itself is only durable once the folder is on disk too.
    const int dir =
        FileIO().Open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) throw EOSError(errno, folder_.toStdString());
    // Some file systems cannot sync a folder (EINVAL); the rename is then as safe as they make it.
    const int synced = FileIO().Sync(dir) == 0 || errno == EINVAL ? 0 : errno;
    FileIO().Close(dir);
    if (synced != 0) throw EOSError(synced, folder_.toStdString());
}
