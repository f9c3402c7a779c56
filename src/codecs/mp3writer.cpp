#include "mp3writer.h"

#include <lame/lame.h>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <memory>

#include "apperror.h"
#include "fileio.h"
#include "largefile.h"
#include "messages.h"
#include "pendingfile.h"

namespace {

// LAME's worst case for one call: 1.25 bytes per input frame plus 7200.
constexpr uint32_t kOutputSlackBytes = 7200;
constexpr uint32_t kMaxOutputRate = 48000;
// Encoded bytes are collected up to this much before a write, so an hour of audio takes a few
// hundred writes rather than one per frame.
constexpr size_t kWriteBatchBytes = 256 * 1024;

// Enough for the largest MPEG frame; the tag frame is one frame.
constexpr size_t kTagBufferBytes = 8192;

int Boolean(int32_t flag) {
    return flag != kBeFalse ? 1 : 0;
}

// Whether MP3 carries `rate` in the MPEG version of the configuration (1: MPEG-1; 0: MPEG-2,
// with its 2.5 extension for the lowest rates).
bool RateOfVersion(uint32_t rate, uint32_t mpegVersion) {
    switch (rate) {
        case 32000:
        case 44100:
        case 48000:
            return mpegVersion == 1;
        case 8000:
        case 11025:
        case 12000:
        case 16000:
        case 22050:
        case 24000:
            return mpegVersion == 0;
        default:
            return false;
    }
}

}  // namespace

bool ApplyMp3Config(lame_global_struct* e, const BE_CONFIG& c) {
    bool ok = true;
    auto set = [&ok](int result) { ok = ok && result == 0; };

    set(lame_set_in_samplerate(e, int(c.dwSampleRate)));
    if (c.dwReSampleRate != 0) {
        set(lame_set_out_samplerate(e, int(c.dwReSampleRate)));
    } else if (RateOfVersion(c.dwSampleRate, c.dwMpegVersion)) {
        // Left to itself LAME lowers the rate of a low-quality VBR file (44.1 kHz to 24 kHz);
        // the configuration names the MPEG version of the document's own rate, so keep it.
        set(lame_set_out_samplerate(e, int(c.dwSampleRate)));
    }
    switch (c.nMode) {
        case kBeModeStereo:
            set(lame_set_mode(e, STEREO));
            break;
        case kBeModeJointStereo:
            set(lame_set_mode(e, JOINT_STEREO));
            break;
        case kBeModeDualChannel:
            set(lame_set_mode(e, DUAL_CHANNEL));
            break;
        case kBeModeMono:
            set(lame_set_mode(e, MONO));
            break;
        default:
            return false;
    }
    set(lame_set_num_channels(e, c.nMode == kBeModeMono ? 1 : 2));

    // The MPEG version is LAME's output rate (above) and the preset follows from the mode, so
    // neither has a setting of its own; the psychoacoustic model is LAME's only one.
    vbr_mode method = vbr_off;
    if (c.bEnableVBR != kBeFalse) {
        switch (c.nVbrMethod) {
            case kVbrMethodNone:
                method = vbr_off;
                break;
            case kVbrMethodDefault:
                method = vbr_default;
                break;
            case kVbrMethodOld:
                method = vbr_rh;
                break;
            case kVbrMethodNew:
            case kVbrMethodMtrh:
                method = vbr_mtrh;
                break;
            case kVbrMethodAbr:
                method = vbr_abr;
                break;
            default:
                return false;
        }
    }
    set(lame_set_VBR(e, method));
    if (method == vbr_off) {
        set(lame_set_brate(e, int(c.dwBitrate)));
    } else {
        int minimum = int(c.dwBitrate);
        int maximum = int(c.dwMaxBitrate);
        set(lame_set_VBR_q(e, c.nVBRQuality));
        if (method == vbr_abr) {
            // The target decides: a minimum above it (320 by default) or a maximum below it
            // would give a file at another bitrate than the one chosen.
            const int mean = int((c.dwVbrAbr_bps + 500) / 1000);
            minimum = std::min(minimum, mean);
            maximum = std::max(maximum, mean);
            set(lame_set_VBR_mean_bitrate_kbps(e, mean));
        } else {
            // The minimum holds for every frame, silent ones too.
            set(lame_set_VBR_hard_min(e, 1));
        }
        set(lame_set_VBR_min_bitrate_kbps(e, minimum));
        set(lame_set_VBR_max_bitrate_kbps(e, maximum));
    }
    set(lame_set_bWriteVbrTag(e, Boolean(c.bWriteVBRHeader)));
    set(lame_set_error_protection(e, Boolean(c.bCRC)));
    set(lame_set_copyright(e, Boolean(c.bCopyright)));
    set(lame_set_original(e, Boolean(c.bOriginal)));
    set(lame_set_extension(e, Boolean(c.bPrivate)));
    set(lame_set_strict_ISO(e, Boolean(c.bStrictIso)));
    set(lame_set_disable_reservoir(e, Boolean(c.bNoRes)));
    set(lame_set_emphasis(e, int(c.dwEmphasis)));
    set(lame_set_quality(e, c.nQuality));
    // Nothing but the audio frames (and the tag frame) goes into the file.
    lame_set_write_id3tag_automatic(e, 0);
    return ok;
}

