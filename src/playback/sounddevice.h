#pragma once
// Our streaming sound output: a device (TSoundDevice) owning looping sound buffers
// (TSoundBuffer) that an audio backend pulls from, each with an optional notification thread
// (TNotifyThread) that hands "the play cursor passed offset k" and "the buffer stopped" to the
// user-interface thread, in order and one at a time.
//
// Threads: devices and buffers are created, used and destroyed on the user-interface thread.
// The backend's own thread calls the pull routine, which never locks, allocates or waits.
// Offsets and sizes are bytes within a buffer; volumes are hundredths of a decibel.
// Errors: a failed backend call raises ESoundDeviceError with the backend's text; the
// notification thread's own failures raise ESoundWrapperError.

#include <semaphore.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "apperror.h"
#include "uithread.h"

// A failed call of the audio backend; the message carries the backend's own text.
class ESoundDeviceError : public EAppError {
public:
    explicit ESoundDeviceError(const std::string& message) : EAppError(message) {}
};

// A failure of the notification thread itself (too many positions, no event, no thread).
class ESoundWrapperError : public EAppError {
public:
    explicit ESoundWrapperError(const std::string& message) : EAppError(message) {}
};

// Raises ESoundDeviceError with "<call> failed: <text>" when `ok` is false.
void CheckResult(bool ok, const char* call, const std::string& text);

// The PCM wave format of a buffer (the fields of the classic wave format record).
struct TWaveFormat {
    uint16_t formatTag = 1;  // 1: PCM
    uint16_t channels = 2;
    uint32_t samplesPerSec = 44100;
    uint32_t avgBytesPerSec = 176400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
    uint16_t cbSize = 0;

    // 16-bit PCM of this shape, as documents hold it.
    static TWaveFormat Pcm16(uint16_t channels, uint32_t samplesPerSec);
};

// The value of silence in a format: 0x80 for unsigned 8-bit samples, 0 otherwise.
inline uint8_t SilenceByte(const TWaveFormat& f) {
    return f.bitsPerSample == 8 ? 0x80 : 0;
}

// Linear gain for a volume in hundredths of a decibel: 10^(v/2000); exactly 1 at 0 and 0 at
// kVolumeSilence or below.
float VolumeGain(int32_t volume);

constexpr int32_t kVolumeSilence = -10000;
constexpr int32_t kVolumeFull = 0;

// One open output stream of a backend. Its pull routine runs on the backend's thread.
class TAudioStream {
public:
    virtual ~TAudioStream() = default;
    // A paused stream does not call the pull routine (the backend plays silence meanwhile).
    virtual void Pause(bool paused) = 0;
    // Excludes the pull routine while held (never held across a pull by our own code).
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // Frames the backend holds between the pull routine and what is heard.
    virtual uint32_t HeldFrames() const = 0;
};

// Where buffers play: SDL's audio subsystem in the program, a manual clock in tests.
class TAudioBackend {
public:
    // Fills `bytes` bytes at `dst`; called on the backend's thread with the stream locked.
    using TPull = std::function<void(uint8_t* dst, uint32_t bytes)>;

    virtual ~TAudioBackend() = default;
    // Opens a paused stream of this format. Raises ESoundDeviceError.
    virtual std::unique_ptr<TAudioStream> OpenStream(const TWaveFormat& format, TPull pull) = 0;
    // Plain words for the user when no real output could be opened; empty otherwise.
    virtual std::string NoOutputMessage() const { return {}; }
    // Called once, on the user-interface thread, when the backend falls back to silent output.
    std::function<void(const std::string& message)> OnNoOutput;
};

class TSoundBuffer;

// Waits for one buffer's position events and hands each, in order, to the user-interface
// thread, waiting until it has run there. Owned by its buffer.
//
// Destroying it from inside one of its own deliveries (the owner closes or restarts playback in
// a handler) cannot wait for the thread, which is waiting for that very delivery to return: the
// thread is then let go, drops whatever is still queued, and ends by itself once the delivery
// has returned. Its state lives as long as the thread does.
class TNotifyThread {
public:
    // The platform limit of wait handles: positions plus the stop event.
    static constexpr int32_t kMaxWaitHandles = 64;
    static constexpr uint32_t kOffsetStop = 0xFFFFFFFF;

    using TCallback = std::function<void(TSoundBuffer* sender, int32_t index)>;

    // Starts the thread. `offsets` are byte offsets in the buffer, or kOffsetStop for the
    // moment the buffer stops. Raises ESoundWrapperError beyond kMaxWaitHandles - 1 offsets.
    TNotifyThread(TSoundBuffer* sender, const uint32_t* offsets, int32_t count, TCallback callback);
    // Ends the thread. A hand-over already pending still runs here, before this returns, unless
    // this runs inside one of the thread's own deliveries (see above).
    ~TNotifyThread();
    TNotifyThread(const TNotifyThread&) = delete;
    TNotifyThread& operator=(const TNotifyThread&) = delete;

    int32_t Count() const;
    uint32_t Offset(int32_t index) const;
    // The index of the k-th position in ascending offset order.
    int32_t ByOffset(int32_t k) const;

    // Signals position event `index`. Lock-free and non-blocking (backend thread or, for the
    // stop event, the user-interface thread with the stream locked); one producer at a time.
    // Like an auto-reset event, a signal that is still waiting to be taken is not repeated.
    void Signal(int32_t index);

