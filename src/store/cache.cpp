#include "cache.h"

#include <algorithm>
#include <cmath>

#include "largefile.h"
#include "peakscan.h"

namespace {

// Grows the accumulator's table by an eighth at a time rather than doubling it: a long sound's
// table is tens of megabytes, and a doubling would hold twice that (three times while it moves).
void GrowTo(Tindexdata& table, size_t entries) {
    if (entries > table.capacity()) table.reserve(entries + entries / 8 + 4096);
    table.resize(entries);
}

}  // namespace

int32_t LevelFromPeak(int32_t peak) {
    if (peak <= 0) return kSilenceLevel;
    return static_cast<int32_t>(std::nearbyint(20.0 * std::log10(peak / 32768.0)));
}

TFilter::TFilter(int channels)
    : buffer_(static_cast<size_t>(std::max(channels, 1)) * kPeakBlockFrames),
      channels_(std::max(channels, 1)) {}

TFilter::TFilter(int channels, int64_t first) : TFilter(channels) {
    first_ = std::max<int64_t>(first, 0);
    const int64_t into = first_ % kPeakBlockFrames;
    headSamples_ = into == 0 ? 0 : size_t(kPeakBlockFrames - into) * size_t(channels_);
    head_.reserve(headSamples_);
}

void TFilter::Feed(const int16_t* samples, size_t bytes) {
    size_t n = bytes / 2;
    samples_ += int64_t(n);
    if (head_.size() < headSamples_) {
        const size_t take = std::min(n, headSamples_ - head_.size());
        head_.insert(head_.end(), samples, samples + take);
        samples += take;
        n -= take;
    }
    const int32_t capacity = channels_ * static_cast<int32_t>(kPeakBlockFrames);
    while (n > 0) {
        // A block is closed only when the next sample arrives, so the last one stays open.
        if (buffered_ == capacity) {
            CloseBlock();
            buffered_ = 0;
        }
        // Whole blocks with more samples after them are scanned where they lie: a block is
        // only held back for the sample that closes it.
        if (buffered_ == 0 && n > size_t(capacity) && channels_ <= kMaxPeakChannels) {
            const size_t blocks = (n - 1) / size_t(capacity);
            ScanBlocks(samples, blocks);
            samples += blocks * size_t(capacity);
            n -= blocks * size_t(capacity);
            continue;
        }
        const size_t take = std::min(n, static_cast<size_t>(capacity - buffered_));
        std::copy_n(samples, take, buffer_.begin() + buffered_);
        buffered_ += static_cast<int32_t>(take);
        samples += take;
        n -= take;
    }
}

void TFilter::CloseBlock() {
    entries_ += channels_;
    GrowTo(table_, static_cast<size_t>(entries_));
    const int32_t blockFrames = buffered_ / channels_;
    lastBlockFrames_ = blockFrames;
    // The table keeps each block's true smallest sample, which is what a rebuild stores; the
    // accumulator's own export clamps it to 0 or less.
    std::array<int16_t, kMaxPeakChannels> mx{}, mn{};
    mn.fill(INT16_MAX);
    const int nc = std::min(channels_, kMaxPeakChannels);
    if (channels_ <= kMaxPeakChannels) {
        ScanExtremes(buffer_.data(), size_t(std::min<int32_t>(blockFrames, kPeakBlockFrames)),
                     channels_, mx.data(), mn.data());
    }
    for (int c = 0; c < nc; ++c) {
        channelPeak_[c] = std::max<int16_t>(channelPeak_[c], mx[c]);
        table_[static_cast<size_t>(entries_ - channels_ + c)] = {mx[c], mn[c]};
        peak_ = std::max<int32_t>(peak_, mx[c]);
    }
    level_ = LevelFromPeak(peak_);
}

void TFilter::ScanBlocks(const int16_t* samples, size_t blocks) {
    const size_t first = static_cast<size_t>(entries_);
    entries_ += static_cast<int64_t>(blocks) * channels_;
    GrowTo(table_, static_cast<size_t>(entries_));
    TPeakEntry* out = table_.data() + first;
    for (size_t k = 0; k < blocks; ++k, samples += size_t(channels_) * kPeakBlockFrames) {
        // As CloseBlock does: max from 0, the true min kept.
        std::array<int16_t, kMaxPeakChannels> mx{}, mn{};
        mn.fill(INT16_MAX);
        ScanExtremes(samples, kPeakBlockFrames, channels_, mx.data(), mn.data());
        for (int c = 0; c < channels_; ++c) {
            *out++ = {mx[c], mn[c]};
            channelPeak_[c] = std::max(channelPeak_[c], mx[c]);
            peak_ = std::max<int32_t>(peak_, mx[c]);
        }
    }
    level_ = LevelFromPeak(peak_);
}

