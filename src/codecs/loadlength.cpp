#include "loadlength.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "messages.h"
#include "wavlayout.h"

extern "C" {
#include <libavcodec/codec_desc.h>
#include <libavformat/avformat.h>
}

namespace {
// Priming and padding of lossy codecs whose frame size the container does not give.
constexpr int64_t kLossyToleranceFrames = 4096;
// How far into a WAV file its data chunk is looked for.
constexpr int kWavHeadBytes = 65536;

// The size field of a WAV file's first data chunk, or -1 when there is none near the start or
// it says "unknown" (0 or 0xFFFFFFFF, as recorders write while they still record). FFmpeg caps
// the size at what the file holds, which hides a file cut short; the read position is kept.
int64_t WavDataBytes(AVIOContext* pb) {
    if (pb == nullptr) return -1;
    const int64_t position = avio_tell(pb);
    if (position < 0 || avio_seek(pb, 0, SEEK_SET) != 0) return -1;
    std::vector<uint8_t> head(kWavHeadBytes);
    const int n = avio_read(pb, head.data(), kWavHeadBytes);
    avio_seek(pb, position, SEEK_SET);
    if (n < 12 || std::memcmp(head.data(), "RIFF", 4) != 0 ||
        std::memcmp(head.data() + 8, "WAVE", 4) != 0)
        return -1;
    for (int64_t at = 12; at + 8 <= n;) {
        const uint32_t size = GetLE32(head.data() + at + 4);
        if (std::memcmp(head.data() + at, "data", 4) == 0) {
            return size == 0 || size == 0xFFFFFFFFu ? -1 : int64_t(size);
        }
        at += 8 + int64_t(size) + (size & 1);
    }
    return -1;
}
}  // namespace

TDeclaredLength DeclaredLength(AVFormatContext* format, const AVStream* stream,
                               uint32_t sampleRate) {
    TDeclaredLength d;
    const AVCodecParameters* par = stream->codecpar;
    // Plain sample formats in WAV: the data chunk's own size counts, to the frame.
    const int bits = av_get_bits_per_sample(par->codec_id);
    if (std::strcmp(format->iformat->name, "wav") == 0 && bits > 0 &&
        par->ch_layout.nb_channels > 0) {
        const int64_t bytes = WavDataBytes(format->pb);
        if (bytes >= 0) {
            d.frames = bytes * 8 / (int64_t(bits) * par->ch_layout.nb_channels);
            return d;
        }
    }
    // A duration guessed from the bit rate (an MP3 without a tag frame) is no declaration.
    if (format->duration_estimation_method != AVFMT_DURATION_FROM_STREAM) return d;
    if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0) return d;
    if (stream->time_base.num <= 0 || stream->time_base.den <= 0 || sampleRate == 0) return d;
    d.frames =
        av_rescale_q(stream->duration, stream->time_base,
                     AVRational{1, static_cast<int>(std::min<uint32_t>(sampleRate, INT32_MAX))});
    const AVCodecDescriptor* codec = avcodec_descriptor_get(par->codec_id);
    const bool lossless = codec != nullptr && (codec->props & AV_CODEC_PROP_LOSSLESS) != 0;
    if (!lossless) {
        d.tolerance = std::max<int64_t>(kLossyToleranceFrames, 2 * int64_t(par->frame_size));
    }
    return d;
}

QString LengthText(int64_t frames, uint32_t sampleRate, int decimals) {
    decimals = std::clamp(decimals, 0, 6);
    int64_t unit = 1;
    for (int i = 0; i < decimals; ++i) unit *= 10;
    // A damaged header can declare any count: keep the product in range.
    frames = std::clamp<int64_t>(frames, 0, INT64_MAX / 1000000);
    const int64_t ticks = sampleRate == 0 ? 0 : frames * unit / sampleRate;
    const int64_t seconds = ticks / unit;
    QString rest = QString("%1").arg(seconds % 60, 2, 10, QChar('0'));
    if (decimals > 0) rest += QString(".%1").arg(ticks % unit, decimals, 10, QChar('0'));
    if (seconds >= 3600) {
        return QString("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QChar('0'))
            .arg(rest);
    }
    return QString("%1:%2").arg(seconds / 60).arg(rest);
}

QString LengthWarning(const TDeclaredLength& declared, int64_t decoded, uint32_t sampleRate) {
    if (declared.frames < 0) return {};
    const int64_t diff = decoded - declared.frames;
    if (diff >= -declared.tolerance && diff <= declared.tolerance) return {};
    QString a = LengthText(declared.frames, sampleRate);
    QString b = LengthText(decoded, sampleRate);
    // A few frames apart: enough digits to tell them apart.
    if (a == b) {
        a = LengthText(declared.frames, sampleRate, 6);
        b = LengthText(decoded, sampleRate, 6);
    }
    const QString text = QString::fromStdString(Msg(diff < 0 ? "loadshort" : "loadlong"));
    return text.arg(a, b);
}
