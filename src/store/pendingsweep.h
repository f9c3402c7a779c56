#pragma once
// Leftover pending files. A save writes ".NAME.XXXXXX" beside its target NAME and holds an
// exclusive lock on it until the file is renamed or removed. A process killed mid-save leaves
// its pending file behind, but the system drops the lock with the process, so an unlocked
// pending file belongs to nobody and the next save over the same target removes it.

#include <QString>

// Takes the pending file's lock on the open descriptor `fd` (flock, so it lasts while any copy
// of this open file is open, and no longer). False when the file system refuses locks.
bool LockPendingFile(int fd);

// Whether `entry` (a bare file name) has the form of a pending file of the target `name`:
// "." + name + "." + six letters or digits.
bool IsPendingFileName(const QString& entry, const QString& name);

// Removes the regular files of `folder` that are pending files of `name` and that no running
// save holds locked. Returns how many were removed; errors are ignored (a file left stays left).
int RemoveStalePendingFiles(const QString& folder, const QString& name);
