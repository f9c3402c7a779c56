#include "sounddevice.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numeric>
#include <system_error>

#include "sdlbackend.h"

void CheckResult(bool ok, const char* call, const std::string& text) {
    if (!ok) throw ESoundDeviceError(std::string(call) + " failed: " + text);
}

TWaveFormat TWaveFormat::Pcm16(uint16_t channels, uint32_t samplesPerSec) {
    TWaveFormat f;
    f.channels = channels;
    f.samplesPerSec = samplesPerSec;
    f.bitsPerSample = 16;
    f.blockAlign = static_cast<uint16_t>(channels * 2);
    f.avgBytesPerSec = samplesPerSec * f.blockAlign;
    return f;
}

float VolumeGain(int32_t volume) {
    if (volume >= kVolumeFull) return 1.0f;
    if (volume <= kVolumeSilence) return 0.0f;
    return static_cast<float>(std::pow(10.0, volume / 2000.0));
}

// ---------------------------------------------------------------------------------------------
// Notification thread

namespace {
std::atomic<int32_t> gAliveThreads{0};
}  // namespace

int32_t TNotifyThread::Alive() {
    return gAliveThreads.load();
}

// Everything the thread touches, shared between the thread and its owner so that a thread let
// go from inside its own delivery still has it until it ends.
struct TNotifyThread::TCore {
    TCallback callback;
    TSoundBuffer* sender = nullptr;
    std::atomic<int32_t> index{-1};
    int32_t count = 0;
    std::array<uint32_t, kMaxWaitHandles> offsets{};
    // Position indices by ascending offset, so that one pull signals them in passing order.
    std::array<uint8_t, kMaxWaitHandles> byOffset{};
    // Signals waiting to be taken: one flag per position, and the order they came in.
    std::array<std::atomic<bool>, kMaxWaitHandles> signalled{};
    std::array<std::atomic<uint8_t>, kMaxWaitHandles> queue{};
    std::atomic<uint32_t> head{0}, tail{0};
    std::atomic<int32_t> pending{0};
    sem_t events;
    bool hasEvents = false;
    std::atomic<bool> terminated{false};
    std::atomic<bool> ended{false};
    // The owner let the thread go: nothing more is delivered.
    std::atomic<bool> abandoned{false};
    // A delivery is running on the user-interface thread (only that thread reads and writes it).
    bool inDelivery = false;
    TUiHandover handover;

    ~TCore() {
        if (hasEvents) sem_destroy(&events);
    }
    void Execute();
};

TNotifyThread::TNotifyThread(TSoundBuffer* sender, const uint32_t* offsets, int32_t count,
                             TCallback callback) {
    if (count < 0 || count + 1 > kMaxWaitHandles) {
        throw ESoundWrapperError("Notification positions exceed maximum of " +
                                 std::to_string(kMaxWaitHandles));
    }
    auto core = std::make_shared<TCore>();
    core->callback = std::move(callback);
    core->sender = sender;
    core->count = count;
    std::copy(offsets, offsets + count, core->offsets.begin());
    std::iota(core->byOffset.begin(), core->byOffset.begin() + count, 0);
    std::stable_sort(core->byOffset.begin(), core->byOffset.begin() + count,
                     [&](uint8_t a, uint8_t b) { return core->offsets[a] < core->offsets[b]; });
    if (sem_init(&core->events, 0, 0) != 0) throw ESoundWrapperError("Error creating event");
    core->hasEvents = true;
    ++gAliveThreads;
    try {
        thread_ = std::thread([core] {
            core->Execute();
            --gAliveThreads;
        });
    } catch (const std::system_error&) {
        --gAliveThreads;
        throw ESoundWrapperError("Error creating thread");
    }
    core_ = std::move(core);
}

