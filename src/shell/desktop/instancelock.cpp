#include "instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

QString TInstanceLock::LockPath() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty()) folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("ORVANE.lock"));
}

TInstanceLock::TInstanceLock() : path_(LockPath()) {
    const QByteArray name = QFile::encodeName(path_);
    fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    // Shared: every running copy holds it at once. Another process asking for it exclusively
    // (LOCK_EX | LOCK_NB) learns whether any copy runs.
    if (::flock(fd_, LOCK_SH) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

TInstanceLock::~TInstanceLock() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}
