#pragma once
// MP3writer encodes interleaved 16-bit PCM into an MP3 file with LAME, configured from a
// BE_CONFIG record. It owns the output file and the encoder. Encoder and write failures come
// back as a result (-1, Failed(), ErrorMessage()) as the document's save loop expects; only a
// file that cannot be created raises (EOSError). Lives on one thread (the document's worker).
//
// SaveMp3 is the document's MP3 save: it feeds a writer from a store and raises EAppError on any
// failure, leaving the target untouched.

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mp3format.h"

class TLargeFile;
struct lame_global_struct;

class MP3writer {
public:
    // Creates (or replaces) the file at path and opens the encoder with config. samplesPerChunk
    // receives how many samples (all channels together) each Encode call should take: the
    // encoder's frame size times the channel count, or 0 when the encoder refused the
    // configuration (then Failed() and ErrorMessage() says so; the file exists and is empty).
    // `leading` (a tag) is written ahead of the first frame.
    MP3writer(const QString& path, const BE_CONFIG& config, uint32_t& samplesPerChunk,
              const std::vector<uint8_t>& leading = {});
    // Finishes the file unless Finish() was called or the writer failed; errors are lost here,
    // so callers that care call Finish() first.
    ~MP3writer();
    MP3writer(const MP3writer&) = delete;
    MP3writer& operator=(const MP3writer&) = delete;

    // Encodes byteCount / 2 samples (whole frames; a trailing partial frame is ignored) and
    // appends what the encoder produced to the file; writes are collected into a few hundred
    // KiB, so a full disk shows on a later call or in Finish(). Returns the bytes produced, or
    // -1 once the writer has failed: the first failure closes the file and the encoder and sets
    // ErrorMessage(); later calls do nothing.
    int32_t Encode(const int16_t* samples, uint32_t byteCount);

    // Flushes the encoder, appends its last bytes, rewrites the first frame with the encoder's
    // tag frame when config asked for one (bWriteVBRHeader), and closes. Returns false (and sets
    // ErrorMessage()) when a write fails or the writer had already failed.
    bool Finish();

    bool Failed() const { return failed_; }
    // The failure as the user sees it: the catalogue's "streamerror" text followed by the
    // encoder's code when it refused the configuration, Mp3EncoderError for a failed encoder
    // call, or the "writeerror" text followed by 0 for a file write.
    const std::string& ErrorMessage() const { return error_; }
    // Result of the last encoder call (0 = success).
    int32_t LastResult() const { return lastResult_; }
    const QString& Path() const { return path_; }

    // The LAME handle while the encoder is open (for tests that read its settings back).
    lame_global_struct* Encoder() const { return encoder_; }

private:
    void Fail(const char* key, int32_t number);
    void FailEncoder(int32_t code);
    void Release();
    // Writes the encoded bytes collected so far.
    bool FlushPending();
    bool WriteAt(const uint8_t* data, size_t count, int64_t offset);

    QString path_;
    int fd_ = -1;
    lame_global_struct* encoder_ = nullptr;
    uint32_t samplesPerChunk_ = 0;
    uint16_t channels_ = 0;
    bool writeTag_ = false;
    int64_t firstFrameAt_ = 0;  // where the audio frames start: after the leading bytes
    int32_t lastResult_ = 0;
    // The encoder writes here; the first used_ bytes are encoded but not yet in the file.
    std::vector<uint8_t> output_;
    size_t used_ = 0;
    bool failed_ = false;
    bool finished_ = false;
    std::string error_;
};

// The message of a failed encoder call: names the encoder, its code and what the code means.
std::string Mp3EncoderError(int code);

// Applies every field of config to a fresh LAME handle (before lame_init_params). Returns false
// for a record LAME cannot take (a mode or method it does not know).
bool ApplyMp3Config(lame_global_struct* encoder, const BE_CONFIG& config);

// Sends samples [firstSample, firstSample + total) of store to encode in chunks of chunk samples
// read into one buffer, then the rest in one last call (made also when the rest is 0). Writes
// progress (0..100) before every full chunk. Stops at the first encode that returns false.
// Nothing is sent when chunk is 0. Returns whether all samples were sent and accepted.
bool FeedMp3Encoder(TLargeFile& store, int64_t firstSample, int64_t total, uint32_t chunk,
                    const std::function<bool(const int16_t* samples, uint32_t bytes)>& encode,
                    std::atomic<int32_t>& progress);

// Saves frames [firstFrame, endFrame) of store (channels 1 or 2, as config's mode says) as MP3
// at target, `leading` (a tag) ahead of the frames. Writes progress (0..100). Throws on failure
// (EAppError with the writer's message, or EOSError); on failure the target is untouched and no
// partial file remains.
void SaveMp3(TLargeFile& store, int64_t firstFrame, int64_t endFrame, uint16_t channels,
             const BE_CONFIG& config, const QString& target, std::atomic<int32_t>& progress,
             const std::vector<uint8_t>& leading = {});
