#include "loadingpeaks.h"

#include <algorithm>
#include <array>

#include "peakscan.h"

namespace {

// Published at least this often (blocks of 512 frames): about 3 s of sound at 44.1 kHz, a few
// milliseconds of decoding.
constexpr size_t kPublishBlocks = 256;

// A drawn entry that nobody has written yet is (0, 0).
void Merge(TPeakEntry& into, TPeakEntry e) {
    if (into == TPeakEntry{}) {
        into = e;
    } else {
        into.max = std::max(into.max, e.max);
        into.min = std::min(into.min, e.min);
    }
}

}  // namespace

TLoadingPeaks::TLoadingPeaks(int channels)
    : channels_(std::clamp(channels, 1, kMaxPeakChannels)) {}

TLoadingPeaks::TWriter::TWriter(TLoadingPeaks& shared, int64_t first)
    : shared_(shared),
      end_(first),
      blockStart_(first),
      open_(size_t(shared.channels_)) {
    const std::lock_guard<std::mutex> lock(shared_.mutex_);
    slot_ = shared_.stretches_.size();
    shared_.stretches_.push_back({first, first});
    published_ = first;
}

TLoadingPeaks::TWriter::~TWriter() = default;

void TLoadingPeaks::TWriter::CloseBlock() {
    const int64_t block = blockStart_ / kPeakBlockFrames;
    if (pending_.empty()) pendingBlock_ = block;
    // A gap (never within one writer) would shift every entry after it: publish first.
    if (pendingBlock_ + int64_t(pending_.size()) / shared_.channels_ != block) {
        Publish();
        pendingBlock_ = block;
    }
    pending_.insert(pending_.end(), open_.begin(), open_.end());
    openEmpty_ = true;
}

void TLoadingPeaks::TWriter::Add(const int16_t* s, size_t frames) {
    const int n = shared_.channels_;
    while (frames > 0) {
        if (openEmpty_) {
            blockStart_ = end_;
            std::fill(open_.begin(), open_.end(), TPeakEntry{INT16_MIN, INT16_MAX});
            openEmpty_ = false;
        }
        const int64_t blockEnd = (end_ / kPeakBlockFrames + 1) * kPeakBlockFrames;
        const size_t take = size_t(std::min<int64_t>(int64_t(frames), blockEnd - end_));
        std::array<int16_t, kMaxPeakChannels> mx, mn;
        for (int c = 0; c < n; ++c) {
            mx[size_t(c)] = open_[size_t(c)].max;
            mn[size_t(c)] = open_[size_t(c)].min;
        }
        ScanExtremes(s, take, n, mx.data(), mn.data());
        for (int c = 0; c < n; ++c) open_[size_t(c)] = {mx[size_t(c)], mn[size_t(c)]};
        s += take * size_t(n);
        frames -= take;
        end_ += int64_t(take);
        if (end_ == blockEnd) CloseBlock();
    }
    if (pending_.size() >= kPublishBlocks * size_t(n)) Publish();
}

void TLoadingPeaks::TWriter::AddBlocks(const TPeakEntry* entries, size_t blocks, int64_t frames) {
    if (blocks == 0) return;
    const int n = shared_.channels_;
    const int64_t block = end_ / kPeakBlockFrames;
    if (pending_.empty()) pendingBlock_ = block;
    pending_.insert(pending_.end(), entries, entries + blocks * size_t(n));
    end_ += frames;
    if (pending_.size() >= kPublishBlocks * size_t(n)) Publish();
}

void TLoadingPeaks::TWriter::Publish(bool last) {
    if (last && !openEmpty_) {
        const int64_t end = end_;
        CloseBlock();
        end_ = end;
    }
    if (pending_.empty() && published_ == end_) return;
    const std::lock_guard<std::mutex> lock(shared_.mutex_);
    if (!pending_.empty()) {
        shared_.pending_.push_back({pendingBlock_, std::move(pending_)});
        pending_ = {};
    }
    // Reset() may have dropped this writer's stretch: then it has nothing to say.
    if (slot_ < shared_.stretches_.size()) shared_.stretches_[slot_].end = end_;
    published_ = end_;
    shared_.changed_ = true;
}

bool TLoadingPeaks::Take(Tindexdata& table, int64_t& contiguous, int64_t& furthest) {
    std::vector<TBlocks> taken;
    std::vector<TStretch> stretches;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!changed_) return false;
        changed_ = false;
        taken.swap(pending_);
        stretches = stretches_;
    }
    const size_t n = size_t(channels_);
    for (const TBlocks& b : taken) {
        const size_t at = size_t(b.first) * n;
        if (table.size() < at + b.entries.size()) table.resize(at + b.entries.size());
        for (size_t i = 0; i < b.entries.size(); ++i) Merge(table[at + i], b.entries[i]);
    }
    std::sort(stretches.begin(), stretches.end(),
              [](const TStretch& a, const TStretch& b) { return a.first < b.first; });
    contiguous = 0;
    furthest = 0;
    for (const TStretch& s : stretches) {
        if (s.first <= contiguous) contiguous = std::max(contiguous, s.end);
        furthest = std::max(furthest, s.end);
    }
    return true;
}

void TLoadingPeaks::Reset() {
    const std::lock_guard<std::mutex> lock(mutex_);
    stretches_.clear();
    pending_.clear();
    changed_ = true;
}
