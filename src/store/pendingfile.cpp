#include "pendingfile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "apperror.h"
#include "pendingsweep.h"

TPendingFile::TPendingFile(const QString& target) : target_(target) {
    const QFileInfo info(target);
    RemoveStalePendingFiles(info.absolutePath(), info.fileName());
    QByteArray name = QFile::encodeName(info.absolutePath() + "/." + info.fileName() + ".XXXXXX");
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) throw EOSError(errno, info.absolutePath().toStdString());
    // Held until this object goes: what the next save's sweep leaves alone.
    LockPendingFile(fd);
    lockFd_ = fd;
    struct stat st {};
    mode_t mode = 0666;
    if (stat(QFile::encodeName(target).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
    fchmod(fd, mode);
    path_ = QFile::decodeName(name);
}

TPendingFile::~TPendingFile() {
    if (!committed_) QFile::remove(path_);
    ::close(lockFd_);
}

void TPendingFile::Commit() {
    const QByteArray from = QFile::encodeName(path_);
    const int fd = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) {
        const int err = errno;
        if (fd >= 0) ::close(fd);
        throw EOSError(err, target_.toStdString());
    }
    ::close(fd);
    if (rename(from.constData(), QFile::encodeName(target_).constData()) != 0) {
        throw EOSError(errno, target_.toStdString());
    }
    committed_ = true;
}
