#pragma once
// Sound input through SDL2's audio capture (which reaches PipeWire, PulseAudio and ALSA). A
// TSdlCapture opens one capture device at the rate and channel count asked (SDL converts where
// the device differs), 16-bit, and its callback only copies what it is handed into the ring;
// the document's worker reads it (TTakeInput, src/document/take.h). TInputMonitor shows the
// input's level without recording: a thread of its own drains the ring and keeps the peaks.
// CaptureDevices lists the devices, the default first.
//
// Threads: made and destroyed on the user-interface thread; Start, Pause and Stop may be called
// from any one thread at a time. Failures raise ESoundDeviceError with SDL's own text.

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capturering.h"
#include "sounddevice.h"
#include "take.h"

// SDL's capture devices by name, the default first (empty when there is none, or only an
// unnamed default).
std::vector<std::string> CaptureDevices();

class TSdlCapture : public TTakeInput {
public:
    // Opens `device` (empty: the default) paused. `limitFrames` ends the take after that many
    // device frames (0: none). The ring holds at least `ringSeconds` of sound.
    TSdlCapture(const std::string& device, uint16_t channels, uint32_t rate,
                int64_t limitFrames = 0, double ringSeconds = kRingSeconds);
    ~TSdlCapture() override;
    TSdlCapture(const TSdlCapture&) = delete;
    TSdlCapture& operator=(const TSdlCapture&) = delete;

    static constexpr double kRingSeconds = 8;

    uint16_t Channels() const override { return channels_; }
    uint32_t SampleRate() const override { return rate_; }
    TCaptureRing& Ring() override { return *ring_; }
    void Start() override;
    void Pause(bool paused) override;
    void Stop() override;
    std::string Failure() const override;

private:
    static void Callback(void* user, uint8_t* stream, int len);

    uint16_t channels_;
    uint32_t rate_;
    std::unique_ptr<TCaptureRing> ring_;
    mutable std::mutex mutex_;  // the device's open state, against Pause racing Stop
    uint32_t id_ = 0;
    bool started_ = false;
};

// The input's level before a take: the device runs and nothing is written.
class TInputMonitor {
public:
    TInputMonitor(const std::string& device, uint16_t channels, uint32_t rate);
    ~TInputMonitor();
    TInputMonitor(const TInputMonitor&) = delete;
    TInputMonitor& operator=(const TInputMonitor&) = delete;

    // The highest absolute sample per channel since the call before (then forgotten).
    std::array<int16_t, kMaxPeakChannels> TakePeaks();
    // Samples at full scale so far.
    int64_t Clips() const { return clips_.load(std::memory_order_relaxed); }
    uint16_t Channels() const { return capture_.Channels(); }

private:
    void Drain();

    TSdlCapture capture_;
    std::array<std::atomic<int32_t>, kMaxPeakChannels> peaks_{};
    std::atomic<int64_t> clips_{0};
    std::atomic<bool> quit_{false};
    std::thread thread_;
};
