#pragma once
// A backend run by a clock its user advances (tests and benchmarks): Advance(n) pulls n frames
// from every playing stream through the same pull routine SDL calls, and keeps the bytes.
// Advance may be called from any one thread; the rest on the user-interface thread.

#include <mutex>
#include <vector>

#include "sounddevice.h"

class TManualClockBackend : public TAudioBackend {
public:
    // heldFrames: what the stream claims to hold beyond each pull (as SDL's buffer does).
    explicit TManualClockBackend(uint32_t heldFrames = 0) : held_(heldFrames) {}
    ~TManualClockBackend() override;

    std::unique_ptr<TAudioStream> OpenStream(const TWaveFormat& format, TPull pull) override;

    // Pulls `frames` frames from every unpaused stream in one pull each.
    void Advance(uint32_t frames);
    // Every byte pulled so far, in order; TakeOutput empties the record.
    std::vector<uint8_t> TakeOutput();
    size_t OutputBytes() const;
    int32_t OpenStreams() const;
    // Set false to drop what is pulled instead of keeping it.
    void KeepOutput(bool keep);

private:
    class TStream;
    friend class TStream;

    mutable std::mutex mutex_;
    std::vector<TStream*> streams_;
    std::vector<uint8_t> output_;
    std::vector<uint8_t> scratch_;
    uint32_t held_;
    bool keep_ = true;
};
