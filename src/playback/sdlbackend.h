#pragma once
// SDL2's audio subsystem as the output of sound buffers: one SDL device per stream, at the
// stream's rate, channels and sample width, SDL converting where the hardware differs. When no
// output device opens, it falls back to SDL's real-time, silent "dummy" driver, so playback
// still runs with a moving cursor, and says so in NoOutputMessage (and OnNoOutput).
// User-interface thread only. Failures raise ESoundDeviceError with SDL's own text.

#include <string>

#include "sounddevice.h"

class TSdlBackend : public TAudioBackend {
public:
    // Starts SDL's audio subsystem and checks that a stream can be opened.
    TSdlBackend();
    ~TSdlBackend() override;
    TSdlBackend(const TSdlBackend&) = delete;
    TSdlBackend& operator=(const TSdlBackend&) = delete;

    std::unique_ptr<TAudioStream> OpenStream(const TWaveFormat& format, TPull pull) override;
    std::string NoOutputMessage() const override;
    bool Silent() const { return silent_; }

private:
    void FallBack(const std::string& reason);

    bool started_ = false;
    bool silent_ = false;
    std::string reason_;
};
