#include "mp3split.h"

#include <sys/stat.h>
#include <QByteArray>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <future>
#include <memory>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "decoderoutput.h"

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
    // A packet of unknown position (-1) neither starts nor ends a part: it goes with the one
    // before it.
    if (reached_) return packet->pos >= end_ ? TUse::kStop : TUse::kDecode;
    if (packet->pos < begin_) {
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
    // No packet starts inside this part: the next one begins here too.
    if (packet->pos >= end_) return TUse::kStop;
    return begin_ == -kNoLimit ? TUse::kDecode : TUse::kWarmUp;
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

// Skipping a byte (demuxing it without decoding) costs about this share of decoding it.
constexpr double kSkipCost = 0.05;

// Where part k of `parts` starts, as bytes into a sound of `bytes`: a later part first skips
// everything before it, so it gets less to decode, and all parts end together.
int64_t SoundBefore(int64_t bytes, int k, int parts) {
    // Part j takes T - kSkipCost * x_j, x_j being where it starts: x_k = T (1 - q^k) / kSkipCost
    // with q = 1 - kSkipCost, and x_parts = bytes.
    const double q = 1.0 - kSkipCost;
    const double share = (1.0 - std::pow(q, k)) / (1.0 - std::pow(q, parts));
    return std::clamp<int64_t>(int64_t(double(bytes) * share), 0, bytes);
}

}  // namespace

using decoder_detail::kMaxRetries;
using decoder_detail::RaiseWriteError;

// ---------------------------------------------------------------------------------------------
// TDecoder's part in a split decode: one part's packet loop, and the threads.

int TDecoder::SplitParts(int64_t size) const {
    int parts = splitParts_;
    if (parts <= 0) {
        // Benchmarks and tests can name the count for every decode of a process.
        const QByteArray forced = qgetenv("ORVANE_MP3_PARTS");
        bool ok = false;
        const int n = forced.toInt(&ok);
        if (ok && n > 0) {
            parts = n;
        } else {
            if (size < splitMinBytes_) return 1;
            // A part of less than half a MiB does not pay for its thread and its warm-up.
            parts = int(std::clamp<int64_t>(size / (512 * 1024), 1,
                                            std::max(1u, std::thread::hardware_concurrency())));
        }
    }
    return std::clamp(parts, 1, TMp3Gate::kMaxParts);
}

