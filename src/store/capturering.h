#pragma once
// The hand-over between a capture device's callback and the thread that writes the take: one
// producer (the device's thread) and one consumer, no lock, no allocation and no wait on the
// producer's side. Frames are counted as the device delivers them, never by the clock; when the
// consumer falls behind and the ring is full, what does not fit is lost and kept as a gap at
// the device frame where it began, so the take keeps its timing (the consumer writes silence
// for a gap) and a dropout can be shown at once and marked where it happened.
//
// A limit, when given, ends the take at exactly that many device frames: Push takes nothing
// beyond it and Ended() turns true.

#include <semaphore.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "cache.h"

class TCaptureRing {
public:
    // `capacityFrames` is rounded up to a power of two; `limitFrames` 0 means no limit.
    TCaptureRing(uint16_t channels, int64_t capacityFrames, int64_t limitFrames = 0);
    ~TCaptureRing();
    TCaptureRing(const TCaptureRing&) = delete;
    TCaptureRing& operator=(const TCaptureRing&) = delete;

    uint16_t Channels() const { return channels_; }
    int64_t CapacityFrames() const { return capacity_; }
    int64_t LimitFrames() const { return limit_; }

    // --- the producer (the device's thread) ---
    // Interleaved frames as the device delivered them. Never blocks.
    void Push(const int16_t* samples, int64_t frames);
    // The producer is gone for good (the device is closed): an open gap is handed over. Called
    // once no Push can run any more.
    void Close();

    // --- anyone ---
    // Frames delivered by the device so far (lost ones included), within the limit.
    int64_t DeviceFrames() const { return deviceFrames_.load(std::memory_order_acquire); }
    // Dropouts so far, and the device frame where the latest began (-1 before any).
    int64_t Dropouts() const { return dropouts_.load(std::memory_order_acquire); }
    int64_t LastDropoutFrame() const { return lastDropout_.load(std::memory_order_acquire); }
    int64_t LostFrames() const { return lostFrames_.load(std::memory_order_acquire); }
    // The limit has been reached, or Close was called.
    bool Ended() const { return ended_.load(std::memory_order_acquire); }

    // --- the consumer ---
    // What comes next: up to `maxFrames` frames copied into `dst` (returned), or, when a gap
    // comes first, 0 with `gap` set to the frames it lost (the consumer writes that much
    // silence). 0 with gap 0: nothing has come yet.
    int64_t Pop(int16_t* dst, int64_t maxFrames, int64_t& gap);
    // Waits up to `ms` milliseconds for the producer to push (or close).
    void Wait(int ms);

private:
    struct TGap {
        int64_t at = 0;  // the ring position (frames pushed into the ring) where it lies
        int64_t lost = 0;
    };
    static constexpr int64_t kGapSlots = 1024;
    // Publishes the open gap; false when the gap slots are full.
    bool PublishGap();

    const uint16_t channels_;
    const int64_t capacity_;
    const int64_t limit_;
    std::vector<int16_t> samples_;
    std::vector<TGap> gaps_;
    alignas(64) std::atomic<int64_t> written_{0};  // ring positions, in frames
    alignas(64) std::atomic<int64_t> read_{0};
    alignas(64) std::atomic<int64_t> gapsWritten_{0};
    std::atomic<int64_t> gapsRead_{0};
    std::atomic<int64_t> deviceFrames_{0};
    std::atomic<int64_t> dropouts_{0};
    std::atomic<int64_t> lastDropout_{-1};
    std::atomic<int64_t> lostFrames_{0};
    std::atomic<bool> ended_{false};
    // The producer's own: the gap still growing, not yet handed over.
    TGap open_;
    sem_t wake_;
};

// The input's level as the take's writer and the monitor keep it: raises `peaks` to the highest
// absolute sample per channel of interleaved `samples` and adds the samples at full scale
// (32767 or -32768) to `clips`.
void ScanInput(const int16_t* samples, int64_t frames, uint16_t channels,
               std::array<std::atomic<int32_t>, kMaxPeakChannels>& peaks,
               std::atomic<int64_t>& clips);
