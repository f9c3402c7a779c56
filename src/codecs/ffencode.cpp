#include "ffencode.h"

#include <QFile>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "apperror.h"
#include "fileio.h"
#include "largefile.h"
#include "pendingfile.h"
#include "resample.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

namespace {

// Frames read from the store at a time: large enough for few reads, small enough for the
// progress bar and a cancel to be seen often.
constexpr int kReadFrames = 32768;

[[noreturn]] void Fail(const std::string& what, int code = 0) {
    std::string text = "The file could not be encoded: " + what;
    if (code < 0) {
        char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, buffer, sizeof buffer);
        text += " (" + std::string(buffer) + ")";
    }
    throw EAppError(text);
}

void Check(int code, const char* what) {
    if (code < 0) Fail(what, code);
}

struct TFormatFree {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct TCodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct TPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TFifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

struct TFormatInfo {
    const char* encoder;
    const char* muxer;
    const char* extension;  // for the tags
};

TFormatInfo InfoOf(TEncodeFormat format) {
    switch (format) {
        case TEncodeFormat::kVorbis:
            return {"libvorbis", "ogg", "ogg"};
        case TEncodeFormat::kOpus:
            return {"libopus", "ogg", "opus"};
        case TEncodeFormat::kFlac:
        default:
            return {"flac", "flac", "flac"};
    }
}

// The first of the encoder's sample formats that we prefer: 16-bit as it is, else float.
AVSampleFormat ChooseFormat(const AVCodec* codec) {
    const AVSampleFormat* f = codec->sample_fmts;
    if (!f) return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat wanted : {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT}) {
        for (const AVSampleFormat* p = f; *p != AV_SAMPLE_FMT_NONE; ++p)
            if (*p == wanted) return wanted;
    }
    return f[0];
}

class TEncoder {
public:
    TEncoder(const QString& path, uint16_t channels, uint32_t rate, const TEncodeSettings& s) {
        const TFormatInfo info = InfoOf(s.format);
        const AVCodec* codec = avcodec_find_encoder_by_name(info.encoder);
        if (!codec) Fail(std::string("no ") + info.encoder + " encoder");
        const QByteArray name = QFile::encodeName(path);
        AVFormatContext* oc = nullptr;
        Check(avformat_alloc_output_context2(&oc, nullptr, info.muxer, name.constData()),
              "the container");
        format_.reset(oc);
        // No encoder name or version in the file: the same sound saves to the same bytes.
        oc->flags |= AVFMT_FLAG_BITEXACT;
        AVStream* stream = avformat_new_stream(oc, nullptr);
        if (!stream) Fail("the stream");
        stream_ = stream;

        codec_.reset(avcodec_alloc_context3(codec));
        if (!codec_) Fail("the encoder");
        AVCodecContext* c = codec_.get();
        encodeRate_ = s.format == TEncodeFormat::kOpus ? kOpusRate : rate;
        c->sample_rate = int(encodeRate_);
        av_channel_layout_default(&c->ch_layout, channels);
        c->sample_fmt = ChooseFormat(codec);
        c->time_base = AVRational{1, int(encodeRate_)};
        c->flags |= AV_CODEC_FLAG_BITEXACT;
        switch (s.format) {
            case TEncodeFormat::kFlac:
                c->compression_level = std::clamp(s.flacLevel, kMinFlacLevel, kMaxFlacLevel);
                c->bits_per_raw_sample = 16;
                break;
            case TEncodeFormat::kVorbis:
                c->flags |= AV_CODEC_FLAG_QSCALE;
                c->global_quality =
                    std::clamp(s.vorbisQuality, kMinVorbisQuality, kMaxVorbisQuality) *
                    FF_QP2LAMBDA;
                break;
            case TEncodeFormat::kOpus:
                c->bit_rate =
                    int64_t(std::clamp(s.opusBitrate, kMinOpusBitrate, kMaxOpusBitrate)) * 1000;
                break;
        }
        if (oc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        Check(avcodec_open2(c, codec, nullptr), "the encoder's settings");
        Check(avcodec_parameters_from_context(stream->codecpar, c), "the stream's parameters");
        stream->time_base = c->time_base;
        Check(avio_open(&oc->pb, name.constData(), AVIO_FLAG_WRITE), "the file");
        Check(avformat_write_header(oc, nullptr), "the header");

        frameSize_ = c->frame_size > 0 ? c->frame_size : 4096;
        pagePerPacketAtEnd_ = s.format == TEncodeFormat::kVorbis;
        fifo_.reset(av_audio_fifo_alloc(c->sample_fmt, channels, frameSize_ * 2));
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!fifo_ || !frame_ || !packet_) Fail("out of memory");
        if (c->sample_fmt != AV_SAMPLE_FMT_S16 || encodeRate_ != rate) {
            resampler_ = std::make_unique<TResampler>(channels, rate, encodeRate_, c->sample_fmt);
        }
        channels_ = channels;
    }

