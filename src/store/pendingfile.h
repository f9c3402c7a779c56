#pragma once
// A file being written beside its target, moved over the target only once it is complete and
// on disk, so a failed save never touches what was there. Destroying it uncommitted removes it.
// One left by a killed save is removed by the next save over the same target (pendingsweep.h).
// A target reached through symbolic links is the file at their end: the links stay links.

#include <QString>
#include <cstdint>

// The file a save to `target` replaces: symbolic links followed to their end, also a link to a
// file not made yet; the absolute path of `target` itself otherwise.
QString ResolveSaveTarget(const QString& target);

class TPendingFile {
public:
    // Creates an empty hidden file in the (resolved) target's folder. A replaced file's
    // permissions, and its owner and group where allowed, are kept; a new file gets the usual
    // ones. Raises EOSError when the folder takes no file.
    explicit TPendingFile(const QString& target);
    ~TPendingFile();
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;

    const QString& Path() const { return path_; }
    // Starts writing `bytes` bytes from `offset` to disk without waiting for them, so that the
    // disk works while the rest is still being copied and Commit's flush finds little left to
    // do. Only a head start: it fails silently, and Commit alone makes the file durable.
    void WriteBehind(int64_t offset, int64_t bytes);
    // Flushes the file to disk, renames it over the target and flushes the folder, so that the
    // rename survives a power cut. Raises EOSError.
    void Commit();

private:
    QString target_;
    QString folder_;
    QString path_;
    bool committed_ = false;
    int lockFd_ = -1;  // open while the file is ours; see pendingsweep.h
};
