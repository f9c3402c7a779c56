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

TNotifyThread::TNotifyThread(TSoundBuffer* sender, const uint32_t* offsets, int32_t count,
                             TCallback callback)
    : callback_(std::move(callback)), sender_(sender), count_(count) {
    if (count < 0 || count + 1 > kMaxWaitHandles) {
        throw ESoundWrapperError("Notification positions exceed maximum of " +
                                 std::to_string(kMaxWaitHandles));
    }
    std::copy(offsets, offsets + count, offsets_.begin());
    std::iota(byOffset_.begin(), byOffset_.begin() + count, 0);
    std::stable_sort(byOffset_.begin(), byOffset_.begin() + count,
                     [&](uint8_t a, uint8_t b) { return offsets_[a] < offsets_[b]; });
    if (sem_init(&events_, 0, 0) != 0) throw ESoundWrapperError("Error creating event");
    try {
        thread_ = std::thread([this] { Execute(); });
    } catch (const std::system_error&) {
        sem_destroy(&events_);
        throw ESoundWrapperError("Error creating thread");
    }
    ++gAliveThreads;
}

TNotifyThread::~TNotifyThread() {
    terminated_.store(true, std::memory_order_release);
    sem_post(&events_);
    // The thread may be waiting for a hand-over to this (the user-interface) thread: run it here.
    handover_.ServiceUntil([this] { return ended_.load(std::memory_order_acquire); });
    thread_.join();
    sem_destroy(&events_);
    --gAliveThreads;
}

void TNotifyThread::Signal(int32_t index) {
    if (index < 0 || index >= count_) return;
    if (signalled_[index].exchange(true, std::memory_order_acq_rel)) return;
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    // At most one unsent signal per position, so the queue cannot overflow; the check keeps
    // that promise local.
    if (tail - head_.load(std::memory_order_acquire) >= queue_.size()) return;
    queue_[tail % queue_.size()].store(static_cast<uint8_t>(index), std::memory_order_relaxed);
    pending_.fetch_add(1, std::memory_order_release);
    tail_.store(tail + 1, std::memory_order_release);
    sem_post(&events_);
}

void TNotifyThread::Execute() {
    for (;;) {
        while (sem_wait(&events_) != 0 && errno == EINTR) {
        }
        // Signals already queued are delivered before the thread ends, so a stop signalled just
        // before the buffer is destroyed still arrives (with the buffer intact).
        const uint32_t head = head_.load(std::memory_order_relaxed);
        if (head != tail_.load(std::memory_order_acquire)) {
            const int32_t index = queue_[head % queue_.size()].load(std::memory_order_relaxed);
            index_.store(index, std::memory_order_relaxed);
            head_.store(head + 1, std::memory_order_release);
            // Cleared before the hand-over: a passage during the callback is delivered after it.
            signalled_[index].store(false, std::memory_order_release);
            try {
                handover_.Run([&] { callback_(sender_, index); });
            } catch (...) {
                // The buffer's handler reports its own failures; nothing else may end this loop.
            }
            index_.store(-1, std::memory_order_relaxed);
            pending_.fetch_sub(1, std::memory_order_acq_rel);
            continue;
        }
        if (terminated_.load(std::memory_order_acquire)) break;
    }
    ended_.store(true, std::memory_order_release);
    handover_.Wake();
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
    if (!OnNotify) return;
    try {
        OnNotify(sender, index);
    } catch (const std::exception& e) {
        if (OnNotifyError) OnNotifyError(e);
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
