#include "sdlbackend.h"

#include <SDL2/SDL.h>
#include <dlfcn.h>

#include <cstring>

namespace {
constexpr const char* kAppName = "Orvane";
constexpr const char* kSilentDriver = "dummy";
// About 25 ms per pull: small enough next to the player's 62.5 ms refill step.
constexpr uint32_t kPullsPerSecond = 40;

extern "C" void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// alsa-lib prints its own errors on stderr (a missing card is many lines); SDL has already
// loaded it when its ALSA driver is chosen, so silence it through the loaded library.
void QuietAlsa() {
    const char* driver = SDL_GetCurrentAudioDriver();
    if (!driver || std::strcmp(driver, "alsa") != 0) return;
    void* lib = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!lib) return;
    using THandler = void (*)(const char*, int, const char*, int, const char*, ...);
    using TSetHandler = int (*)(THandler);
    if (auto set = reinterpret_cast<TSetHandler>(dlsym(lib, "snd_lib_error_set_handler"))) {
        set(&SilentAlsaError);
    }
    dlclose(lib);
}

uint16_t PullFrames(uint32_t rate) {
    uint32_t frames = 64;
    while (frames * 2 <= rate / kPullsPerSecond && frames < 8192) frames *= 2;
    return static_cast<uint16_t>(frames);
}

class TSdlStream : public TAudioStream {
public:
    TSdlStream(const TWaveFormat& format, TAudioBackend::TPull pull) : pull_(std::move(pull)) {
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(format.samplesPerSec);
        want.format = format.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
        want.channels = static_cast<Uint8>(format.channels);
        want.samples = PullFrames(format.samplesPerSec);
        want.callback = &TSdlStream::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to whatever the hardware takes.
        id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        CheckResult(id_ != 0, "SDL_OpenAudioDevice", SDL_GetError());
        held_ = have.samples;
    }
    ~TSdlStream() override { SDL_CloseAudioDevice(id_); }

    void Pause(bool paused) override { SDL_PauseAudioDevice(id_, paused ? 1 : 0); }
    void Lock() override { SDL_LockAudioDevice(id_); }
    void Unlock() override { SDL_UnlockAudioDevice(id_); }
    uint32_t HeldFrames() const override { return held_; }

private:
    static void SDLCALL Callback(void* user, Uint8* stream, int len) {
        static_cast<TSdlStream*>(user)->pull_(stream, static_cast<uint32_t>(len));
    }

    TAudioBackend::TPull pull_;
    SDL_AudioDeviceID id_ = 0;
    uint32_t held_ = 0;
};
}  // namespace

TSdlBackend::TSdlBackend() {
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, kAppName);
    // SDL logs driver notes (the disk driver's warnings) on stderr; the program stays quiet.
    SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_NUM_LOG_PRIORITIES);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        FallBack(SDL_GetError());
        return;
    }
    started_ = true;
    QuietAlsa();
    // A driver can start without any device behind it (ALSA with no card): try one stream.
    try {
        TSdlStream probe(TWaveFormat::Pcm16(2, 44100),
                         [](uint8_t* dst, uint32_t n) { std::memset(dst, 0, n); });
    } catch (const ESoundDeviceError&) {
        FallBack(SDL_GetError());
    }
}

TSdlBackend::~TSdlBackend() {
    if (started_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TSdlBackend::FallBack(const std::string& reason) {
    reason_ = reason;
    if (started_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    started_ = false;
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, kSilentDriver, SDL_HINT_OVERRIDE);
    const bool ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    const std::string error = ok ? std::string() : SDL_GetError();
    // Only this start is forced; a later device tries the real drivers again.
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    CheckResult(ok, "SDL_InitSubSystem", error);
    started_ = true;
    silent_ = true;
    if (OnNoOutput) OnNoOutput(NoOutputMessage());
}

std::string TSdlBackend::NoOutputMessage() const {
    if (!silent_) return {};
    std::string text = "No sound output is available, so playback is silent";
    if (!reason_.empty()) text += " (" + reason_ + ")";
    return text + ".";
}

std::unique_ptr<TAudioStream> TSdlBackend::OpenStream(const TWaveFormat& format, TPull pull) {
    try {
        return std::make_unique<TSdlStream>(format, pull);
    } catch (const ESoundDeviceError&) {
        if (silent_) throw;
        // The output went away since start-up: carry on silently rather than fail every play.
        FallBack(SDL_GetError());
        return std::make_unique<TSdlStream>(format, std::move(pull));
    }
}