TNotifyThread::~TNotifyThread() {
    core_->terminated.store(true, std::memory_order_release);
    sem_post(&core_->events);
    if (IsUiThread() && core_->inDelivery) {
        // Called from inside this thread's own delivery: the thread waits for it to return, so
        // it cannot be joined here. Let it go; it ends as soon as the delivery is over.
        core_->abandoned.store(true, std::memory_order_release);
        thread_.detach();
        return;
    }
    // The thread may be waiting for a hand-over to this (the user-interface) thread: run it here.
    core_->handover.ServiceUntil([this] { return core_->ended.load(std::memory_order_acquire); });
    thread_.join();
}

int32_t TNotifyThread::Count() const {
    return core_->count;
}
uint32_t TNotifyThread::Offset(int32_t index) const {
    return core_->offsets[index];
}
int32_t TNotifyThread::ByOffset(int32_t k) const {
    return core_->byOffset[k];
}
int32_t TNotifyThread::Pending() const {
    return core_->pending.load(std::memory_order_acquire);
}
int32_t TNotifyThread::Delivering() const {
    return core_->index.load(std::memory_order_relaxed);
}

void TNotifyThread::Signal(int32_t index) {
    TCore& c = *core_;
    if (index < 0 || index >= c.count) return;
    if (c.signalled[index].exchange(true, std::memory_order_acq_rel)) return;
    const uint32_t tail = c.tail.load(std::memory_order_relaxed);
    // At most one unsent signal per position, so the queue cannot overflow; the check keeps
    // that promise local.
    if (tail - c.head.load(std::memory_order_acquire) >= c.queue.size()) return;
    c.queue[tail % c.queue.size()].store(static_cast<uint8_t>(index), std::memory_order_relaxed);
    c.pending.fetch_add(1, std::memory_order_release);
    c.tail.store(tail + 1, std::memory_order_release);
    sem_post(&c.events);
}

void TNotifyThread::TCore::Execute() {
    for (;;) {
        while (sem_wait(&events) != 0 && errno == EINTR) {
        }
        // Signals already queued are delivered before the thread ends, so a stop signalled just
        // before the buffer is destroyed still arrives (with the buffer intact).
        const uint32_t h = head.load(std::memory_order_relaxed);
        if (h != tail.load(std::memory_order_acquire)) {
            const int32_t i = queue[h % queue.size()].load(std::memory_order_relaxed);
            index.store(i, std::memory_order_relaxed);
            head.store(h + 1, std::memory_order_release);
            // Cleared before the hand-over: a passage during the callback is delivered after it.
            signalled[i].store(false, std::memory_order_release);
            if (!abandoned.load(std::memory_order_acquire)) {
                try {
                    handover.Run([&] {
                        // Tested again on the user-interface thread: the owner may have let
                        // the thread go between the test above and this call.
                        if (abandoned.load(std::memory_order_acquire)) return;
                        inDelivery = true;
                        struct TReset {
                            bool& flag;
                            ~TReset() { flag = false; }
                        } reset{inDelivery};
                        callback(sender, i);
                    });
                } catch (...) {
                    // The buffer's handler reports its own failures; nothing else may end this
                    // loop.
                }
            }
            index.store(-1, std::memory_order_relaxed);
            pending.fetch_sub(1, std::memory_order_acq_rel);
            continue;
        }
        if (terminated.load(std::memory_order_acquire)) break;
    }
    ended.store(true, std::memory_order_release);
    handover.Wake();
}

// ---------------------------------------------------------------------------------------------
// Sound buffer

namespace {
// Holds a stream's lock for a scope.
class TStreamLock {
public:
    explicit TStreamLock(TAudioStream& s) : s_(s) { s_.Lock(); }
    ~TStreamLock() { s_.Unlock(); }
    TStreamLock(const TStreamLock&) = delete;
    TStreamLock& operator=(const TStreamLock&) = delete;

private:
    TAudioStream& s_;
};

void CopyWithGain(uint8_t* dst, const uint8_t* src, uint32_t bytes, float gain, uint16_t bits) {
    if (gain == 1.0f) {
        std::memcpy(dst, src, bytes);
    } else if (bits == 8) {
        for (uint32_t i = 0; i < bytes; ++i) {
            const float v = (static_cast<int>(src[i]) - 128) * gain;
            dst[i] = static_cast<uint8_t>(std::clamp(std::lround(v) + 128, 0L, 255L));
        }
    } else {
        for (uint32_t i = 0; i + 1 < bytes; i += 2) {
            int16_t s;
            std::memcpy(&s, src + i, 2);
            const int16_t v =
                static_cast<int16_t>(std::clamp(std::lround(s * gain), -32768L, 32767L));
            std::memcpy(dst + i, &v, 2);
        }
    }
}

bool FormatSupported(const TWaveFormat& f) {
    return f.formatTag == 1 && (f.bitsPerSample == 8 || f.bitsPerSample == 16) && f.channels >= 1 &&
           f.channels <= 8 && f.samplesPerSec > 0 &&
           f.blockAlign == f.channels * f.bitsPerSample / 8;
}
}  // namespace