void TDecoder::DecodePart(TOutput& out, TMp3Gate& gate, const std::atomic<bool>& stop,
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
            // The single thread goes on without a flush here, so neither does this part.
            av_packet_unref(packet_);
            return;
        }
        if (use == TMp3Gate::TUse::kWarmUp) {
            out.StartAt(kWavHeaderBytes + gate.FramesBefore() * blockAlign_);
            out.Watch(loading_.get(), gate.FramesBefore(), channels_);
            // This part's peaks, for the frames from here on, joined to the parts' before.
            *filter_ = TFilter(channels_, gate.FramesBefore());
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

bool TDecoder::DecodeInParts(TOutput& out, std::atomic<int32_t>& progress) {
    if (!allowSplit_ || sourceKind_ != TSourceKind::kMp3 || sourcePath_.isEmpty() ||
        std::strcmp(format_->iformat->name, "mp3") != 0)
        return false;
    const int64_t size = format_->pb != nullptr ? avio_size(format_->pb) : -1;
    if (size < 2) return false;
    const int parts = SplitParts(size);
    if (parts < 2) return false;
    // Spread over the sound, not the file: a tag at the start can carry a picture of several
    // megabytes. Where the cuts fall never changes the result, only the balance.
    const int64_t body = Id3v2Bytes(sourcePath_, size);
    std::vector<int64_t> cut(size_t(parts) + 1);
    cut[0] = -TMp3Gate::kNoLimit;
    for (int k = 1; k < parts; ++k) cut[size_t(k)] = body + SoundBefore(size - body, k, parts);
    cut[size_t(parts)] = TMp3Gate::kNoLimit;
    const AVRational tb = format_->streams[streamIndex_]->time_base;

    // What each part gives; part 0 is this decoder's, writing through `out`.
    struct TPart {
        std::unique_ptr<TDecoder> decoder;
        std::atomic<int64_t> read{0};
        int64_t at = -1;  // frames before the part, as the packets say; -1: never reached
        uint64_t bytes = 0;
        std::exception_ptr failure;
        std::promise<void> finished;
        std::future<void> done = finished.get_future();
    };
    std::vector<std::unique_ptr<TPart>> part;
    for (int k = 0; k < parts; ++k) {
        part.push_back(std::make_unique<TPart>());
        if (k == 0) continue;
        auto other = std::make_unique<TDecoder>(sourcePath_, destPath_);
        if (!other->Supported() || other->channels_ != channels_ ||
            other->sampleRate_ != sampleRate_ || other->streamIndex_ != streamIndex_)
            return false;
        other->loading_ = loading_;
        part.back()->decoder = std::move(other);
    }

    std::atomic<bool> stop{false};
    std::vector<std::thread> helpers;
    // Whatever happens here, the helpers are stopped and joined before anything they use goes.
    struct TJoin {
        std::vector<std::thread>& threads;
        std::atomic<bool>& stop;
        ~TJoin() {
            stop = true;
            for (std::thread& t : threads)
                if (t.joinable()) t.join();
        }
    } join{helpers, stop};
    for (int k = 1; k < parts; ++k) {
        helpers.emplace_back([&, k] {
            TPart& me = *part[size_t(k)];
            try {
                TOutput mine(destPath_, true);
                TMp3Gate gate(cut[size_t(k)], cut[size_t(k) + 1], tb.num, tb.den,
                              int(sampleRate_));
                me.decoder->DecodePart(mine, gate, stop, [&](int64_t at) { me.read = at; });
                mine.Flush();
                if (gate.Reached()) me.at = gate.FramesBefore();
                me.bytes = mine.DataBytes();
                mine.Close();
            } catch (...) {
                me.failure = std::current_exception();
                stop = true;  // the others need not go on
            }
            me.finished.set_value();
        });
    }

    // Each part counts for its share of the progress, from where it starts keeping.
    const auto report = [&] {
        int64_t sum = 0;
        for (int k = 0; k < parts; ++k) {
            const int64_t from = k == 0 ? 0 : cut[size_t(k)];
            const int64_t to = k + 1 == parts ? size : cut[size_t(k) + 1];
            const int64_t read = part[size_t(k)]->read;
            if (to > from) sum += 100 * std::clamp<int64_t>(read - from, 0, to - from) / (to - from);
        }
        progress.store(int32_t(sum / parts), std::memory_order_relaxed);
    };
    {
        TMp3Gate gate(cut[0], cut[1], tb.num, tb.den, int(sampleRate_));
        DecodePart(out, gate, stop, [&](int64_t at) {
            part[0]->read = at;
            report();
        });
        part[0]->at = 0;
    }
    for (int k = 1; k < parts; ++k)
        while (part[size_t(k)]->done.wait_for(std::chrono::milliseconds(20)) !=
               std::future_status::ready)
            report();
    for (std::thread& t : helpers) t.join();
    for (const auto& p : part)
        if (p->failure) std::rethrow_exception(p->failure);
    out.Flush();
    part[0]->bytes = out.DataBytes();

    // The parts that started (a cut past the last packet starts none), and whether each ends
    // where the next begins.
    int used = 1;
    while (used < parts && part[size_t(used)]->at >= 0) ++used;
    bool meet = true;
    for (int k = 0; k + 1 < used; ++k) {
        const TPart& p = *part[size_t(k)];
        meet = meet && p.at * blockAlign_ + p.bytes == uint64_t(part[size_t(k) + 1]->at) * blockAlign_;
    }
    for (int k = used; k < parts; ++k) meet = meet && part[size_t(k)]->bytes == 0;
    if (!meet) {
        // A damaged packet gave fewer or more samples than its duration: the parts do not meet.
        // Rare enough to decode it all again on one thread.
        out.Unwatch();
        Rewriting();
        TDecoder again(sourcePath_, destPath_);
        again.AllowSplit(false);
        again.WatchLoad(loading_, onRewrite_);
        if (!again.Supported() || !again.Decode(progress))
            throw EOSError(EIO, destPath_.toStdString());
        std::swap(filter_, again.filter_);
        struct stat st {};
        if (::stat(QFile::encodeName(destPath_).constData(), &st) != 0)
            RaiseWriteError(errno, destPath_);
        out.Rewritten(uint64_t(st.st_size) - kWavHeaderBytes);
        return true;
    }
    const TPart& last = *part[size_t(used) - 1];
    const uint64_t total = uint64_t(last.at) * blockAlign_ + last.bytes;
    if (total > room_) throw EAppError(TooLongMessage(sampleRate_, channels_, room_));
    // Each part built the peaks of its own frames while it decoded; they meet as its samples do.
    for (int k = 1; k < used; ++k)
        if (!filter_->Append(*part[size_t(k)]->decoder->filter_))
            throw EOSError(EIO, destPath_.toStdString());  // the parts met: never expected
    out.Appended(total - out.DataBytes());
    return split_ = true;
}
