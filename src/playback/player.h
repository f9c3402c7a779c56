#pragma once
// TPlayer: plays a stretch of the open document by streaming its 16-bit samples from the
// document's sample store into a looping sound buffer of about one second, refilled one
// sixteenth (a chunk) per position notification. Reports the play position, start and stop,
// sets the volume and gives one level per channel.
//
// Threads: user-interface thread only; notifications arrive there one at a time. The owner may
// call Close, Play, Open or Shutdown from inside its own events (OnStatus, OnPosition, OnError).
// Units: positions, lengths and offsets are bytes of the stretch unless named otherwise; `start`
// is a sample index (interleaved). Errors of the sound device (ESoundDeviceError,
// ESoundWrapperError) pass through to the caller; a failure inside a notification goes to
// OnError. The player owns its device and buffer; the document and its store are not owned.
// The document must outlive the player (or the player must be shut down first).

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "sounddevice.h"

class Twavefile;
class TLargeFile;

class TPlayer {
public:
    // Chunks in the looping buffer; one chunk is a sixteenth of a second.
    static constexpr uint32_t kChunks = 16;
    // Notification slots: kChunks chunk ends, then the buffer's stop.
    static constexpr int32_t kStopIndex = kChunks;
    // Frames examined by GetLevels: samples per second * 50 / 500, a tenth of a second.
    static constexpr uint32_t kLevelWindowNumerator = 50;
    static constexpr uint32_t kLevelWindowDenominator = 500;

    TPlayer() = default;
    // Shuts down if the owner has not (releases the buffer, then the device).
    ~TPlayer();
    TPlayer(const TPlayer&) = delete;
    TPlayer& operator=(const TPlayer&) = delete;

    // Play position in bytes from the start of the stretch.
    std::function<void(int64_t bytes)> OnPosition;
    // True when playback has started, false when it has stopped or cannot start.
    std::function<void(bool action)> OnStatus;
    // A sound-device failure met while handling a notification.
    std::function<void(const std::string& message)> OnError;

    // Creates the device (SDL's output, or `backend` in tests) and raises OnStatus(false).
    void Init(std::shared_ptr<TAudioBackend> backend = nullptr);
    // Prepares a buffer for the stretch of `length` bytes from sample index `start` (64-bit: a
    // stretch may start anywhere in a sound of any length) of the
    // document's current store and fills it. Attaches a store-release listener to the document so that
    // the buffer is closed before the store is replaced or released.
    void Open(Twavefile* document, int64_t start, const TWaveFormat& format, uint64_t length);
    // Prepares a buffer for the whole of the 16-bit WAV file at `path` (an effect's preview),
    // which the player opens itself and holds until the buffer is released; no document is
    // attached. Raises EAppError when the file cannot be read.
    // With `available`, the file is still being written, in order from its first sample:
    // `available()` is how many bytes of its samples are there (any thread may write them).
    // Only those are played; the buffer is topped up as more come, and should the cursor run
    // past them it plays silence and goes on where they end.
    void OpenFile(const QString& path, std::function<uint64_t()> available = {});
    // Starts, or restarts, the opened stretch from its beginning.
    void Play();
    // Stops and rewinds (the buffer is refilled from the start of the stretch).
    void Stop() { StopRoutine(kModeStop); }
    // Stops and releases the buffer.
    void Close() { StopRoutine(kModeClose); }
    // Stops, releases the buffer and frees the device.
    void Shutdown();
    // Hundredths of a decibel, -10000 (silence) to 0; nothing without a buffer.
    void SetVolume(int32_t volume);
    // One level per channel (as many as `levels` holds): 1 for silence, 128 for full scale.
    void GetLevels(std::span<int16_t> levels);

    // Chunk size in bytes for a format: a sixteenth of a second of whole frames.
    static uint32_t ChunkBytes(const TWaveFormat& format);

    bool Playing() const { return playing_; }
    bool BufferExists() const { return bufferExists_; }
    uint32_t ChunkSize() const { return chunkSize_; }
    uint32_t BufferSize() const { return bufferSize_; }
    uint64_t Position() const { return position_; }
    uint64_t Length() const { return length_; }
    TSoundBuffer* Buffer() const { return buffer_; }
    TSoundDevice* Device() const { return device_.get(); }
    // Plain words for the user when there is no sound output; empty otherwise.
    std::string NoOutputMessage() const;

private:
    static constexpr int kModeStop = 0;
    static constexpr int kModeClose = 1;
    static constexpr int kModeShutdown = 3;

    // The buffer for `length` bytes of `store` from sample index `start`.
    void OpenStore(TLargeFile* store, int64_t start, const TWaveFormat& format, uint64_t length);
    // Returns false when the OnStatus handler called in again and so decided the state itself.
    bool StopRoutine(int mode);
    void Prefill();
    // Refills the buffer from the start of the stretch (nothing without a buffer).
    void Rewind();
    // Stops and deletes the buffer, without events.
    void ReleaseBuffer();
    void Notify(int32_t index);
    // Copies up to `bytes` of the stretch from the read point to dst; pads the rest with silence.
    // Returns the bytes copied.
    uint32_t Fill(uint8_t* dst, uint32_t bytes);
    void Silence(uint8_t* dst, uint32_t bytes) const;
    // Silences the chunk at the write offset and moves on to the next.
    void SilenceNextChunk();
    // The bytes of the stretch there are to read (all of it but for a file still written).
    uint64_t Readable() const;
    // A file still being written: the free whole chunks filled with what has come.
    void FillAhead();

    TLargeFile* store_ = nullptr;
    // The store of a file opened by OpenFile, which store_ then names.
    std::unique_ptr<TLargeFile> ownStore_;
    Twavefile* document_ = nullptr;
    int64_t start_ = 0;
    uint64_t bytesRead_ = 0;
    uint64_t length_ = 0;
    TWaveFormat format_;
    uint32_t bufferSize_ = 0;
    uint32_t chunkSize_ = 0;
    uint32_t writeOffset_ = 0;
    uint64_t position_ = 0;
    // Bytes the cursor has moved since the rewind, not held at the length like position_.
    uint64_t played_ = 0;
    uint32_t lastCursor_ = 0;
    // A file still being written (OpenFile's `available`): bytes put into the buffer since the
    // rewind, sound and silence, and the silence the cursor met where the sound had not come.
    std::function<uint64_t()> available_;
    uint64_t queued_ = 0;
    uint64_t skipped_ = 0;
    bool finished_ = false;
    bool exhausted_ = false;
    bool bufferExists_ = false;
    bool playing_ = false;
    // Counts calls that change the buffer's state, so that a routine raising an event can tell
    // whether the handler called in again (and then leave the state to that call).
    uint64_t calls_ = 0;
    // A stop has raised OnStatus but not yet rewound (its handler is running).
    bool rewindPending_ = false;
    std::unique_ptr<TSoundDevice> device_;
    // Belongs to the device; the player deletes it when it is released.
    TSoundBuffer* buffer_ = nullptr;
};
