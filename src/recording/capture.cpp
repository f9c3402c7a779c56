#include "capture.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>

namespace {
constexpr const char* kAppName = "Orvane";
// About 20 ms per callback at the usual rates.
constexpr uint16_t kCallbackFrames = 1024;

// SDL's audio subsystem for as long as it lives (SDL counts the starts).
void StartAudio() {
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, kAppName);
    SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_NUM_LOG_PRIORITIES);
    CheckResult(SDL_InitSubSystem(SDL_INIT_AUDIO) == 0, "SDL_InitSubSystem", SDL_GetError());
}
}  // namespace

std::vector<std::string> CaptureDevices() {
    StartAudio();
    std::vector<std::string> names;
    const int count = SDL_GetNumAudioDevices(1);
    for (int i = 0; i < count; ++i) {
        if (const char* name = SDL_GetAudioDeviceName(i, 1); name && *name)
            names.emplace_back(name);
    }
    char* standard = nullptr;
    SDL_AudioSpec defaultFormat{};
    if (SDL_GetDefaultAudioInfo(&standard, &defaultFormat, 1) == 0 && standard) {
        const std::string first = standard;
        SDL_free(standard);
        names.erase(std::remove(names.begin(), names.end(), first), names.end());
        names.insert(names.begin(), first);
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return names;
}

TSdlCapture::TSdlCapture(const std::string& device, uint16_t channels, uint32_t rate,
                         int64_t limitFrames, double ringSeconds)
    : channels_(channels), rate_(rate) {
    if (channels < 1 || channels > 2 || rate < 1000 || rate > 384000) {
        throw ESoundDeviceError("Recording takes 1 or 2 channels at 1000 to 384000 Hz.");
    }
    ring_ = std::make_unique<TCaptureRing>(
        channels, int64_t(std::ceil(std::max(ringSeconds, 2.0) * rate)), limitFrames);
    StartAudio();
    SDL_AudioSpec want{};
    want.freq = int(rate);
    want.format = AUDIO_S16LSB;
    want.channels = Uint8(channels);
    want.samples = kCallbackFrames;
    want.callback = &TSdlCapture::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts whatever the device gives to this format.
    id_ = SDL_OpenAudioDevice(device.empty() ? nullptr : device.c_str(), 1, &want, &have, 0);
    if (id_ == 0) {
        const std::string error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        CheckResult(false, "SDL_OpenAudioDevice", error);
    }
}

TSdlCapture::~TSdlCapture() {
    Stop();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TSdlCapture::Callback(void* user, uint8_t* stream, int len) {
    auto* self = static_cast<TSdlCapture*>(user);
    self->ring_->Push(reinterpret_cast<const int16_t*>(stream),
                      int64_t(len) / (int64_t(self->channels_) * 2));
}

void TSdlCapture::Start() {
    std::lock_guard lock(mutex_);
    if (id_ == 0) return;
    started_ = true;
    SDL_PauseAudioDevice(id_, 0);
}

void TSdlCapture::Pause(bool paused) {
    std::lock_guard lock(mutex_);
    if (id_ != 0 && started_) SDL_PauseAudioDevice(id_, paused ? 1 : 0);
}

void TSdlCapture::Stop() {
    std::lock_guard lock(mutex_);
    if (id_ == 0) return;
    // Returns once the callback has run for the last time.
    SDL_CloseAudioDevice(id_);
    id_ = 0;
    ring_->Close();
}

std::string TSdlCapture::Failure() const {
    std::lock_guard lock(mutex_);
    if (id_ == 0 || !started_ || SDL_GetAudioDeviceStatus(id_) != SDL_AUDIO_STOPPED) return {};
    return "The input device stopped.";
}

// --- the monitor -----------------------------------------------------------------------------

TInputMonitor::TInputMonitor(const std::string& device, uint16_t channels, uint32_t rate)
    : capture_(device, channels, rate, 0, 2) {
    thread_ = std::thread([this] { Drain(); });
    capture_.Start();
}

TInputMonitor::~TInputMonitor() {
    capture_.Stop();
    quit_ = true;
    thread_.join();
}

std::array<int16_t, kMaxPeakChannels> TInputMonitor::TakePeaks() {
    std::array<int16_t, kMaxPeakChannels> out{};
    for (size_t c = 0; c < out.size(); ++c) out[c] = int16_t(peaks_[c].exchange(0));
    return out;
}

void TInputMonitor::Drain() {
    TCaptureRing& ring = capture_.Ring();
    std::vector<int16_t> block(size_t(8192) * ring.Channels());
    while (!quit_.load(std::memory_order_relaxed)) {
        ring.Wait(50);
        int64_t gap = 0;
        for (;;) {
            const int64_t n = ring.Pop(block.data(), 8192, gap);
            if (n == 0 && gap == 0) break;
            if (n > 0) ScanInput(block.data(), n, ring.Channels(), peaks_, clips_);
        }
    }
}
