#pragma once
// Loudness of 16-bit PCM by EBU R128 / ITU-R BS.1770-4: integrated loudness and loudness range
// measured with libebur128, true peak as the largest magnitude of the sound oversampled four
// times by libswresample; and the gain that brings a sound to a target loudness without its
// true peak passing a ceiling.

#include <QString>
#include <atomic>
#include <cstdint>

#include "cache.h"

class TLargeFile;

// The measured version's peak table as RebuildPeaks gives it, when known: the true peak is
// then oversampled only where the samples could reach it. Ignored when it does not fit.
struct TKnownPeaks {
    const Tindexdata* table = nullptr;
    int64_t frames = 0;
};

struct TLoudness {
    double integrated = 0;  // LUFS; -inf for silence
    double range = 0;       // LU
    double truePeak = 0;    // dBTP; -inf for silence
};

// Frames [first, first + count) of `source` (interleaved, `channels` of them). Progress runs
// from 0 to 100 across the pass. stretches: how many are measured side by side, each on a
// thread (0: one per core, each at least 30 s long). The true peak does not depend on it, the
// loudness and its range by far less than the tenth they are shown with.
TLoudness MeasureLoudness(TLargeFile& source, int64_t first, int64_t count, int channels,
                          uint32_t sampleRate, std::atomic<int32_t>& progress,
                          int stretches = 0, const TKnownPeaks& known = {});

// What normalizing to `targetLufs` under `ceilingDbtp` needs of frames [first, first + count):
// the integrated loudness, and a true peak that decides the ceiling as the true peak itself
// would. Where the largest sample shows the ceiling cannot be reached, `truePeak` is only the
// most the true peak could be, and the true peak is not measured; `range` is not measured.
TLoudness MeasureForGain(TLargeFile& source, int64_t first, int64_t count, int channels,
                         uint32_t sampleRate, double targetLufs, double ceilingDbtp,
                         std::atomic<int32_t>& progress, const TKnownPeaks& known = {});

// The gain in dB that takes `measured` to `targetLufs`, lowered where the true peak would pass
// `ceilingDbtp`; `limited` tells whether it was. Nothing for silence.
struct TLoudnessGain {
    double gainDb = 0;
    double reachedLufs = 0;
    bool limited = false;
};
bool LoudnessGain(const TLoudness& measured, double targetLufs, double ceilingDbtp,
                  TLoudnessGain& out);

// "Integrated loudness: -16.0 LUFS" and the other two lines, each ending in a line break.
QString LoudnessReport(const TLoudness& l);
// One value as the report shows it: one decimal, "-inf" for silence.
QString LoudnessValue(double v);
