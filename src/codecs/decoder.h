#pragma once
// TDecoder turns any sound file FFmpeg reads (WAV of any width, MP3, WMA, FLAC, Ogg Vorbis,
// Opus, AAC/M4A, AIFF...) into our 16-bit PCM WAV layout on disk, at the source's own rate and
// channel count (1 or 2), feeding every converted block to a TFilter for the peak table.
// One decoder per load, constructed, used and destroyed on the document's worker thread.
// Opening never throws (failure shows as !Supported()); Decode raises EAppError / EOSError when
// the destination cannot be written or the sound would not fit a WAV file.

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cache.h"
#include "framejoiner.h"
#include "loadlength.h"
#include "memorysource.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
class TMp3Gate;
class TLoadingPeaks;

class TDecoder {
public:
    // Opens sourcePath and reads its format; destPath is only written by Decode.
    TDecoder(const QString& sourcePath, const QString& destPath);
    // Reads the source from memory (size bytes at data, which must outlive the decoder) instead
    // of a file; everything else is as above.
    TDecoder(const uint8_t* data, size_t size, const QString& destPath);
    ~TDecoder();
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    // True when the source was opened, its format read, and it has 1 or 2 channels.
    bool Supported() const { return supported_; }

    // What the source is, by its content: a WAV file, MP3 or WMA audio, or something else.
    enum class TSourceKind { kOther, kWav, kMp3, kWma };
    TSourceKind SourceKind() const { return sourceKind_; }

    // Writes destPath: the header, then interleaved 16-bit samples, then patches the size fields.
    // A sound whose file passes 4 GiB gets the RF64 header: from the start when the source
    // declares such a length, else the samples are moved up behind it at the end.
    // progress: 0 on entry, a percentage of the source read as it goes, 0 on return.
    // Returns false (writing nothing) only when no stream was opened. Damaged packets are skipped.
    // A sound is refused as too long only on what was decoded, never on an estimate: when it
    // would not fit the free space of the destination's disk.
    // Nothing decoded from a file that declares or carries sound raises EAppError.
    // On an exception the destination file is closed and may stay behind, partly written.
    bool Decode(std::atomic<int32_t>& progress);

    // Whether a 16-bit WAV source in our layout may be copied file to file (the default)
    // rather than demuxed; the result is the same either way. For tests and measurements.
    // scanParts: the stretches its peaks are scanned in, one thread each (0: one per hardware
    // thread, at most 8, each at least 16 MiB).
    void AllowCopy(bool allow, int scanParts = 0) {
        allowCopy_ = allow;
        scanParts_ = scanParts;
    }
    // Whether Decode copied the samples that way.
    bool Copied() const { return copied_; }
    // Whether an MP3 may be decoded in parts on threads of their own (the default, on a machine
    // with two cores or more and a file of 1 MiB or more) rather than on one thread; the result
    // is the same either way. minBytes: the smallest file split (tests split short ones).
    // parts: how many (at most 8); 0 takes ORVANE_MP3_PARTS where it is set, else one per
    // hardware thread, each part at least half a MiB of the file.
    void AllowSplit(bool allow, int64_t minBytes = 1 << 20, int parts = 0) {
        allowSplit_ = allow;
        splitMinBytes_ = minBytes;
        splitParts_ = parts;
    }
    // Whether Decode decoded it that way (not when the parts did not meet and it was decoded
    // again on one thread).
    bool Split() const { return split_; }
    // Shows the load as it goes: Decode publishes the peaks of what is in the destination file
    // to `peaks` (with the frames from 0 each thread has written), so a view can draw and play
    // it before the end. onRewrite, when set, is called on Decode's thread before the
    // destination is written again from the start or moved under another header; whoever reads
    // the file meanwhile must stop there, and `peaks` is reset after it returns.
    void WatchLoad(std::shared_ptr<TLoadingPeaks> peaks, std::function<void()> onRewrite) {
        loading_ = std::move(peaks);
        onRewrite_ = std::move(onRewrite);
    }
    // The frames the source declares or its duration suggests; 0 when it says nothing.
    int64_t ExpectedFrames() const { return int64_t(EstimatedDataBytes() / std::max<uint16_t>(blockAlign_, 1)); }
    // After Decode: empty when the sound decoded is as long as the file declares (or it declares
    // no length), else the warning for the user giving both lengths; the sound stays usable.
    const QString& LengthWarning() const { return lengthWarning_; }

    uint16_t Channels() const { return channels_; }
    uint32_t SampleRate() const { return sampleRate_; }
    uint32_t BytesPerSecond() const { return bytesPerSecond_; }
    uint16_t BlockAlign() const { return blockAlign_; }
    uint16_t BitsPerSample() const { return bitsPerSample_; }

