#pragma once
// An MP3 decoded on two threads. Both demux the file from its start and so see the same
// packets; the first packet that starts at or after a split position (the middle of the file)
// begins the second half. The first thread decodes the packets before it; the second decodes
// from it to the end, after first decoding a few packets before it with their output dropped,
// so that its decoder's bit reservoir, overlap and filter bank hold what one thread's would.
// The second half writes straight into the destination where the first half's samples will
// end, as counted from the packets' durations; joined, the two give the single thread's
// samples bit for bit. TMp3Gate sorts the packets of one half; it belongs to one thread.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>

struct AVPacket;

class TMp3Gate {
public:
    // Packets decoded ahead of the second half with their output dropped. The reservoir reaches
    // back at most 511 bytes, which is a few frames even at the lowest bitrates; the overlap and
    // the filter bank reach back one frame.
    static constexpr size_t kWarmUpPackets = 32;

    enum class TUse {
        kSkip,    // not this half's
        kDecode,  // decode and keep
        kWarmUp,  // first of the second half: decode Held() dropping the output, then this one
        kStop,    // first of the second half, seen by the first: this half is done
    };

    // timeBase: of the packets' durations; sampleRate: of the decoded sound.
    TMp3Gate(bool secondHalf, int64_t splitPos, int timeBaseNum, int timeBaseDen, int sampleRate)
        : second_(secondHalf),
          splitPos_(splitPos),
          num_(int64_t(timeBaseNum) * sampleRate),
          den_(timeBaseDen) {}
    ~TMp3Gate();
    TMp3Gate(const TMp3Gate&) = delete;
    TMp3Gate& operator=(const TMp3Gate&) = delete;

    // Sorts the next packet of the stream, in order. Before the second half starts, the second
    // half's gate keeps a reference to the last kWarmUpPackets packets.
    TUse Sort(const AVPacket* packet);
    // The packets to warm up with, oldest first, valid until ReleaseHeld.
    const std::deque<AVPacket*>& Held() const { return held_; }
    void ReleaseHeld();
    // Whether the second half has started.
    bool Reached() const { return reached_; }
    // The frames the packets before the second half decode to, as their durations and the
    // samples skipped at the start and end say; what the first half gives unless a packet is
    // damaged.
    int64_t FirstHalfFrames() const { return std::max<int64_t>(frames_ - skipped_, 0); }

private:
    bool second_;
    int64_t splitPos_;
    int64_t num_;
    int64_t den_;
    bool reached_ = false;
    int64_t frames_ = 0;
    int64_t skipped_ = 0;
    std::deque<AVPacket*> held_;
};
