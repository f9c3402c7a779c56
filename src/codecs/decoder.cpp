#include "decoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "apperror.h"
#include "decoderoutput.h"
#include "fileio.h"
#include "largefile.h"
#include "loadingpeaks.h"
#include "messages.h"
#include "mp3split.h"
#include "openformats.h"
#include "settings.h"
#include "wavcopy.h"
#include "wavlayout.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

using decoder_detail::kMaxRetries;
using decoder_detail::kOutputBufferSamples;

namespace {

// Raw packets at least this large skip the output buffer.
constexpr size_t kDirectWriteBytes = 64 * 1024;
// Packet size asked of the WAV demuxer; its default of 4 KiB costs a call per 1,024 frames.
constexpr const char* kWavPacketBytes = "131072";
// How much of a WAV file's 16-bit samples is probed for another codec in disguise: what FFmpeg
// looks at with its own packet size (32 packets of 4 KiB). Left at the general limit (5 MB), the
// larger packets would have every probe run over megabytes, several times per open.
constexpr int64_t kWavSampleProbeBytes = 131072;
// FFmpeg's AV_TIME_BASE_Q is a C compound literal, which C++ compilers may reject.
constexpr AVRational kMicroseconds{1, AV_TIME_BASE};

void SilenceLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

inline int16_t FloatSample(float s) {
    float x = s * 32768.0f;
    x = x > -32768.0f ? x : -32768.0f;  // also maps not-a-number to the bottom
    x = x < 32767.0f ? x : 32767.0f;
    // Adding 1.5 * 2^23 leaves no fraction bits, so the sum rounds to nearest with ties to even
    // (the default rounding mode); unlike nearbyintf this needs no library call per sample.
    constexpr float kRound = 12582912.0f;
    return static_cast<int16_t>(static_cast<int32_t>((x + kRound) - kRound));
}

inline int16_t DoubleToS16(double s) {
    double x = s * 32768.0;
    x = x > -32768.0 ? x : -32768.0;  // also maps not-a-number to the bottom
    x = x < 32767.0 ? x : 32767.0;
    return static_cast<int16_t>(std::nearbyint(x));
}

template <typename T>
inline int16_t ToS16(T v);
template <>
inline int16_t ToS16(uint8_t v) {
    return static_cast<int16_t>((int32_t(v) - 128) * 256);
}
template <>
inline int16_t ToS16(int16_t v) {
    return v;
}
template <>
inline int16_t ToS16(int32_t v) {
    // v / 65536 rounded to nearest, ties to even, in integers (a float has too few digits).
    const int64_t r = (int64_t(v) + 0x7FFF + ((v >> 16) & 1)) >> 16;
    return static_cast<int16_t>(std::min<int64_t>(r, 32767));
}
template <>
inline int16_t ToS16(int64_t v) {
    return DoubleToS16(double(v) * 0x1p-63);
}
// float has its own ConvertPacked / ConvertPlanar below.
template <>
inline int16_t ToS16(double v) {
    return DoubleToS16(v);
}

// Interleaved source: sample i of channel c at i * inCh + c. Output channel c takes input
// channel min(c, inCh - 1), so a frame whose channel count differs from the stream's (a
// mono/stereo switch inside an MP3, say) still gives whole output frames.
template <typename T>
void ConvertPacked(const uint8_t* data, int inCh, int outCh, size_t first, size_t count,
                   int16_t* dst) {
    const T* src = reinterpret_cast<const T*>(data) + first * inCh;
    if (inCh == outCh) {
        const size_t n = count * outCh;
        for (size_t i = 0; i < n; ++i) dst[i] = ToS16<T>(src[i]);
        return;
    }
    for (size_t i = 0; i < count; ++i)
        for (int c = 0; c < outCh; ++c)
            dst[i * outCh + c] = ToS16<T>(src[i * inCh + std::min(c, inCh - 1)]);
}

template <typename T>
void ConvertPlanar(uint8_t* const* planes, int inCh, int outCh, size_t first, size_t count,
                   int16_t* dst) {
    for (int c = 0; c < outCh; ++c) {
        const T* src = reinterpret_cast<const T*>(planes[std::min(c, inCh - 1)]) + first;
        for (size_t i = 0; i < count; ++i) dst[i * outCh + c] = ToS16<T>(src[i]);
    }
}

#ifdef __SSE2__
// Eight float samples to 16 bits, as FloatSample does: the same clamp (maxps returns its second
// operand for not-a-number), and cvtps2dq rounds to nearest even like the scalar path.
inline __m128i FloatsToS16x8(const float* src) {
    const __m128 scale = _mm_set1_ps(32768.0f);
    const __m128 lo = _mm_set1_ps(-32768.0f);
    const __m128 hi = _mm_set1_ps(32767.0f);
    __m128 a = _mm_mul_ps(_mm_loadu_ps(src), scale);
    __m128 b = _mm_mul_ps(_mm_loadu_ps(src + 4), scale);
    a = _mm_min_ps(_mm_max_ps(a, lo), hi);
    b = _mm_min_ps(_mm_max_ps(b, lo), hi);
    return _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
}
#endif

// Float sources (most lossy decoders) are the hot path: eight samples per step where the CPU
// has SSE2, the scalar conversion for the rest.
template <>
void ConvertPacked<float>(const uint8_t* data, int inCh, int outCh, size_t first, size_t count,
                          int16_t* dst) {
    const float* src = reinterpret_cast<const float*>(data) + first * inCh;
    if (inCh != outCh) {
        for (size_t i = 0; i < count; ++i)
            for (int c = 0; c < outCh; ++c)
                dst[i * outCh + c] = FloatSample(src[i * inCh + std::min(c, inCh - 1)]);
        return;
    }
    const size_t n = count * outCh;
    size_t i = 0;
#ifdef __SSE2__
    for (; i + 8 <= n; i += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), FloatsToS16x8(src + i));
#endif
    for (; i < n; ++i) dst[i] = FloatSample(src[i]);
}

