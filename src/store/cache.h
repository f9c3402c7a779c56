#pragma once
// The peak table: for every block of 512 frames and every channel the largest and smallest
// sample, plus the largest positive sample per channel, the overall peak and its level in dB.
// TFilter builds it while a file is decoded; RebuildPeaks rebuilds it from a version file.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

class TLargeFile;

constexpr uint32_t kPeakBlockFrames = 512;
constexpr int kMaxPeakChannels = 8;
constexpr int32_t kSilenceLevel = -90;

struct TPeakEntry {
    int16_t max = 0;
    int16_t min = 0;
    bool operator==(const TPeakEntry&) const = default;
};
// Entry of block k, channel c at index k * channels + c.
using Tindexdata = std::vector<TPeakEntry>;

struct TLevels {
    std::array<int16_t, kMaxPeakChannels> channelPeak{};
    int16_t peak = 0;
    int32_t level = kSilenceLevel;
};

// 20 * log10(peak / 32768) rounded to nearest (ties to even); -90 for a peak of 0.
int32_t LevelFromPeak(int32_t peak);

// Peak accumulator fed with every decoded buffer, in order. A sound scanned on several threads
// gives each stretch a filter of its own, made for the frame it starts at, and appends them in
// order: the result is exactly that of one filter fed everything.
class TFilter {
public:
    explicit TFilter(int channels);
    // For the frames from `first` on. Its blocks start at the next block boundary; the frames
    // before it are held for the filter this one is appended to.
    TFilter(int channels, int64_t first);

    // Takes bytes / 2 interleaved samples.
    void Feed(const int16_t* samples, size_t bytes);
    // Closes the last block and copies the table out: ceil(F / 512) blocks for F > 0 frames,
    // one block of (0, 0) for none, plus one spare zero block.
    void ExportPeaks(Tindexdata& table);
    // After ExportPeaks: the table RebuildPeaks gives for the same samples (true block minima,
    // and an empty last block of (0, 32767) when the sound ends on a block boundary).
    void ExportRebuiltPeaks(Tindexdata& table) const;
    // The same, handing over the filter's own table instead of copying it (a long sound's is
    // tens of megabytes); the filter is then spent.
    void TakeRebuiltPeaks(Tindexdata& table);
    void ExportLevels(std::array<int16_t, kMaxPeakChannels>& channelPeak, int16_t& peak,
                      int32_t& level) const;
    int Channels() const { return channels_; }
    // Takes over `next`, made for the frame after the last one fed here and fed since, leaving
    // it empty; neither may have exported yet. False, with nothing changed, when next does not
    // start there.
    [[nodiscard]] bool Append(TFilter& next);
    // The entries of the blocks closed so far (the last block stays open until a sample after
    // it comes, or ExportPeaks), for the thread that feeds the filter; valid until it feeds again.
    size_t ClosedEntries() const { return size_t(entries_); }
    const TPeakEntry* Entries() const { return table_.data(); }

private:
    void CloseBlock();
    // Appends `blocks` whole blocks read straight from `samples` (nothing may be buffered).
    void ScanBlocks(const int16_t* samples, size_t blocks);

    std::vector<int16_t> buffer_;
    // The samples before the first block boundary, when the filter starts between two.
    std::vector<int16_t> head_;
    size_t headSamples_ = 0;
    int64_t first_ = 0;
    int64_t samples_ = 0;  // fed so far, the head's included
    Tindexdata table_;
    int64_t entries_ = 0;
    int32_t channels_;
    int32_t buffered_ = 0;
    int32_t lastBlockFrames_ = 0;
    std::array<int16_t, kMaxPeakChannels> channelPeak_{};
    int32_t peak_ = 0;
    int32_t level_ = kSilenceLevel;
};

// Rebuilds the table and levels of a version of `frames` frames from its store, in one pass.
// Writes a percentage to `progress` once per block and 0 at the end.
void RebuildPeaks(TLargeFile& store, int64_t frames, int channels, std::atomic<int32_t>& progress,
                  Tindexdata& table, TLevels& levels);
