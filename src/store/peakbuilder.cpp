#include "peakbuilder.h"

#include <algorithm>
#include <vector>

#include "apperror.h"
#include "fileio.h"
#include "largefile.h"
#include "peakscan.h"

namespace {

constexpr int64_t kBlock = kPeakBlockFrames;
constexpr int64_t kScanFrames = 65536;

// The table RebuildPeaks gives for `frames` frames has this many entries.
size_t TableSize(int64_t frames, int channels) {
    return size_t(frames / kBlock + 1) * size_t(channels);
}

}  // namespace

TPeakBuilder::TPeakBuilder(int64_t frames, int channels)
    : frames_(std::max<int64_t>(frames, 0)), channels_(std::clamp(channels, 1, kMaxPeakChannels)) {
    // Every block starts as the rebuild starts it: max 0, min 32767.
    table_.assign(TableSize(frames_, channels_), TPeakEntry{0, INT16_MAX});
}

void TPeakBuilder::Add(const int16_t* samples, int64_t first, int64_t count) {
    const int n = channels_;
    std::array<int16_t, kMaxPeakChannels> mx{}, mn{};
    while (count > 0) {
        const int64_t k = first / kBlock;
        const int64_t take = std::min(count, (k + 1) * kBlock - first);
        TPeakEntry* e = &table_[size_t(k) * n];
        for (int c = 0; c < n; ++c) mx[c] = e[c].max, mn[c] = e[c].min;
        ScanExtremes(samples, size_t(take), n, mx.data(), mn.data());
        for (int c = 0; c < n; ++c) e[c] = {mx[c], mn[c]};
        samples += take * n;
        first += take;
        count -= take;
    }
}

void TPeakBuilder::AddSilence(int64_t first, int64_t count) {
    if (count <= 0) return;
    // A zero leaves every max as it is (they start at 0) and brings each min down to 0 at most.
    for (int64_t k = first / kBlock; k <= (first + count - 1) / kBlock; ++k) {
        for (int c = 0; c < channels_; ++c) {
            TPeakEntry& e = table_[size_t(k) * channels_ + c];
            e.min = std::min<int16_t>(e.min, 0);
        }
    }
}

void TPeakBuilder::Scan(TLargeFile& source, int64_t srcFirst, int64_t dstFirst, int64_t count) {
    const int n = channels_;
    std::vector<int16_t> buf(size_t(std::min(count, kScanFrames)) * n);
    while (count > 0) {
        const int64_t take = std::min(count, kScanFrames);
        source.ReadSamples(buf.data(), srcFirst * n, (srcFirst + take) * n - 1);
        Add(buf.data(), dstFirst, take);
        srcFirst += take;
        dstFirst += take;
        count -= take;
    }
}

void TPeakBuilder::AddCopy(const TPeakSource& source, int64_t srcFirst, int64_t dstFirst,
                           int64_t count) {
    if (count <= 0) return;
    const int64_t srcEnd = srcFirst + count;
    const bool known = source.table && source.table->size() == TableSize(source.frames, channels_);
    // Whole source blocks [kFirst, kEnd) lie inside the copied range; the source's last block
    // counts as whole when the range runs to the end of the source.
    const int64_t kFirst = (srcFirst + kBlock - 1) / kBlock;
    const int64_t kEnd =
        srcEnd >= source.frames ? (source.frames + kBlock - 1) / kBlock : srcEnd / kBlock;
    if (!known || (dstFirst - srcFirst) % kBlock != 0 || kFirst >= kEnd) {
        Scan(*source.store, srcFirst, dstFirst, count);
        return;
    }
    const int64_t head = kFirst * kBlock - srcFirst;
    Scan(*source.store, srcFirst, dstFirst, head);
    const int n = channels_;
    const int64_t shift = (dstFirst - srcFirst) / kBlock;
    for (int64_t k = kFirst; k < kEnd; ++k) {
        const TPeakEntry* s = &(*source.table)[size_t(k) * n];
        TPeakEntry* d = &table_[size_t(k + shift) * n];
        for (int c = 0; c < n; ++c) {
            d[c] = {std::max(d[c].max, s[c].max), std::min(d[c].min, s[c].min)};
        }
    }
    const int64_t tail = std::min(kEnd * kBlock, srcEnd);
    Scan(*source.store, tail, dstFirst + (tail - srcFirst), srcEnd - tail);
}

void TPeakBuilder::Finish(Tindexdata& table, TLevels& levels) {
    levels = TLevels{};
    const int n = channels_;
    for (size_t i = 0; i < table_.size(); i += size_t(n)) {
        for (int c = 0; c < n; ++c) {
            levels.channelPeak[c] = std::max(levels.channelPeak[c], table_[i + c].max);
        }
    }
    for (int c = 0; c < n; ++c) levels.peak = std::max(levels.peak, levels.channelPeak[c]);
    levels.level = LevelFromPeak(levels.peak);
    table = std::move(table_);
    table_.clear();
}

TVersionWriter::TVersionWriter(TLargeFile& target, const TPeakSource& source, int64_t frames,
                               int channels)
    : target_(target),
      source_(source),
      peaks_(frames, channels),
      channels_(std::max(channels, 1)) {}

void TVersionWriter::WriteSamples(const int16_t* src, int64_t first, int64_t last) {
    ThrowIfCancelled();
    target_.WriteSamples(src, first, last);
    if (last >= first) peaks_.Add(src, first / channels_, (last - first + 1) / channels_);
    Advance(first, last + 1);
}

void TVersionWriter::CopyFrom(TLargeFile& source, int64_t srcFirst, int64_t dstFirst,
                              int64_t count) {
    ThrowIfCancelled();
    if (&source != source_.store) throw EAppError("Copy from a store the peaks do not know");
    target_.CopyFrom(source, srcFirst, dstFirst, count);
    peaks_.AddCopy(source_, srcFirst / channels_, dstFirst / channels_, count / channels_);
    Advance(dstFirst, dstFirst + count);
}

void TVersionWriter::LeaveSilent(int64_t first, int64_t count) {
    peaks_.AddSilence(first / channels_, count / channels_);
}
