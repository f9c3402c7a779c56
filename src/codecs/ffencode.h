#pragma once
// Saves 16-bit PCM as FLAC, Ogg Vorbis or Opus through FFmpeg's encoders (flac, libvorbis,
// libopus), with the tags written as Vorbis comments. Opus is always 48 kHz: other rates are
// converted on the way (resample.h).

#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>

#include "tags.h"

class TLargeFile;

enum class TEncodeFormat { kFlac, kVorbis, kOpus };

// The choices of the settings dialog (and of orvane-cli's options); only the chosen format's
// field counts.
struct TEncodeSettings {
    TEncodeFormat format = TEncodeFormat::kFlac;
    int flacLevel = 5;       // compression level 0..8
    int vorbisQuality = 5;   // -1..10
    int opusBitrate = 128;   // kbit/s, 16..256
    bool operator==(const TEncodeSettings&) const = default;
};

constexpr int kMinFlacLevel = 0, kMaxFlacLevel = 8;
constexpr int kMinVorbisQuality = -1, kMaxVorbisQuality = 10;
constexpr int kMinOpusBitrate = 16, kMaxOpusBitrate = 256;
constexpr uint32_t kOpusRate = 48000;

// The format a lower-case extension without the dot names: flac, ogg and oga, opus.
std::optional<TEncodeFormat> EncodeFormatOf(const QString& extension);

// Encodes frames [firstFrame, endFrame) of the store (16-bit, `channels` at `rate`) into `target`
// through a pending file, writes `tags` into it, and only then puts it in place. Writes progress
// (0..100) and stops at a cancel (EAbort); raises EAppError on any failure, leaving the target
// untouched.
void SaveEncoded(TLargeFile& store, int64_t firstFrame, int64_t endFrame, uint16_t channels,
                 uint32_t rate, const TEncodeSettings& settings, const QString& target,
                 const TTags& tags, std::atomic<int32_t>& progress);
