#pragma once
// Peaks of a new version gathered while it is written, so that no edit reads its result again.
// TPeakBuilder gives the table and levels RebuildPeaks would give for the finished version;
// TVersionWriter writes a version through its store and feeds the builder on the way.

#include <atomic>
#include <cstdint>

#include "cache.h"

class TLargeFile;

// A version file whose table is known: `table` is what RebuildPeaks gives for it (or empty when
// unknown, and then nothing is taken from it).
struct TPeakSource {
    TLargeFile* store = nullptr;
    const Tindexdata* table = nullptr;
    int64_t frames = 0;
};

class TPeakBuilder {
public:
    TPeakBuilder(int64_t frames, int channels);

    // Frames [first, first + count) of the new version, interleaved.
    void Add(const int16_t* samples, int64_t first, int64_t count);
    // Frames [first, first + count) are silence.
    void AddSilence(int64_t first, int64_t count);
    // Frames [dstFirst, dstFirst + count) are a copy of frames from srcFirst of `source`. Where
    // the two are the same distance from a block boundary, the source's whole blocks give their
    // entries as they are; everything else is read from the source and scanned.
    void AddCopy(const TPeakSource& source, int64_t srcFirst, int64_t dstFirst, int64_t count);

    // Moves the table out and computes the levels.
    void Finish(Tindexdata& table, TLevels& levels);

private:
    void Scan(TLargeFile& source, int64_t srcFirst, int64_t dstFirst, int64_t count);

    Tindexdata table_;
    int64_t frames_;
    int channels_;
};

// The store of a new version being written, with its peaks gathered as it goes. Indices are
// sample indices, as on TLargeFile.
class TVersionWriter {
public:
    TVersionWriter(TLargeFile& target, const TPeakSource& source, int64_t frames, int channels);

    void WriteSamples(const int16_t* src, int64_t first, int64_t last);
    // `source` must be the source named at construction.
    void CopyFrom(TLargeFile& source, int64_t srcFirst, int64_t dstFirst, int64_t count);
    // Samples [first, first + count) were left as the zeros the store was created with.
    void LeaveSilent(int64_t first, int64_t count);
    void Finish(Tindexdata& table, TLevels& levels) { peaks_.Finish(table, levels); }
    // Counts in `samples` how far the target is written without a hole from its first sample:
    // a write or copy that starts where the count stands moves it on (others leave it, so
    // stretches written side by side are counted late, never early). For a reader that follows
    // the writer, as the preview's player does.
    void TrackWritten(std::atomic<int64_t>* samples) { written_ = samples; }

private:
    TLargeFile& target_;
    TPeakSource source_;
    TPeakBuilder peaks_;
    int channels_;
    std::atomic<int64_t>* written_ = nullptr;
    void Advance(int64_t first, int64_t end) {
        if (!written_) return;
        int64_t at = first;
        written_->compare_exchange_strong(at, end);
    }
};
