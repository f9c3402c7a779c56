#include "capturering.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "peakscan.h"

namespace {
int64_t PowerOfTwoAtLeast(int64_t n) {
    int64_t p = 1024;
    while (p < n) p *= 2;
    return p;
}
}  // namespace

TCaptureRing::TCaptureRing(uint16_t channels, int64_t capacityFrames, int64_t limitFrames)
    : channels_(std::max<uint16_t>(channels, 1)),
      capacity_(PowerOfTwoAtLeast(capacityFrames)),
      limit_(std::max<int64_t>(limitFrames, 0)),
      samples_(size_t(capacity_) * channels_),
      gaps_(kGapSlots) {
    sem_init(&wake_, 0, 0);
}

TCaptureRing::~TCaptureRing() {
    sem_destroy(&wake_);
}

bool TCaptureRing::PublishGap() {
    if (open_.lost == 0) return true;
    const int64_t g = gapsWritten_.load(std::memory_order_relaxed);
    if (g - gapsRead_.load(std::memory_order_acquire) >= kGapSlots) return false;
    gaps_[size_t(g % kGapSlots)] = open_;
    gapsWritten_.store(g + 1, std::memory_order_release);
    open_ = {};
    return true;
}

void TCaptureRing::Push(const int16_t* samples, int64_t frames) {
    if (ended_.load(std::memory_order_relaxed)) return;
    const int64_t device = deviceFrames_.load(std::memory_order_relaxed);
    if (limit_ > 0) frames = std::min(frames, limit_ - device);
    if (frames <= 0) {
        Close();
        return;
    }
    const int64_t w = written_.load(std::memory_order_relaxed);
    int64_t fit = std::min(frames, capacity_ - (w - read_.load(std::memory_order_acquire)));
    // A gap must be handed over before anything behind it; with no slot for it, it grows.
    if (fit > 0 && !PublishGap()) fit = 0;
    for (int64_t done = 0; done < fit;) {
        const int64_t at = (w + done) & (capacity_ - 1);
        const int64_t n = std::min(fit - done, capacity_ - at);
        std::memcpy(&samples_[size_t(at) * channels_], samples + done * channels_,
                    size_t(n) * channels_ * sizeof(int16_t));
        done += n;
    }
    written_.store(w + fit, std::memory_order_release);
    if (fit < frames) {
        if (open_.lost == 0) {
            open_.at = w + fit;
            lastDropout_.store(device + fit, std::memory_order_release);
            dropouts_.fetch_add(1, std::memory_order_acq_rel);
        }
        open_.lost += frames - fit;
        lostFrames_.fetch_add(frames - fit, std::memory_order_acq_rel);
    }
    deviceFrames_.store(device + frames, std::memory_order_release);
    if (limit_ > 0 && device + frames >= limit_) {
        Close();
        return;
    }
    sem_post(&wake_);
}

void TCaptureRing::Close() {
    // Called when no Push runs any more, or from Push itself: the consumer has taken every slot
    // it will take before the end, so a full table only means waiting for it.
    if (open_.lost != 0 && !PublishGap()) {
        // Rare: more gaps than slots at the very end. The consumer frees slots as it goes.
        while (!PublishGap()) {
            timespec pause{0, 1000000};
            nanosleep(&pause, nullptr);
        }
    }
    ended_.store(true, std::memory_order_release);
    sem_post(&wake_);
}

int64_t TCaptureRing::Pop(int16_t* dst, int64_t maxFrames, int64_t& gap) {
    gap = 0;
    const int64_t r = read_.load(std::memory_order_relaxed);
    const int64_t g = gapsRead_.load(std::memory_order_relaxed);
    int64_t until = written_.load(std::memory_order_acquire);
    if (g < gapsWritten_.load(std::memory_order_acquire)) {
        const TGap next = gaps_[size_t(g % kGapSlots)];
        if (next.at == r) {
            gap = next.lost;
            gapsRead_.store(g + 1, std::memory_order_release);
            return 0;
        }
        until = std::min(until, next.at);
    }
    const int64_t frames = std::min(until - r, maxFrames);
    for (int64_t done = 0; done < frames;) {
        const int64_t at = (r + done) & (capacity_ - 1);
        const int64_t n = std::min(frames - done, capacity_ - at);
        std::memcpy(dst + done * channels_, &samples_[size_t(at) * channels_],
                    size_t(n) * channels_ * sizeof(int16_t));
        done += n;
    }
    read_.store(r + frames, std::memory_order_release);
    return frames;
}

void TCaptureRing::Wait(int ms) {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += long(ms) * 1000000L;
    until.tv_sec += until.tv_nsec / 1000000000L;
    until.tv_nsec %= 1000000000L;
    while (sem_timedwait(&wake_, &until) != 0 && errno == EINTR) {
    }
}

void ScanInput(const int16_t* samples, int64_t frames, uint16_t channels,
               std::array<std::atomic<int32_t>, kMaxPeakChannels>& peaks,
               std::atomic<int64_t>& clips) {
    const int n = std::min<int>(channels, kMaxPeakChannels);
    if (n <= 0 || frames <= 0) return;
    std::array<int16_t, kMaxPeakChannels> mx{}, mn{};
    ScanExtremes(samples, size_t(frames), channels, mx.data(), mn.data());
    bool full = false;
    for (int c = 0; c < n; ++c) {
        full = full || mx[size_t(c)] == 32767 || mn[size_t(c)] == -32768;
        const int32_t h =
            std::min(std::max<int32_t>(mx[size_t(c)], -int32_t(mn[size_t(c)])), 32767);
        int32_t seen = peaks[size_t(c)].load(std::memory_order_relaxed);
        while (h > seen &&
               !peaks[size_t(c)].compare_exchange_weak(seen, h, std::memory_order_relaxed)) {
        }
    }
    // Counted one by one only in a block that reaches full scale at all.
    if (!full) return;
    int64_t count = 0;
    const int64_t total = frames * channels;
    for (int64_t i = 0; i < total; ++i) count += (samples[i] == 32767) | (samples[i] == -32768);
    clips.fetch_add(count, std::memory_order_relaxed);
}
