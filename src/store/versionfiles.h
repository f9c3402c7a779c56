#pragma once
// Version files ("~ov" and six letters or digits, in the temporary folder) and their peak files
// (the same name with ".pk"). Every version file this process makes is held with an exclusive
// lock on a descriptor kept open until the file is removed, so a run killed with its versions
// still on disk leaves files that nobody holds, and the next start-up sweep removes exactly those.
// Files are created, removed and locked here and nowhere else.

#include <QString>

// The peak file that belongs to a version file.
QString PeakFilePath(const QString& version);

// Creates a new, empty version file in `folder` (the default temporary folder when empty) and
// holds its lock. Raises EAppError naming the folder when it cannot.
QString CreateVersionFile(const QString& folder);

// Takes the lock of an existing version file left by a run that is gone, so that it is this
// run's from now on. False when it is missing or another run holds it.
bool AdoptVersionFile(const QString& path);

// Removes a version file and its peak file and lets go of the lock; failures are ignored.
void RemoveVersionFile(const QString& path);

// Removes the peak file of a version (a version whose peaks are about to be rewritten).
void RemovePeakFile(const QString& version);

// Whether `entry` (a bare name) is a version file's or a peak file's name.
bool IsVersionFileName(const QString& entry);
bool IsPeakFileName(const QString& entry);

// Removes from `folder` the version files no running process holds, with their peak files, and
// peak files whose version is gone. Returns how many files were removed.
int RemoveStaleVersionFiles(const QString& folder);
