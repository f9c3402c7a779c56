#pragma once
// An MP3 decoded in parts, one thread each. Every part demuxes the file from its start and so
// sees the same packets; the parts are cut at byte positions spread over the sound, and a part
// takes the packets that start from its position up to the next part's. Every part but the
// first decodes, before its own packets, a few packets ahead of them with their output dropped,
// so that its decoder's bit reservoir, overlap and filter bank hold what one thread's would. A
// part writes straight into the destination where the parts before it will end, as counted
// from the packets' durations; joined, the parts give the single thread's samples bit for bit.
// TMp3Gate sorts the packets for one part; it belongs to one thread.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>

struct AVPacket;

class TMp3Gate {
public:
    // Packets decoded ahead of a part with their output dropped. The reservoir reaches back at
    // most 511 bytes, which is a few frames even at the lowest bitrates; the overlap and the
    // filter bank reach back one frame.
    static constexpr size_t kWarmUpPackets = 32;
    // The most parts a decode is cut into.
    static constexpr int kMaxParts = 8;
    // Where the first part begins and the last ends: before and after every packet.
    static constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

    enum class TUse {
        kSkip,    // not this part's
        kDecode,  // decode and keep
        kWarmUp,  // first of this part (not the first part): decode Held() dropping the output,
                  // then this one
        kStop,    // first of the next part: this part is done
    };

    // The part whose packets start at byte positions [begin, end); begin -kNoLimit for the
    // first part, end kNoLimit for the last. timeBase: of the packets' durations; sampleRate:
    // of the decoded sound.
    TMp3Gate(int64_t begin, int64_t end, int timeBaseNum, int timeBaseDen, int sampleRate)
        : begin_(begin),
          end_(end),
          num_(int64_t(timeBaseNum) * sampleRate),
          den_(timeBaseDen) {}
    ~TMp3Gate();
    TMp3Gate(const TMp3Gate&) = delete;
    TMp3Gate& operator=(const TMp3Gate&) = delete;

    // Sorts the next packet of the stream, in order. Before its part starts, the gate keeps a
    // reference to the last kWarmUpPackets packets.
    TUse Sort(const AVPacket* packet);
    // The packets to warm up with, oldest first, valid until ReleaseHeld.
    const std::deque<AVPacket*>& Held() const { return held_; }
    void ReleaseHeld();
    // Whether this part has started.
    bool Reached() const { return reached_; }
    // The frames the packets before this part decode to, as their durations and the samples
    // skipped at the start and end say; what the parts before give unless a packet is damaged.
    int64_t FramesBefore() const { return std::max<int64_t>(frames_ - skipped_, 0); }

private:
    int64_t begin_;
    int64_t end_;
    int64_t num_;
    int64_t den_;
    bool reached_ = false;
    int64_t frames_ = 0;
    int64_t skipped_ = 0;
    std::deque<AVPacket*> held_;
};