template <>
void ConvertPlanar<float>(uint8_t* const* planes, int inCh, int outCh, size_t first, size_t count,
                          int16_t* dst) {
    const float* left = reinterpret_cast<const float*>(planes[0]) + first;
    const float* right = reinterpret_cast<const float*>(planes[std::min(1, inCh - 1)]) + first;
    size_t i = 0;
    if (outCh == 1) {
#ifdef __SSE2__
        for (; i + 8 <= count; i += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), FloatsToS16x8(left + i));
#endif
        for (; i < count; ++i) dst[i] = FloatSample(left[i]);
        return;
    }
#ifdef __SSE2__
    for (; i + 8 <= count; i += 8) {
        const __m128i l = FloatsToS16x8(left + i);
        const __m128i r = FloatsToS16x8(right + i);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i), _mm_unpacklo_epi16(l, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i + 8), _mm_unpackhi_epi16(l, r));
    }
#endif
    for (; i < count; ++i) {
        dst[2 * i] = FloatSample(left[i]);
        dst[2 * i + 1] = FloatSample(right[i]);
    }
}

// Converts frames first..first+count-1 of a decoded frame; false for a format we do not know.
bool ConvertSamples(const AVFrame* f, int outCh, size_t first, size_t count, int16_t* dst) {
    const int inCh = f->ch_layout.nb_channels;
    uint8_t* const* planes = f->extended_data;
    switch (f->format) {
        case AV_SAMPLE_FMT_U8:
            ConvertPacked<uint8_t>(planes[0], inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_S16:
            ConvertPacked<int16_t>(planes[0], inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_S32:
            ConvertPacked<int32_t>(planes[0], inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_S64:
            ConvertPacked<int64_t>(planes[0], inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_FLT:
            ConvertPacked<float>(planes[0], inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_DBL:
            ConvertPacked<double>(planes[0], inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_U8P:
            ConvertPlanar<uint8_t>(planes, inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_S16P:
            ConvertPlanar<int16_t>(planes, inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_S32P:
            ConvertPlanar<int32_t>(planes, inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_S64P:
            ConvertPlanar<int64_t>(planes, inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_FLTP:
            ConvertPlanar<float>(planes, inCh, outCh, first, count, dst);
            break;
        case AV_SAMPLE_FMT_DBLP:
            ConvertPlanar<double>(planes, inCh, outCh, first, count, dst);
            break;
        default:
            return false;
    }
    return true;
}

// What the file was, by what was found in it rather than by its name.
TDecoder::TSourceKind KindOf(const char* container, AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_MP3:
            return TDecoder::TSourceKind::kMp3;
        case AV_CODEC_ID_WMAV1:
        case AV_CODEC_ID_WMAV2:
        case AV_CODEC_ID_WMAPRO:
        case AV_CODEC_ID_WMALOSSLESS:
        case AV_CODEC_ID_WMAVOICE:
            return TDecoder::TSourceKind::kWma;
        default:
            break;
    }
    return container && std::strcmp(container, "wav") == 0 ? TDecoder::TSourceKind::kWav
                                                           : TDecoder::TSourceKind::kOther;
}

}  // namespace

int16_t TDecoder::FloatToS16(float s) {
    return FloatSample(s);
}

bool TDecoder::ConvertFrame(const AVFrame* frame, uint16_t channels, int16_t* dst) {
    if (frame->ch_layout.nb_channels < 1 || frame->nb_samples < 0 || channels < 1) return false;
    return ConvertSamples(frame, channels, 0, size_t(frame->nb_samples), dst);
}

uint64_t TDecoder::MaxDataBytes(uint16_t blockAlign) {
    const uint64_t room = TLargeFile::kMaxFileBytes - kRf64HeaderBytes;
    return blockAlign == 0 ? room : room / blockAlign * blockAlign;
}

std::string TDecoder::TooLongMessage(uint32_t sampleRate, uint16_t channels, uint64_t roomBytes) {
    const uint16_t align = static_cast<uint16_t>(channels * 2);
    const uint64_t byteRate = uint64_t(sampleRate) * align;
    const uint64_t minutes = byteRate == 0 ? 0 : roomBytes / byteRate / 60;
    const char* shape = channels == 1 ? "mono" : channels == 2 ? "stereo" : "multichannel";
    char text[240];
    std::snprintf(text, sizeof text,
                  "This sound is too long for the disk: at %u Hz %s the free space of the "
                  "temporary folder holds at most %llu:%02llu (hours:minutes) of 16-bit sound.",
                  sampleRate, shape, static_cast<unsigned long long>(minutes / 60),
                  static_cast<unsigned long long>(minutes % 60));
    return text;
}

QStringList TDecoder::Extensions() {
    return OpenExtensions();
}

TDecoder::TDecoder(const QString& sourcePath, const QString& destPath)
    : sourcePath_(sourcePath), destPath_(destPath) {
    SilenceLibraryLog();
    try {
        Open();
    } catch (...) {
        // Only allocation can throw here; the contract is a flag, never an exception.
        Close();
        supported_ = false;
    }
}

TDecoder::TDecoder(const uint8_t* data, size_t size, const QString& destPath)
    : destPath_(destPath) {
    SilenceLibraryLog();
    try {
        memory_ = std::make_unique<TMemorySource>(data, size);
        Open();
    } catch (...) {
        Close();
        supported_ = false;
    }
}

TDecoder::~TDecoder() {
    Close();
}

void TDecoder::Close() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

void TDecoder::Open() {
    // No limit but the format's until Decode looks at the disk (a decoder of the second half of
    // a split MP3 never does: the first one's test covers both).
    room_ = MaxDataBytes(0);
    // Only regular files: a FIFO or a device would block the worker forever waiting for data.
    struct stat st {};
    if (memory_ == nullptr &&
        (stat(QFile::encodeName(sourcePath_).constData(), &st) != 0 || !S_ISREG(st.st_mode)))
        return;
    if (memory_ != nullptr) {
        if (memory_->Context() == nullptr || (format_ = avformat_alloc_context()) == nullptr)
            return;
        format_->pb = memory_->Context();
        format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    AVDictionary* options = nullptr;
    // Only local files, also for playlists and the like that name other inputs.
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "max_size", kWavPacketBytes, 0);
    // "file:" keeps a colon in the name from being taken for a protocol.
    const QByteArray url = memory_ ? QByteArray() : "file:" + QFile::encodeName(sourcePath_);
    const int opened = avformat_open_input(&format_, url.constData(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        format_ = nullptr;
        return;
    }
    if (std::strcmp(format_->iformat->name, "wav") == 0 && format_->nb_streams > 0 &&
        format_->streams[0]->codecpar->codec_id == AV_CODEC_ID_PCM_S16LE) {
        format_->probesize = kWavSampleProbeBytes;
    }
    if (avformat_find_stream_info(format_, nullptr) < 0) return;

    const AVCodec* decoder = nullptr;
    streamIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex_ < 0 || decoder == nullptr) return;
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (int(i) != streamIndex_) format_->streams[i]->discard = AVDISCARD_ALL;
    AVStream* stream = format_->streams[streamIndex_];
    const AVCodecParameters* par = stream->codecpar;

    rawS16_ = par->codec_id == AV_CODEC_ID_PCM_S16LE;
    sourceKind_ = KindOf(format_->iformat->name, par->codec_id);
    codec_ = avcodec_alloc_context3(decoder);
    if (codec_ == nullptr || avcodec_parameters_to_context(codec_, par) < 0) return;
    if (avcodec_open2(codec_, decoder, nullptr) < 0) return;

    const int channels = codec_->ch_layout.nb_channels > 0 ? codec_->ch_layout.nb_channels
                                                           : par->ch_layout.nb_channels;
    const int rate = codec_->sample_rate > 0 ? codec_->sample_rate : par->sample_rate;
    if (channels < 1 || rate < 1) return;
    channels_ = static_cast<uint16_t>(std::min(channels, 0xFFFF));
    bitsPerSample_ = 16;
    blockAlign_ = static_cast<uint16_t>(channels_ * bitsPerSample_ / 8);
    sampleRate_ = static_cast<uint32_t>(rate);
    const uint64_t byteRate = uint64_t(sampleRate_) * blockAlign_;
    bytesPerSecond_ = static_cast<uint32_t>(byteRate);

    if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
        durationUs_ = format_->duration;
    } else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        durationUs_ = av_rescale_q(stream->duration, stream->time_base, kMicroseconds);
    }

    declared_ = DeclaredLength(format_, stream, sampleRate_);

    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (packet_ == nullptr || frame_ == nullptr) return;
    filter_ = std::make_unique<TFilter>(channels_);
    // The byte rate must fit its 32-bit header field.
    supported_ = channels_ <= 2 && byteRate <= 0xFFFFFFFFull;
}

void TDecoder::CheckRoom(const TOutput& out, size_t samples) const {
    // Only what is actually decoded counts: a container's duration estimate can be far off
    // (a variable-bitrate MP3 without a tag frame, timed by its first frame).
    if (out.DataBytes() + 2 * samples > room_) {
        throw EAppError(TooLongMessage(sampleRate_, channels_, room_));
    }
}

void TDecoder::Emit(TOutput& out, const int16_t* samples, size_t count) {
    out.Commit(count);
    filter_->Feed(samples, count * 2);
}

void TDecoder::WriteRaw(TOutput& out, const uint8_t* data, size_t frames) {
    const size_t outCh = channels_;
    // Large runs of aligned samples go straight from the packet to the file.
    if (frames * blockAlign_ >= kDirectWriteBytes && reinterpret_cast<uintptr_t>(data) % 2 == 0) {
        const size_t n = frames * outCh;
        CheckRoom(out, n);
        out.WriteSamples(reinterpret_cast<const int16_t*>(data), n);
        filter_->Feed(reinterpret_cast<const int16_t*>(data), 2 * n);
        return;
    }
    const size_t chunkFrames = kOutputBufferSamples / outCh;
    while (frames > 0) {
        const size_t n = std::min(frames, chunkFrames);
        CheckRoom(out, n * outCh);
        int16_t* dst = out.Reserve(n * outCh);
        std::memcpy(dst, data, n * blockAlign_);
        Emit(out, dst, n * outCh);
        data += n * blockAlign_;
        frames -= n;
    }
}

void TDecoder::WriteFrame(TOutput& out, const AVFrame* f) {
    if (f->ch_layout.nb_channels < 1 || f->nb_samples < 1) return;
    const size_t outCh = channels_;
    const size_t chunkFrames = kOutputBufferSamples / outCh;
    const size_t frames = static_cast<size_t>(f->nb_samples);
    for (size_t first = 0; first < frames;) {
        const size_t n = std::min(frames - first, chunkFrames);
        CheckRoom(out, n * outCh);
        int16_t* dst = out.Reserve(n * outCh);
        if (!ConvertSamples(f, int(outCh), first, n, dst)) return;
        Emit(out, dst, n * outCh);
        first += n;
    }
}

void TDecoder::Drain(TOutput& out) {
    // Errors here are damaged frames: what was decoded so far stays, decoding goes on.
    while (avcodec_receive_frame(codec_, frame_) >= 0) {
        WriteFrame(out, frame_);
        av_frame_unref(frame_);
    }
}

void TDecoder::WritePacket(TOutput& out, TFrameJoiner& joiner) {
    if (packet_->stream_index != streamIndex_) return;
    streamBytes_ += static_cast<uint64_t>(std::max(packet_->size, 0));
    if (rawS16_) {
        joiner.Push(packet_->data, static_cast<size_t>(packet_->size),
                    [&](const uint8_t* data, size_t frames) { WriteRaw(out, data, frames); });
    } else if (avcodec_send_packet(codec_, packet_) >= 0) {
        Drain(out);
    }  // else a damaged packet, skipped
}

int32_t TDecoder::PercentRead(int64_t sourceBytes) const {
    if (sourceBytes > 0) {
        return int32_t(std::min<int64_t>(avio_tell(format_->pb) * 100 / sourceBytes, 100));
    }
    if (durationUs_ > 0 && packet_->pts != AV_NOPTS_VALUE) {
        const AVStream* stream = format_->streams[streamIndex_];
        const int64_t us = av_rescale_q(packet_->pts, stream->time_base, kMicroseconds);
        return int32_t(std::clamp<int64_t>(us * 100 / durationUs_, 0, 100));
    }
    return -1;
}

bool TDecoder::CopyAsIs(std::atomic<int32_t>& progress) {
    const int fd = ::open(QFile::encodeName(sourcePath_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    const std::optional<TWavSpan> span = FindWavSpan(fd, format_, packet_, blockAlign_);
    // Nothing whole to copy: the demuxer's way tells an empty chunk from a damaged one.
    if (!span || span->bytes == 0) return false;
    // No test of the free space here: where the file system shares blocks the copy takes none,
    // and elsewhere a full disk fails the copy itself.
    av_packet_unref(packet_);
    copiedBytes_ = CopyWavSpan(fd, *span, destPath_, channels_, sampleRate_, *filter_, progress,
                               loading_.get(), scanParts_);
    progress = 0;
    return true;
}

bool TDecoder::Decode(std::atomic<int32_t>& progress) {
    progress = 0;
    if (!supported_) return false;
    {
        // The free space counts once, before anything is written; a disk that cannot tell sets
        // no limit but the format's, and a full disk is then an error of the write.
        const int64_t freeBytes = FreeDiskSpace(QFileInfo(destPath_).absolutePath());
        const uint64_t head = kRf64HeaderBytes;
        room_ = MaxDataBytes(blockAlign_);
        if (freeBytes >= 0)
            room_ = std::min(room_, uint64_t(std::max<int64_t>(freeBytes - int64_t(head), 0)) /
                                        blockAlign_ * blockAlign_);
    }
    // A WAV already in our layout is copied file to file; its first packet shows where from.
    std::optional<int> early;
    if (allowCopy_ && rawS16_ && sourceKind_ == TSourceKind::kWav) {
        early = av_read_frame(format_, packet_);
        if (*early >= 0 && CopyAsIs(progress)) {
            CheckLength(copiedBytes_ / blockAlign_);
            return copied_ = true;
        }
    }

    TOutput out(destPath_);
    // The RF64 header from the start when the source says it will need it. The two-thread MP3
    // path writes behind a 44-byte header; a sound whose length needs the other form is moved
    // at the end.
    const bool halves = sourceKind_ == TSourceKind::kMp3 && allowSplit_;
    TWavHeader header = TWavHeader::Pcm16(channels_, sampleRate_,
                                          halves ? 0 : EstimatedDataBytes());
    header.riffSize = 0;  // patched at the end; a file left half written shows as empty
    header.dataSize = 0;
    const TWavHeaderBytes headerBytes = header.Bytes();
    out.WriteAll(headerBytes.data(), headerBytes.size());
    out.Watch(loading_.get(), 0, channels_);

    // Raw PCM: whole frames go out as they are; a frame split between packets is joined.
    TFrameJoiner joiner(blockAlign_);
    const int64_t sourceBytes = format_->pb != nullptr ? avio_size(format_->pb) : -1;
    if (early || !DecodeInParts(out, progress)) {
        int retries = 0;
        for (;;) {
            const int r =
                early ? *std::exchange(early, std::nullopt) : av_read_frame(format_, packet_);
            if (r == AVERROR(EAGAIN) && ++retries < kMaxRetries) continue;
            // The end, or a file cut short or damaged past recovery: keep what was read.
            if (r < 0) break;
            retries = 0;
            WritePacket(out, joiner);
            const int32_t percent = PercentRead(sourceBytes);
            av_packet_unref(packet_);
            if (percent >= 0) progress.store(percent, std::memory_order_relaxed);
        }
        if (!rawS16_ && avcodec_send_packet(codec_, nullptr) >= 0) Drain(out);
    }

    out.Flush();
    const uint64_t dataBytes = out.DataBytes();
    // A sound whose length was not what the source declared may need the other form: below
    // 4 GiB every version keeps the 44-byte header.
    if (header.rf64 != NeedsRf64(dataBytes)) {
        out.Unwatch();
        out.Close();
        Rewriting();
        const uint32_t from = header.HeaderBytes();
        header.SetDataBytes(dataBytes);
        MoveUnderHeader(destPath_, from, header);
    } else {
        header.SetSizes(dataBytes);
        const TWavHeaderBytes sized = header.Bytes();
        out.PatchBytes(0, sized.data(), sized.size());
        out.Close();
    }
    progress = 0;
    CheckLength(int64_t(dataBytes / blockAlign_));
    return true;
}

void TDecoder::Rewriting() {
    if (onRewrite_) onRewrite_();
    if (loading_) loading_->Reset();
}

uint64_t TDecoder::EstimatedDataBytes() const {
    int64_t frames = declared_.frames;
    if (frames < 0 && durationUs_ > 0) frames = durationUs_ / 1000000 * int64_t(sampleRate_);
    // Only a hint, and a header may claim anything: no codec packs more than this many frames
    // into a byte, even of silence, so a small file claiming hours reserves nothing for them.
    constexpr int64_t kMostFramesPerByte = 1024;
    const int64_t sourceBytes = format_ != nullptr && format_->pb != nullptr ? avio_size(format_->pb) : -1;
    if (sourceBytes > 0) frames = std::min(frames, sourceBytes * kMostFramesPerByte);
    return frames > 0 ? uint64_t(frames) * blockAlign_ : 0;
}


void TDecoder::CheckLength(int64_t frames) {
    // Damage that left nothing decodable must not pass for an empty sound.
    if (frames == 0 && (declared_.frames > 0 || streamBytes_ > 0)) {
        throw EAppError(Msg("loadnothing"));
    }
    lengthWarning_ = ::LengthWarning(declared_, frames, sampleRate_);
}
