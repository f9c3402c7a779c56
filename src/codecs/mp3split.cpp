#include "mp3split.h"

#include <sys/stat.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <future>
#include <new>
#include <thread>
#include <utility>

#include "decoderoutput.h"
#include "wavcopy.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
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

namespace {

// The length of an ID3v2 tag at the start of the file, 0 without one.
int64_t Id3v2Bytes(const QString& path, int64_t size) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    uint8_t h[10];
    const bool read = ::pread(fd, h, sizeof h, 0) == ssize_t(sizeof h);
    ::close(fd);
    if (!read || std::memcmp(h, "ID3", 3) != 0 || ((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0)
        return 0;
    // Four 7-bit bytes, then the header and, when flagged, a footer of ten bytes each.
    const int64_t body = (int64_t(h[6]) << 21) | (int64_t(h[7]) << 14) | (h[8] << 7) | h[9];
    return std::min(body + 10 + ((h[5] & 0x10) != 0 ? 10 : 0), size);
}

}  // namespace

using decoder_detail::kMaxRetries;
using decoder_detail::RaiseWriteError;

// ---------------------------------------------------------------------------------------------
// TDecoder's part in a split decode: both halves' packet loop, and the two threads.

void TDecoder::DecodeHalf(TOutput& out, TMp3Gate& gate, const std::atomic<bool>& stop,
                          const std::function<void(int64_t)>& onRead) {
    TFrameJoiner joiner(blockAlign_);
    int retries = 0;
    while (!stop.load(std::memory_order_relaxed)) {
        const int r = av_read_frame(format_, packet_);
        if (r == AVERROR(EAGAIN) && ++retries < kMaxRetries) continue;
        if (r < 0) break;
        retries = 0;
        onRead(avio_tell(format_->pb));
        const TMp3Gate::TUse use =
            packet_->stream_index == streamIndex_ ? gate.Sort(packet_) : TMp3Gate::TUse::kSkip;
        if (use == TMp3Gate::TUse::kStop) {
            // The single thread goes on without a flush here, so neither does this half.
            av_packet_unref(packet_);
            return;
        }
        if (use == TMp3Gate::TUse::kWarmUp) {
            out.StartAt(kWavHeaderBytes + gate.FirstHalfFrames() * blockAlign_);
            for (AVPacket* held : gate.Held()) {
                if (avcodec_send_packet(codec_, held) < 0) continue;
                while (avcodec_receive_frame(codec_, frame_) >= 0) av_frame_unref(frame_);
            }
            gate.ReleaseHeld();
        }
        if (use != TMp3Gate::TUse::kSkip) WritePacket(out, joiner);
        av_packet_unref(packet_);
    }
    if (avcodec_send_packet(codec_, nullptr) >= 0) Drain(out);
}

bool TDecoder::DecodeInHalves(TOutput& out, std::atomic<int32_t>& progress) {
    if (!allowSplit_ || sourceKind_ != TSourceKind::kMp3 || sourcePath_.isEmpty() ||
        std::strcmp(format_->iformat->name, "mp3") != 0 || std::thread::hardware_concurrency() < 2)
        return false;
    const int64_t size = format_->pb != nullptr ? avio_size(format_->pb) : -1;
    if (size < splitMinBytes_ || size < 2) return false;
    // The middle of the sound, not of the file: a tag at the start can carry a picture of
    // several megabytes. Where the split falls never changes the result, only the balance.
    const int64_t split = (Id3v2Bytes(sourcePath_, size) + size) / 2;
    const AVRational tb = format_->streams[streamIndex_]->time_base;
    TDecoder other(sourcePath_, destPath_);
    if (!other.Supported() || other.channels_ != channels_ || other.sampleRate_ != sampleRate_ ||
        other.streamIndex_ != streamIndex_)
        return false;

    std::atomic<int64_t> firstRead{0}, secondRead{0};
    std::atomic<bool> stop{false};
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    std::exception_ptr failure;
    int64_t secondAt = -1;  // bytes of the first half's samples, as the packets say
    uint64_t secondBytes = 0;
    std::thread helper([&] {
        try {
            TOutput second(destPath_, true);
            TMp3Gate gate(true, split, tb.num, tb.den, int(sampleRate_));
            other.DecodeHalf(second, gate, stop, [&](int64_t at) { secondRead = at; });
            second.Flush();
            if (gate.Reached()) secondAt = gate.FirstHalfFrames() * blockAlign_;
            secondBytes = second.DataBytes();
            second.Close();
        } catch (...) {
            failure = std::current_exception();
        }
        finished.set_value();
    });
    // Whatever happens here, the helper is stopped and joined before anything it uses goes.
    struct TJoin {
        std::thread& thread;
        std::atomic<bool>& stop;
        ~TJoin() {
            stop = true;
            if (thread.joinable()) thread.join();
        }
    } join{helper, stop};

    // Each half counts for half of the progress, the second from where it starts keeping.
    const auto report = [&] {
        const int64_t first = std::min<int64_t>(firstRead, split);
        const int64_t second = std::clamp<int64_t>(secondRead - split, 0, size - split);
        progress.store(int32_t(50 * first / split + 50 * second / (size - split)),
                       std::memory_order_relaxed);
    };
    TMp3Gate gate(false, split, tb.num, tb.den, int(sampleRate_));
    DecodeHalf(out, gate, stop, [&](int64_t at) {
        firstRead = at;
        report();
    });
    while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) report();
    helper.join();
    if (failure) std::rethrow_exception(failure);
    out.Flush();
    // No second half (nothing after the middle): the first half decoded it all.
    if (secondAt < 0) return split_ = true;
    if (uint64_t(secondAt) != out.DataBytes()) {
        // A damaged packet in the first half gave fewer samples than its duration: the halves
        // do not meet. Rare enough to decode it all again on one thread.
        TDecoder again(sourcePath_, destPath_);
        again.AllowSplit(false);
        if (!again.Supported() || !again.Decode(progress))
            throw EOSError(EIO, destPath_.toStdString());
        std::swap(filter_, again.filter_);
        struct stat st {};
        if (::stat(QFile::encodeName(destPath_).constData(), &st) != 0)
            RaiseWriteError(errno, destPath_);
        out.Rewritten(uint64_t(st.st_size) - kWavHeaderBytes);
        return true;
    }
    if (out.DataBytes() + secondBytes > room_) {
        throw EAppError(TooLongMessage(sampleRate_, channels_, room_));
    }
    // The second half's peaks, read back from the page cache.
    const int fd = FileIO().Open(QFile::encodeName(destPath_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) RaiseWriteError(errno, destPath_);
    try {
        ScanWithPeaks(fd, destPath_, kWavHeaderBytes + secondAt, int64_t(secondBytes), *filter_);
    } catch (...) {
        FileIO().Close(fd);
        throw;
    }
    FileIO().Close(fd);
    out.Appended(secondBytes);
    return split_ = true;
}