std::string Mp3EncoderError(int code) {
    std::string reason;
    switch (code) {
        case -1:
            reason = "its output buffer was too small";
            break;
        case -2:
            reason = Msg("outofmemory");
            break;
        case -3:
            reason = "it was not set up";
            break;
        case -4:
            reason = "its psychoacoustic model failed";
            break;
        default:
            reason = "unknown error";
            break;
    }
    return "The MP3 encoder (LAME) failed with error " + std::to_string(code) + ": " + reason;
}

// --- MP3writer --------------------------------------------------------------------------------

MP3writer::MP3writer(const QString& path, const BE_CONFIG& config, uint32_t& samplesPerChunk,
                     const std::vector<uint8_t>& leading)
    : path_(path) {
    samplesPerChunk = 0;
    // Opening with truncation replaces an existing file of that name.
    fd_ = FileIO().Open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw EOSError(errno, path.toStdString());

    encoder_ = lame_init();
    lastResult_ = encoder_ && ApplyMp3Config(encoder_, config) ? lame_init_params(encoder_) : -1;
    if (lastResult_ != 0) {
        Fail("streamerror", lastResult_);
        return;
    }

    if (!leading.empty()) {
        if (!WriteAt(leading.data(), leading.size(), -1)) {
            Fail("writeerror", 0);
            return;
        }
        firstFrameAt_ = int64_t(leading.size());
    }
    channels_ = uint16_t(lame_get_num_channels(encoder_));
    writeTag_ = config.bWriteVBRHeader != kBeFalse;
    const uint32_t frameSize = uint32_t(lame_get_framesize(encoder_));
    samplesPerChunk_ = frameSize * channels_;
    // LAME may upsample a low rate (it does not say to what), which makes more output per input
    // frame than its worst case assumes; size for the highest output rate.
    const uint32_t inRate = std::max(1, lame_get_in_samplerate(encoder_));
    const uint32_t stretch = std::max<uint32_t>(1, (kMaxOutputRate + inRate - 1) / inRate);
    const size_t chunkBytes = size_t(frameSize) * stretch * 5 / 4 + kOutputSlackBytes;
    output_.resize(kWriteBatchBytes + chunkBytes);
    samplesPerChunk = samplesPerChunk_;
}

MP3writer::~MP3writer() {
    try {
        if (!failed_ && !finished_) Finish();
    } catch (...) {
        // A destructor must not throw; a failure here is already in ErrorMessage() or lost.
    }
    Release();
}

void MP3writer::Fail(const char* key, int32_t number) {
    failed_ = true;
    error_ = Msg(key) + std::to_string(number);
    Release();
}

void MP3writer::FailEncoder(int32_t code) {
    failed_ = true;
    error_ = Mp3EncoderError(code);
    Release();
}

void MP3writer::Release() {
    if (fd_ >= 0) FileIO().Close(fd_);
    fd_ = -1;
    std::vector<uint8_t>().swap(output_);
    if (encoder_) lame_close(encoder_);
    encoder_ = nullptr;
}