    uint32_t EncodeRate() const { return encodeRate_; }

    // Takes `frames` frames of 16-bit interleaved input; nullptr to drain the rate converter.
    // No more than `limit` frames in all reach the encoder.
    void Feed(const int16_t* in, int frames, int64_t limit) {
        if (!resampler_) {
            Queue(reinterpret_cast<const uint8_t* const*>(&in), frames, limit);
        } else {
            const int capacity = resampler_->Capacity(frames) + 16;
            const int planes = av_sample_fmt_is_planar(codec_->sample_fmt) ? channels_ : 1;
            const int bytes = av_get_bytes_per_sample(codec_->sample_fmt) *
                              (planes == 1 ? channels_ : 1) * capacity;
            converted_.resize(size_t(bytes) * planes);
            std::vector<uint8_t*> pointers(static_cast<size_t>(planes));
            for (int p = 0; p < planes; ++p) pointers[size_t(p)] = converted_.data() + p * bytes;
            const int n = resampler_->Convert(in, frames, pointers.data(), capacity);
            Queue(pointers.data(), n, limit);
            drained_ = in == nullptr && n == 0;
        }
        while (av_audio_fifo_size(fifo_.get()) >= frameSize_) Send(frameSize_);
    }
    bool Drained() const { return !resampler_ || drained_; }
    int64_t Queued() const { return queued_; }

    // Pads with silence up to `frames` frames in all (a converter that gave a little less than
    // the length in time), sends the rest and closes the file.
    void Finish(int64_t frames) {
        if (queued_ < frames) {
            const int64_t missing = frames - queued_;
            Check(av_audio_fifo_realloc(fifo_.get(),
                                        int(av_audio_fifo_size(fifo_.get()) + missing)),
                  "out of memory");
            std::vector<uint8_t> zero(size_t(missing) * channels_ *
                                      av_get_bytes_per_sample(codec_->sample_fmt));
            std::vector<void*> planes(channels_, zero.data());
            av_audio_fifo_write(fifo_.get(), planes.data(), int(missing));
            queued_ = frames;
        }
        // FFmpeg's own Ogg reader trims too much from a Vorbis stream whose last page holds
        // several packets (sox and libvorbisfile read it right): the last packets go on pages of
        // their own, so every reader gets the length the granule positions give.
        // (Each is written after a flush of the page before it, and the last page is the
        // trailer's, which marks the stream's end.)
        ending_ = pagePerPacketAtEnd_;
        while (av_audio_fifo_size(fifo_.get()) > 0)
            Send(std::min(frameSize_, av_audio_fifo_size(fifo_.get())));
        Check(avcodec_send_frame(codec_.get(), nullptr), "the last frames");
        Drain();
        Check(av_write_trailer(format_.get()), "the end of the file");
        Check(avio_closep(&format_->pb), "the file");
    }

private:
    void Queue(const uint8_t* const* data, int frames, int64_t limit) {
        const int n = int(std::min<int64_t>(frames, limit - queued_));
        if (n <= 0) return;
        // Older FFmpeg takes the planes as non-const.
        if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(const_cast<uint8_t**>(data)),
                                n) < n)
            Fail("out of memory");
        queued_ += n;
    }

    void Send(int frames) {
        AVFrame* f = frame_.get();
        av_frame_unref(f);
        f->nb_samples = frames;
        f->format = codec_->sample_fmt;
        f->sample_rate = codec_->sample_rate;
        Check(av_channel_layout_copy(&f->ch_layout, &codec_->ch_layout), "the frame");
        Check(av_frame_get_buffer(f, 0), "the frame");
        if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(f->data), frames) < frames)
            Fail("the queue");
        f->pts = sent_;
        sent_ += frames;
        Check(avcodec_send_frame(codec_.get(), f), "a frame");
        Drain();
    }

    void Drain() {
        for (;;) {
            const int r = avcodec_receive_packet(codec_.get(), packet_.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            Check(r, "a packet");
            av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if (ending_) Check(av_write_frame(format_.get(), nullptr), "the file");
            Check(av_interleaved_write_frame(format_.get(), packet_.get()), "the file");
        }
    }

    std::unique_ptr<AVFormatContext, TFormatFree> format_;
    std::unique_ptr<AVCodecContext, TCodecFree> codec_;
    std::unique_ptr<AVAudioFifo, TFifoFree> fifo_;
    std::unique_ptr<AVFrame, TFrameFree> frame_;
    std::unique_ptr<AVPacket, TPacketFree> packet_;
    std::unique_ptr<TResampler> resampler_;
    std::vector<uint8_t> converted_;
    AVStream* stream_ = nullptr;
    uint32_t encodeRate_ = 0;
    uint16_t channels_ = 0;
    int frameSize_ = 0;
    int64_t sent_ = 0, queued_ = 0;
    bool drained_ = false;
    bool pagePerPacketAtEnd_ = false, ending_ = false;
};

}  // namespace