    // Signals not yet delivered (taken or not); 0 when the thread is idle.
    int32_t Pending() const;
    // The index being handed over now, or -1.
    int32_t Delivering() const;

    // Notification threads alive in the process (for tests); a thread let go counts until it
    // has ended.
    static int32_t Alive();

private:
    struct TCore;
    std::shared_ptr<TCore> core_;
    std::thread thread_;
};

class TSoundDevice;

// A looping buffer of a fixed byte size and PCM format that its stream plays. The caller
// writes into it through Lock/Unlock (the bytes behind the play cursor) while it plays.
class TSoundBuffer {
public:
    // Two regions, the second non-empty only when the locked range wraps.
    struct TRegion {
        uint8_t* first = nullptr;
        uint32_t firstBytes = 0;
        uint8_t* second = nullptr;
        uint32_t secondBytes = 0;
    };

    // Ends its notification thread (a pending hand-over still finds the buffer intact), closes
    // its stream and leaves its device's list.
    ~TSoundBuffer();
    TSoundBuffer(const TSoundBuffer&) = delete;
    TSoundBuffer& operator=(const TSoundBuffer&) = delete;

    // The byte offset now heard: the pull position less what the backend still holds.
    uint32_t GetCurrentPosition() const;
    // Moves the play cursor; raises ESoundDeviceError at or beyond the size.
    void SetCurrentPosition(uint32_t offset);
    // kVolumeSilence..kVolumeFull; raises ESoundDeviceError outside that range.
    void SetVolume(int32_t volume);
    int32_t GetVolume() const { return volume_; }
    // Plays from the cursor, looping over the whole buffer until Stop.
    void Play();
    // Stops (the cursor stays) and, if it was playing, signals the stop position.
    void Stop();
    bool Playing() const { return playing_.load(std::memory_order_relaxed); }

    // Write access to bytes [offset, offset + bytes) of the buffer, wrapping at its end.
    // Raises ESoundDeviceError for an offset or length beyond the buffer.
    TRegion Lock(uint32_t offset, uint32_t bytes);
    // Publishes what was written to the pull routine.
    void Unlock(const TRegion& region);

    // Replaces the notification thread with one for these offsets (kOffsetStop: the buffer
    // stopped); count 0 just ends the current one.
    void SetNotifications(int32_t count, const uint32_t* offsets);
    TNotifyThread* NotifyThread() const { return notify_.get(); }

    uint32_t Size() const { return static_cast<uint32_t>(data_.size()); }
    const TWaveFormat& Format() const { return format_; }
    TSoundDevice* Device() const { return device_; }

    // On the user-interface thread, for each notification: (this buffer, index in the offsets).
    std::function<void(TSoundBuffer* sender, int32_t index)> OnNotify;
    // A failure thrown by OnNotify, on the user-interface thread; the thread carries on.
    std::function<void(const std::exception& error)> OnNotifyError;

private:
    friend class TSoundDevice;
    TSoundBuffer(TSoundDevice* device, TAudioBackend& backend, const TWaveFormat& format,
                 uint32_t bytes);
    void Pull(uint8_t* dst, uint32_t bytes);
    void Notify(TSoundBuffer* sender, int32_t index);
    // Signals the positions in (from, to]: the cursor moved there without wrapping.
    void SignalPassed(uint32_t from, uint32_t to);

    // Pull position and bytes pulled since the cursor was last set (capped), packed so that
    // GetCurrentPosition reads both at once: (pulled << 32) | cursor.
    static uint64_t Pack(uint32_t cursor, uint64_t pulled);

    std::vector<uint8_t> data_;
    TWaveFormat format_;
    TSoundDevice* device_;
    std::unique_ptr<TNotifyThread> notify_;
    // What the pull routine signals into: the notification thread, set with the stream locked.
    TNotifyThread* sink_ = nullptr;
    std::unique_ptr<TAudioStream> stream_;
    std::atomic<uint64_t> cursor_{0};
    std::atomic<bool> playing_{false};
    std::atomic<float> gain_{1.0f};
    std::atomic<uint32_t> published_{0};
    int32_t volume_ = kVolumeFull;
};

// The output device: its backend and the buffers created on it. Destroying the device
// destroys every buffer still on it.
class TSoundDevice {
public:
    // With no backend, SDL's audio output (falling back to silent output when none opens).
    explicit TSoundDevice(std::shared_ptr<TAudioBackend> backend = nullptr);
    ~TSoundDevice();
    TSoundDevice(const TSoundDevice&) = delete;
    TSoundDevice& operator=(const TSoundDevice&) = delete;

    // A new, stopped buffer filled with silence, owned by this device until it is deleted.
    // Raises ESoundDeviceError (unsupported format, zero size, backend failure).
    TSoundBuffer* CreateBuffer(const TWaveFormat& format, uint32_t bytes);
    size_t BufferCount() const { return buffers_.size(); }

    // Plain words for the user when no real output exists (playback then runs silently).
    std::string NoOutputMessage() const { return backend_->NoOutputMessage(); }
    TAudioBackend& Backend() const { return *backend_; }

private:
    friend class TSoundBuffer;
    std::shared_ptr<TAudioBackend> backend_;
    std::vector<TSoundBuffer*> buffers_;
};