bool MP3writer::WriteAt(const uint8_t* data, size_t count, int64_t offset) {
    while (count > 0) {
        const ssize_t n = offset < 0 ? FileIO().Write(fd_, data, count)
                                     : FileIO().PWrite(fd_, data, count, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= size_t(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

bool MP3writer::FlushPending() {
    if (used_ == 0) return true;
    const bool ok = WriteAt(output_.data(), used_, -1);
    used_ = 0;
    return ok;
}

int32_t MP3writer::Encode(const int16_t* samples, uint32_t byteCount) {
    if (failed_ || finished_) return -1;
    uint32_t frames = byteCount / 2 / channels_;
    const uint32_t frameSize = samplesPerChunk_ / channels_;
    int32_t produced = 0;
    // One encoder call per chunk; a longer stretch is cut into chunks so the buffer always fits.
    while (frames > 0) {
        const uint32_t n = std::min(frames, frameSize);
        uint8_t* out = output_.data() + used_;
        const int room = int(output_.size() - used_);
        const int bytes = channels_ == 1
                              ? lame_encode_buffer(encoder_, samples, samples, int(n), out, room)
                              : lame_encode_buffer_interleaved(
                                    encoder_, const_cast<short*>(samples), int(n), out, room);
        if (bytes < 0) {
            lastResult_ = bytes;
            FailEncoder(bytes);
            return -1;
        }
        lastResult_ = 0;
        used_ += size_t(bytes);
        produced += bytes;
        if (used_ >= kWriteBatchBytes && !FlushPending()) {
            Fail("writeerror", 0);
            return -1;
        }
        samples += size_t(n) * channels_;
        frames -= n;
    }
    return produced;
}

bool MP3writer::Finish() {
    if (failed_) return false;
    if (finished_) return true;
    const int bytes =
        lame_encode_flush(encoder_, output_.data() + used_, int(output_.size() - used_));
    if (bytes < 0) {
        lastResult_ = bytes;
        FailEncoder(bytes);
        return false;
    }
    used_ += size_t(bytes);
    if (!FlushPending()) {
        Fail("writeerror", 0);
        return false;
    }
    if (writeTag_) {
        // The encoder reserved the first frame for its tag; now that the stream is complete it
        // can say how many frames and bytes there are, so players show the right length.
        std::vector<uint8_t> tag(kTagBufferBytes);
        size_t size = lame_get_lametag_frame(encoder_, tag.data(), tag.size());
        if (size > tag.size()) {
            tag.resize(size);
            size = lame_get_lametag_frame(encoder_, tag.data(), tag.size());
        }
        if (size > 0 && !WriteAt(tag.data(), size, firstFrameAt_)) {
            Fail("writeerror", 0);
            return false;
        }
    }
    const int fd = fd_;
    fd_ = -1;
    if (FileIO().Close(fd) != 0) {
        Fail("writeerror", 0);
        return false;
    }
    finished_ = true;
    Release();
    return true;
}

// --- the save loop ----------------------------------------------------------------------------

bool FeedMp3Encoder(TLargeFile& store, int64_t firstSample, int64_t total, uint32_t chunk,
                    const std::function<bool(const int16_t* samples, uint32_t bytes)>& encode,
                    std::atomic<int32_t>& progress) {
    if (chunk == 0) return total == 0;
    std::vector<int16_t> buffer(chunk);
    const int64_t chunks = total / chunk;
    const int64_t rest = total % chunk;
    for (int64_t i = 0; i < chunks; ++i) {
        progress = int32_t(i * 100 / chunks);
        const int64_t first = firstSample + i * chunk;
        store.ReadSamples(buffer.data(), first, first + chunk - 1);
        if (!encode(buffer.data(), chunk * 2)) return false;
    }
    const int64_t first = firstSample + chunks * chunk;
    store.ReadSamples(buffer.data(), first, first + rest - 1);
    return encode(buffer.data(), uint32_t(rest * 2));
}

void SaveMp3(TLargeFile& store, int64_t firstFrame, int64_t endFrame, uint16_t channels,
             const BE_CONFIG& config, const QString& target, std::atomic<int32_t>& progress,
             const std::vector<uint8_t>& leading) {
    if (channels != (config.nMode == kBeModeMono ? 1 : 2)) {
        throw EAppError("The MP3 settings are for " +
                        std::string(config.nMode == kBeModeMono ? "1 channel" : "2 channels") +
                        ", the sound has " + std::to_string(channels));
    }
    const int64_t firstSample = int64_t(firstFrame) * channels;
    const int64_t endSample = int64_t(endFrame) * channels;
    if (firstFrame < 0 || endFrame < firstFrame || endSample > store.SampleCount()) {
        throw EAppError("Frames " + std::to_string(firstFrame) + " to " + std::to_string(endFrame) +
                        " lie outside the sound");
    }
    TPendingFile pending(target);
    {
        uint32_t chunk = 0;
        MP3writer writer(pending.Path(), config, chunk, leading);
        if (writer.Failed()) throw EAppError(writer.ErrorMessage());
        const bool fed = FeedMp3Encoder(
            store, firstSample, endSample - firstSample, chunk,
            [&writer](const int16_t* samples, uint32_t bytes) {
                return writer.Encode(samples, bytes) >= 0;
            },
            progress);
        if (!fed || !writer.Finish()) throw EAppError(writer.ErrorMessage());
    }
    pending.Commit();
}
