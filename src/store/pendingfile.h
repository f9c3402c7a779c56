#pragma once
// A file being written beside its target, moved over the target only once it is complete and
// on disk, so a failed save never touches what was there. Destroying it uncommitted removes it.
// One left by a killed save is removed by the next save over the same target (pendingsweep.h).

#include <QString>

class TPendingFile {
public:
    // Creates an empty hidden file in the target's folder. A replaced file's permissions are
    // kept; a new file gets the usual ones. Raises EOSError when the folder takes no file.
    explicit TPendingFile(const QString& target);
    ~TPendingFile();
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;

    const QString& Path() const { return path_; }
    // Flushes the file to disk and renames it over the target. Raises EOSError.
    void Commit();

private:
    QString target_;
    QString path_;
    bool committed_ = false;
    int lockFd_ = -1;  // open while the file is ours; see pendingsweep.h
};