std::optional<TEncodeFormat> EncodeFormatOf(const QString& extension) {
    if (extension == QLatin1String("flac")) return TEncodeFormat::kFlac;
    if (extension == QLatin1String("ogg") || extension == QLatin1String("oga"))
        return TEncodeFormat::kVorbis;
    if (extension == QLatin1String("opus")) return TEncodeFormat::kOpus;
    return std::nullopt;
}

void SaveEncoded(TLargeFile& store, int64_t firstFrame, int64_t endFrame, uint16_t channels,
                 uint32_t rate, const TEncodeSettings& settings, const QString& target,
                 const TTags& tags, std::atomic<int32_t>& progress) {
    if (channels == 0 || channels > 2) Fail("only mono and stereo sounds can be saved so");
    const int64_t frames = int64_t(endFrame) - firstFrame;
    if (frames < 0 || firstFrame < 0 || endFrame * channels > store.SampleCount())
        Fail("the range lies outside the sound");
    // An Ogg stream without one audio page is one that readers refuse: nothing is written.
    if (frames == 0 && settings.format != TEncodeFormat::kFlac)
        Fail("an empty sound cannot be saved as Ogg Vorbis or Opus");
    progress = 0;
    TPendingFile pending(target);
    {
        TEncoder encoder(pending.Path(), channels, rate, settings);
        const int64_t length = encoder.EncodeRate() == rate
                                   ? frames
                                   : ResampledLength(frames, rate, encoder.EncodeRate());
        std::vector<int16_t> buffer(size_t(kReadFrames) * channels);
        for (int64_t done = 0; done < frames; done += kReadFrames) {
            progress = int32_t(done * 100 / frames);
            ThrowIfCancelled();
            const int count = int(std::min<int64_t>(kReadFrames, frames - done));
            const int64_t first = (firstFrame + done) * channels;
            store.ReadSamples(buffer.data(), first, first + int64_t(count) * channels - 1);
            encoder.Feed(buffer.data(), count, length);
        }
        while (!encoder.Drained() && encoder.Queued() < length) encoder.Feed(nullptr, 0, length);
        ThrowIfCancelled();
        encoder.Finish(length);
    }
    WriteXiphTagsOrThrow(pending.Path(), InfoOf(settings.format).extension, tags);
    ThrowIfCancelled();
    pending.Commit();
    progress = 0;
}