bool TFilter::Append(TFilter& next) {
    if (next.channels_ != channels_ ||
        first_ * channels_ + samples_ != next.first_ * next.channels_)
        return false;
    const int64_t beyond = next.samples_ - int64_t(next.head_.size());
    Feed(next.head_.data(), next.head_.size() * 2);
    if (beyond > 0) {
        // What was fed here now ends on next's first block boundary, in the block still open.
        if (buffered_ == channels_ * int32_t(kPeakBlockFrames)) CloseBlock();
        buffered_ = 0;
        GrowTo(table_, size_t(entries_ + next.entries_));
        std::copy_n(next.table_.begin(), next.entries_, table_.begin() + entries_);
        entries_ += next.entries_;
        buffer_.swap(next.buffer_);
        buffered_ = next.buffered_;
        for (int c = 0; c < kMaxPeakChannels; ++c)
            channelPeak_[c] = std::max(channelPeak_[c], next.channelPeak_[c]);
        peak_ = std::max(peak_, next.peak_);
        level_ = LevelFromPeak(peak_);
        samples_ += beyond;
    }
    next = TFilter(channels_, first_ + samples_ / channels_);
    return true;
}

void TFilter::ExportPeaks(Tindexdata& table) {
    CloseBlock();
    buffered_ = 0;
    table.assign(static_cast<size_t>(entries_ + channels_), TPeakEntry{});
    std::transform(table_.begin(), table_.begin() + entries_, table.begin(), [](TPeakEntry e) {
        return TPeakEntry{e.max, std::min<int16_t>(e.min, 0)};
    });
}

void TFilter::TakeRebuiltPeaks(Tindexdata& table) {
    table_.resize(size_t(entries_));
    if (lastBlockFrames_ == int32_t(kPeakBlockFrames)) {
        table_.insert(table_.end(), size_t(channels_), TPeakEntry{0, INT16_MAX});
    }
    table.swap(table_);
    Tindexdata().swap(table_);
    entries_ = 0;
}

void TFilter::ExportRebuiltPeaks(Tindexdata& table) const {
    table.assign(table_.begin(), table_.begin() + entries_);
    // A rebuild closes one more block, empty, when the sound ends on a block boundary.
    if (lastBlockFrames_ == int32_t(kPeakBlockFrames)) {
        table.insert(table.end(), size_t(channels_), TPeakEntry{0, INT16_MAX});
    }
}

void TFilter::ExportLevels(std::array<int16_t, kMaxPeakChannels>& channelPeak, int16_t& peak,
                           int32_t& level) const {
    channelPeak = channelPeak_;
    peak = static_cast<int16_t>(peak_);
    level = level_;
}

void RebuildPeaks(TLargeFile& store, int64_t frames, int channels, std::atomic<int32_t>& progress,
                  Tindexdata& table, TLevels& levels) {
    const int n = std::clamp(channels, 1, kMaxPeakChannels);
    progress = 0;
    levels = TLevels{};
    const int64_t blocks = frames / kPeakBlockFrames;
    table.assign(static_cast<size_t>(blocks + 1) * n, TPeakEntry{});
    std::vector<int16_t> buf(static_cast<size_t>(kPeakBlockFrames) * n);
    for (int64_t k = 0; k <= blocks; ++k) {
        if (blocks > 0) progress = static_cast<int32_t>(k * 100 / blocks);
        const uint32_t count =
            k < blocks ? kPeakBlockFrames : uint32_t(frames % kPeakBlockFrames);
        const int64_t first = int64_t(k) * kPeakBlockFrames * n;
        store.ReadSamples(buf.data(), first, first + int64_t(count) * n - 1);
        std::array<int16_t, kMaxPeakChannels> mx{}, mn{};
        mn.fill(32767);
        ScanExtremes(buf.data(), count, n, mx.data(), mn.data());
        for (int c = 0; c < n; ++c) {
            levels.channelPeak[c] = std::max(levels.channelPeak[c], mx[c]);
            table[size_t(k) * n + c] = {mx[c], mn[c]};
        }
    }
    for (int c = 0; c < n; ++c) levels.peak = std::max(levels.peak, levels.channelPeak[c]);
    levels.level = LevelFromPeak(levels.peak);
    progress = 0;
}