uint64_t TSoundBuffer::Pack(uint32_t cursor, uint64_t pulled) {
    return (std::min<uint64_t>(pulled, 0xFFFFFFFFu) << 32) | cursor;
}

TSoundBuffer::TSoundBuffer(TSoundDevice* device, TAudioBackend& backend, const TWaveFormat& format,
                           uint32_t bytes)
    : data_(bytes, SilenceByte(format)), format_(format), device_(device) {
    stream_ = backend.OpenStream(format, [this](uint8_t* dst, uint32_t n) { Pull(dst, n); });
}

TSoundBuffer::~TSoundBuffer() {
    if (notify_) {
        {
            TStreamLock lock(*stream_);
            sink_ = nullptr;
        }
        notify_.reset();
    }
    stream_.reset();
    auto& list = device_->buffers_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TSoundBuffer::Pull(uint8_t* dst, uint32_t bytes) {
    // Pairs with Unlock: everything written into the buffer before it is visible here.
    published_.load(std::memory_order_acquire);
    if (!playing_.load(std::memory_order_relaxed)) {
        std::memset(dst, SilenceByte(format_), bytes);
        return;
    }
    const uint64_t state = cursor_.load(std::memory_order_relaxed);
    uint32_t cursor = static_cast<uint32_t>(state);
    uint64_t pulled = state >> 32;
    const float gain = gain_.load(std::memory_order_relaxed);
    const uint32_t size = Size();
    while (bytes > 0) {
        const uint32_t n = std::min(bytes, size - cursor);
        CopyWithGain(dst, data_.data() + cursor, n, gain, format_.bitsPerSample);
        SignalPassed(cursor, cursor + n);
        cursor += n;
        if (cursor == size) cursor = 0;
        dst += n;
        bytes -= n;
        pulled += n;
    }
    cursor_.store(Pack(cursor, pulled), std::memory_order_release);
}

void TSoundBuffer::SignalPassed(uint32_t from, uint32_t to) {
    if (!sink_) return;
    const uint32_t size = Size();
    for (int32_t k = 0; k < sink_->Count(); ++k) {
        const int32_t index = sink_->ByOffset(k);
        const uint32_t offset = sink_->Offset(index);
        if (offset == TNotifyThread::kOffsetStop) continue;
        // Offset 0 is reached when the cursor wraps.
        const uint64_t at = offset == 0 ? size : offset;
        if (at > from && at <= to) sink_->Signal(index);
    }
}

uint32_t TSoundBuffer::GetCurrentPosition() const {
    const uint64_t state = cursor_.load(std::memory_order_acquire);
    const uint32_t cursor = static_cast<uint32_t>(state);
    const uint64_t pulled = state >> 32;
    const uint32_t size = Size();
    const uint64_t held = uint64_t(stream_->HeldFrames()) * format_.blockAlign;
    const uint32_t back = static_cast<uint32_t>(std::min(pulled, held) % size);
    return cursor >= back ? cursor - back : cursor + size - back;
}

void TSoundBuffer::SetCurrentPosition(uint32_t offset) {
    if (offset >= Size())
        throw ESoundDeviceError("SetCurrentPosition failed: offset beyond the buffer");
    offset -= offset % format_.blockAlign;
    TStreamLock lock(*stream_);
    cursor_.store(Pack(offset, 0), std::memory_order_release);
}

void TSoundBuffer::SetVolume(int32_t volume) {
    if (volume < kVolumeSilence || volume > kVolumeFull) {
        throw ESoundDeviceError("SetVolume failed: " + std::to_string(volume) +
                                " is outside -10000..0");
    }
    volume_ = volume;
    gain_.store(VolumeGain(volume), std::memory_order_relaxed);
}

void TSoundBuffer::Play() {
    {
        TStreamLock lock(*stream_);
        playing_.store(true, std::memory_order_relaxed);
    }
    stream_->Pause(false);
}

void TSoundBuffer::Stop() {
    stream_->Pause(true);
    TStreamLock lock(*stream_);
    if (!playing_.exchange(false, std::memory_order_relaxed) || !sink_) return;
    for (int32_t i = 0; i < sink_->Count(); ++i) {
        if (sink_->Offset(i) == TNotifyThread::kOffsetStop) sink_->Signal(i);
    }
}

TSoundBuffer::TRegion TSoundBuffer::Lock(uint32_t offset, uint32_t bytes) {
    const uint32_t size = Size();
    if (offset >= size || bytes > size || bytes == 0) {
        throw ESoundDeviceError("Lock failed: range beyond the buffer");
    }
    TRegion r;
    r.first = data_.data() + offset;
    r.firstBytes = std::min(bytes, size - offset);
    if (r.firstBytes < bytes) {
        r.second = data_.data();
        r.secondBytes = bytes - r.firstBytes;
    }
    return r;
}

void TSoundBuffer::Unlock(const TRegion&) {
    published_.fetch_add(1, std::memory_order_release);
}

void TSoundBuffer::SetNotifications(int32_t count, const uint32_t* offsets) {
    assert(IsUiThread());
    for (int32_t i = 0; i < count && i < TNotifyThread::kMaxWaitHandles; ++i) {
        if (offsets[i] >= Size() && offsets[i] != TNotifyThread::kOffsetStop) {
            throw ESoundDeviceError("SetNotifications failed: offset beyond the buffer");
        }
    }
    if (notify_) {
        {
            TStreamLock lock(*stream_);
            sink_ = nullptr;
        }
        notify_.reset();
    }
    if (count == 0) return;
    auto thread = std::make_unique<TNotifyThread>(
        this, offsets, count,
        [this](TSoundBuffer* sender, int32_t index) { Notify(sender, index); });
    {
        TStreamLock lock(*stream_);
        sink_ = thread.get();
    }
    notify_ = std::move(thread);
}

void TSoundBuffer::Notify(TSoundBuffer* sender, int32_t index) {
    // Copies: the handler may destroy this buffer (closing playback), and with it both members.
    const auto handler = OnNotify;
    const auto onError = OnNotifyError;
    if (!handler) return;
    try {
        handler(sender, index);
    } catch (const std::exception& e) {
        if (onError) onError(e);
    }
}

// ---------------------------------------------------------------------------------------------
// Device

TSoundDevice::TSoundDevice(std::shared_ptr<TAudioBackend> backend)
    : backend_(backend ? std::move(backend) : std::make_shared<TSdlBackend>()) {}

TSoundDevice::~TSoundDevice() {
    while (!buffers_.empty()) delete buffers_.front();
}

TSoundBuffer* TSoundDevice::CreateBuffer(const TWaveFormat& format, uint32_t bytes) {
    assert(IsUiThread());
    if (!FormatSupported(format)) {
        throw ESoundDeviceError("CreateBuffer failed: unsupported format (" +
                                std::to_string(format.channels) + " channels, " +
                                std::to_string(format.bitsPerSample) + " bits)");
    }
    if (bytes == 0 || bytes % format.blockAlign != 0) {
        throw ESoundDeviceError("CreateBuffer failed: size is not a whole number of frames");
    }
    auto* buffer = new TSoundBuffer(this, *backend_, format, bytes);
    buffers_.push_back(buffer);
    return buffer;
}
