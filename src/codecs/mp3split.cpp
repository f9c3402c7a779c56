#include "mp3split.h"

#include <new>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/mathematics.h>
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
        if (packet->duration > 0 && den_ > 0) frames_ += av_rescale(packet->duration, num_, den_);
        size_t bytes = 0;
        const uint8_t* skip = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &bytes);
        if (skip != nullptr && bytes >= 8) skipped_ += int64_t(AV_RL32(skip)) + AV_RL32(skip + 4);
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
