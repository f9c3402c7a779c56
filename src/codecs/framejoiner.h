#pragma once
// TFrameJoiner cuts a stream of byte pieces (the packets of raw PCM) into whole frames. A frame
// split between two pieces waits in a small carry and goes out as soon as its last byte comes.
// Plain value, one thread.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

class TFrameJoiner {
public:
    // The largest frame joined: 16-bit stereo is all the decoder passes through raw.
    static constexpr size_t kMaxFrameBytes = 8;

    // frameBytes: 1 to kMaxFrameBytes.
    explicit TFrameJoiner(size_t frameBytes) : frameBytes_(frameBytes) {}

    // Hands the whole frames that the next piece completes to handOn(data, frames): first the
    // carried frame, if this piece completes it, then the piece's own whole frames in one call.
    // The bytes after them wait for the next piece. handOn is not called for zero frames.
    template <typename HandOn>
    void Push(const uint8_t* piece, size_t bytes, HandOn&& handOn) {
        if (carried_ > 0) {
            const size_t take = std::min(frameBytes_ - carried_, bytes);
            if (take > 0) std::memcpy(carry_.data() + carried_, piece, take);
            carried_ += take;
            piece += take;
            bytes -= take;
            if (carried_ < frameBytes_) return;
            handOn(static_cast<const uint8_t*>(carry_.data()), size_t(1));
            carried_ = 0;
        }
        const size_t frames = bytes / frameBytes_;
        if (frames > 0) handOn(piece, frames);
        carried_ = bytes - frames * frameBytes_;
        if (carried_ > 0) std::memcpy(carry_.data(), piece + frames * frameBytes_, carried_);
    }

    // Bytes of an unfinished frame waiting for the next piece (dropped at the end of a stream).
    size_t Carried() const { return carried_; }

private:
    size_t frameBytes_;
    std::array<uint8_t, kMaxFrameBytes> carry_{};
    size_t carried_ = 0;
};