    // The peak accumulator; owned by the decoder, valid from construction when Supported().
    TFilter* Filter() { return filter_.get(); }

    // Lower-case file name extensions (without the dot) of the formats offered for opening
    // (openformats.h).
    static QStringList Extensions();

    // The largest number of sample bytes a version file (RF64 past 4 GiB) of this block align
    // can hold.
    static uint64_t MaxDataBytes(uint16_t blockAlign);
    // The text of the error raised when a sound of this shape would not fit the `roomBytes` of
    // sample bytes the disk has free.
    static std::string TooLongMessage(uint32_t sampleRate, uint16_t channels, uint64_t roomBytes);

    // One float sample (full scale +-1.0) as 16-bit: s * 32768 rounded to nearest, ties to even,
    // limited to -32768..32767; not-a-number gives -32768.
    static int16_t FloatToS16(float s);
    // Converts all of a decoded frame (any sample format, planar or interleaved) into `channels`
    // interleaved 16-bit channels at dst (room for nb_samples * channels); output channel c takes
    // input channel min(c, inputs - 1). False, leaving dst alone, for a format we do not know.
    static bool ConvertFrame(const AVFrame* frame, uint16_t channels, int16_t* dst);

private:
    class TOutput;

    void Open();
    void Close();

    // Copies a WAV source in our layout as it is (wavcopy.h); false, having read nothing more
    // than the packet in hand, when it is not one.
    bool CopyAsIs(std::atomic<int32_t>& progress);

    // Decodes an MP3 in parts into out (mp3split.h): this decoder the first part, one more
    // decoder on a thread of its own each of the others. False, having read nothing, where it
    // is not worth it or cannot be done.
    bool DecodeInParts(TOutput& out, std::atomic<int32_t>& progress);
    // How many parts a source of `size` bytes is decoded in; 1: not split.
    int SplitParts(int64_t size) const;
    // Demuxes from the start and decodes the packets of the gate's part; onRead gets how far the
    // source has been read. Ends early once `stop` is set.
    void DecodePart(TOutput& out, TMp3Gate& gate, const std::atomic<bool>& stop,
                    const std::function<void(int64_t)>& onRead);

    // The steps of Decode, each writing to the destination being made.
    // Raises the too-long error when `samples` more would not fit a WAV file.
    void CheckRoom(const TOutput& out, size_t samples) const;
    // Counts samples already in the output buffer as written and feeds them to the filter.
    void Emit(TOutput& out, const int16_t* samples, size_t count);
    // Whole frames of raw 16-bit PCM, straight from a packet.
    void WriteRaw(TOutput& out, const uint8_t* data, size_t frames);
    // One decoded frame, converted to 16 bits.
    void WriteFrame(TOutput& out, const AVFrame* frame);
    // Every frame the decoder has ready.
    void Drain(TOutput& out);
    // The packet just read, if it belongs to our stream.
    void WritePacket(TOutput& out, TFrameJoiner& joiner);
    // After the samples are out: refuses a decode that got nothing of what the file claims, and
    // words the warning when it got less or more than declared.
    void CheckLength(int64_t frames);
    // The sample bytes the source declares or its duration suggests; 0 when unknown.
    uint64_t EstimatedDataBytes() const;
    // How far the source has been read (0..100), -1 when unknown.
    int32_t PercentRead(int64_t sourceBytes) const;

    QString sourcePath_;
    QString destPath_;
    std::unique_ptr<TMemorySource> memory_;  // the source when it is read from memory
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int streamIndex_ = -1;
    // Raw 16-bit little-endian PCM is copied from the packets without a decoder.
    bool rawS16_ = false;
    int64_t durationUs_ = 0;  // the container's duration estimate (progress only), 0: unknown
    TSourceKind sourceKind_ = TSourceKind::kOther;
    TDeclaredLength declared_;
    uint64_t streamBytes_ = 0;  // bytes of our stream's packets read
    // Sample bytes the destination's disk can take, taken when Decode starts.
    uint64_t room_ = 0;
    QString lengthWarning_;
    std::shared_ptr<TLoadingPeaks> loading_;
    std::function<void()> onRewrite_;
    // Before the destination is written again: stops its readers and forgets what was shown.
    void Rewriting();

    uint16_t channels_ = 0;
    uint32_t sampleRate_ = 0;
    uint32_t bytesPerSecond_ = 0;
    uint16_t blockAlign_ = 0;
    uint16_t bitsPerSample_ = 16;
    std::unique_ptr<TFilter> filter_;
    bool supported_ = false;
    bool allowCopy_ = true;
    bool copied_ = false;
    int64_t copiedBytes_ = 0;
    bool allowSplit_ = true;
    int64_t splitMinBytes_ = 1 << 20;
    int splitParts_ = 0;
    int scanParts_ = 0;
    bool split_ = false;
};
