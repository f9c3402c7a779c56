#pragma once
// The peak file of a version: its peak table and levels as RebuildPeaks gives them, kept beside
// the version file so that undo and redo take them instead of reading the sound again.
//
// Layout, little-endian: "OVPK", format 1, frames, channels, entry count (32-bit each); eight
// channel peaks (16-bit); peak (16-bit), 2 bytes of zero; level (32-bit); the entries (max, min,
// 16-bit each); a 64-bit checksum of everything before it. A version of 2^32 frames or more
// takes format 2, the same but for frames as 64 bits (the header 4 bytes longer).

#include <QString>
#include <cstdint>

#include "cache.h"

// Writes the peak file of `version`. A failure (a full disk) is not an error: the file is
// removed and a later undo rebuilds instead. Returns whether the file was written.
bool WritePeakFile(const QString& version, int64_t frames, int channels, const Tindexdata& table,
                   const TLevels& levels);

// Reads the peak file of `version` if there is one that is whole and describes `frames` frames of
// `channels` channels; false otherwise, leaving table and levels as they were.
bool ReadPeakFile(const QString& version, int64_t frames, int channels, Tindexdata& table,
                  TLevels& levels);

// The checksum of the file (exposed for tests that damage files on purpose).
uint64_t PeakChecksum(const uint8_t* data, size_t bytes, uint64_t seed = 0);
