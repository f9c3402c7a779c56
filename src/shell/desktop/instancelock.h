#pragma once
// The program's named system-wide object: a lock file "ORVANE.lock" in $XDG_RUNTIME_DIR (the
// temporary folder when that is unset), held with a shared flock for the life of the object.
// It marks that Orvane runs; it never keeps a second copy from running (every copy takes the
// lock shared), and it is released when the process ends, however it ends.

#include <QString>

class TInstanceLock {
public:
    TInstanceLock();
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Whether the lock is held (false when the folder cannot be written: the program goes on).
    bool Held() const { return fd_ >= 0; }
    const QString& Path() const { return path_; }

    // The lock file's path for the current environment.
    static QString LockPath();

private:
    int fd_ = -1;
    QString path_;
};
