#include "mp3split.h"

#include <new>

extern "C" {
#include <libavcodec/packet.h>
}

TMp3Gate::~TMp3Gate() {
    ReleaseHeld();
}

void TMp3Gate::ReleaseHeld() {
    for (AVPacket* p : held_) av_packet_free(&p);
    held_.clear();
}

TMp3Gate::TUse TMp3Gate::Sort(const AVPacket* packet) {
    if (reached_) return second_ ? TUse::kDecode : TUse::kSkip;
    // A packet of unknown position never starts the second half; once started, it goes on.
    if (packet->pos < splitPos_) {
        if (!second_) return TUse::kDecode;
        AVPacket* ref = av_packet_clone(packet);
        if (ref == nullptr) throw std::bad_alloc();
        held_.push_back(ref);
        if (held_.size() > kWarmUpPackets) {
            av_packet_free(&held_.front());
            held_.pop_front();
        }
        return TUse::kSkip;
    }
    reached_ = true;
    return second_ ? TUse::kWarmUp : TUse::kStop;
}
