// The load as it goes: the decoder publishes the peaks of what is in the version file, and the
// user-interface thread takes them into the document's own table, so the sound can be drawn and
// played before the load ends.
#include <algorithm>

#include "decoder.h"
#include "loadingpeaks.h"
#include "uithread.h"
#include "wavfile.h"

bool Twavefile::FollowWhole(TLargeFile& store, uint64_t bytes) {
    try {
        store.Follow(bytes);
        return store.FileSize() == bytes;
    } catch (const std::exception&) {
        return false;
    }
}

void Twavefile::ShowLoad(TDecoder& decoder) {
    auto peaks = std::make_shared<TLoadingPeaks>(decoder.Channels());
    // A blocking hand-over: once it returns, nothing reads the file that is to be rewritten.
    decoder.WatchLoad(peaks, [this] { RunOnUiThread([this] { HideLoad(); }); });
    const uint16_t channels = decoder.Channels();
    const uint32_t rate = decoder.SampleRate();
    const int64_t expected = std::max<int64_t>(decoder.ExpectedFrames(), 0);
    RunOnUiThread([&] {
        loadingPeaks_ = peaks;
        loadExpected_ = expected;
        loadedFrames_ = 0;
        channels_ = channels;
        sampleRate_ = rate;
        frames_ = expected;
        duration_ = 0;
        peakTable_.assign(size_t(expected / kPeakBlockFrames + 1) * channels, TPeakEntry{});
        loading_ = true;
    });
}

void Twavefile::HideLoad() {
    ReleaseStore();
    store_.reset();
    loadedFrames_ = 0;
    std::fill(peakTable_.begin(), peakTable_.end(), TPeakEntry{});
}

bool Twavefile::PollLoad() {
    if (!loading_ || !loadingPeaks_) return false;
    int64_t contiguous = 0, furthest = 0;
    if (!loadingPeaks_->Take(peakTable_, contiguous, furthest)) return false;
    frames_ = std::max(loadExpected_, furthest);
    const size_t entries = size_t(frames_ / kPeakBlockFrames + 1) * channels_;
    if (peakTable_.size() < entries) peakTable_.resize(entries);
    loadedFrames_ = contiguous;
    duration_ = sampleRate_ > 0 ? double(contiguous) / sampleRate_ : 0;
    if (contiguous > 0) {
        try {
            if (!store_) store_ = std::make_unique<TLargeFile>(tempPath_);
            store_->Follow(store_->DataOffset() + uint64_t(contiguous) * channels_ * 2);
        } catch (const std::exception&) {
            // Shown without its samples until the load ends: the peaks still draw.
            ReleaseStore();
            store_.reset();
        }
    }
    return true;
}
