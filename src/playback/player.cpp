#include "player.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "largefile.h"
#include "uithread.h"
#include "wavfile.h"

namespace {
// Extended precision, so that silence (-90 dB) lands on 1 rather than a hair below it.
constexpr long double kSilentDb = -90.0L;
constexpr long double kLevelScale = 1.4111111111111111L;  // 127 / 90
constexpr long double kLevelOffset = 128.0L;
}  // namespace

TPlayer::~TPlayer() {
    // The owner may be half gone: no events from here on.
    OnPosition = nullptr;
    OnStatus = nullptr;
    OnError = nullptr;
    if (device_ || bufferExists_) Shutdown();
}

uint32_t TPlayer::ChunkBytes(const TWaveFormat& format) {
    const uint32_t align = std::max<uint32_t>(format.blockAlign, 1);
    uint32_t chunk =
        static_cast<uint32_t>(uint64_t(format.blockAlign) * format.samplesPerSec / kChunks);
    if (chunk % align != 0) chunk += align - chunk % align;
    return chunk;
}

std::string TPlayer::NoOutputMessage() const {
    return device_ ? device_->NoOutputMessage() : std::string();
}

void TPlayer::Init(std::shared_ptr<TAudioBackend> backend) {
    assert(IsUiThread());
    if (device_) Shutdown();
    ++calls_;
    device_ = std::make_unique<TSoundDevice>(std::move(backend));
    bufferExists_ = false;
    playing_ = false;
    if (OnStatus) OnStatus(false);
}

void TPlayer::Open(Twavefile* document, int64_t start, const TWaveFormat& format,
                   uint64_t length) {
    assert(IsUiThread());
    Close();
    ++calls_;
    if (!device_) throw EAppError("The player has no sound device");
    TLargeFile* store = document->Store();
    if (!store) throw EAppError("There is no sound to play");
    if (document_ && document_ != document) document_->DetachStoreListener(this);
    document_ = document;
    available_ = nullptr;
    // Attached here so that no owner can forget it: the buffer goes before the store does.
    document_->AttachStoreListener(this, [this] {
        if (bufferExists_) Close();
    });
    OpenStore(store, start, format, length);
}

void TPlayer::OpenFile(const QString& path, std::function<uint64_t()> available) {
    assert(IsUiThread());
    Close();
    ++calls_;
    if (!device_) throw EAppError("The player has no sound device");
    auto store = std::make_unique<TLargeFile>(path);
    const TWavFormat f = InterpretHeader(TWavHeader::Parse(store->ReadHeader().data()));
    if (!f.pcm || f.channels == 0 || f.sampleRate == 0)
        throw EAppError("The file is no 16-bit sound to play");
    if (document_) document_->DetachStoreListener(this);
    document_ = nullptr;
    ownStore_ = std::move(store);
    available_ = std::move(available);
    OpenStore(ownStore_.get(), 0, TWaveFormat::Pcm16(f.channels, f.sampleRate),
              uint64_t(ownStore_->SampleCount()) * 2);
}

void TPlayer::OpenStore(TLargeFile* store, int64_t start, const TWaveFormat& format,
                        uint64_t length) {
    store_ = store;
    start_ = start;
    format_ = format;
    // Only whole frames inside the store are ever read.
    const uint64_t available =
        start >= 0 && start < store->SampleCount() ? uint64_t(store->SampleCount() - start) * 2 : 0;
    length_ = std::min<uint64_t>(length, available);
    length_ -= length_ % std::max<uint32_t>(format.blockAlign, 1);
    bytesRead_ = 0;
    chunkSize_ = ChunkBytes(format);
    bufferSize_ = kChunks * chunkSize_;
    buffer_ = device_->CreateBuffer(format, bufferSize_);
    bufferExists_ = true;
    exhausted_ = false;
    writeOffset_ = 0;
    Prefill();
    finished_ = false;
}

void TPlayer::Silence(uint8_t* dst, uint32_t bytes) const {
    std::memset(dst, SilenceByte(format_), bytes);
}

uint64_t TPlayer::Readable() const {
    if (!available_) return length_;
    const uint64_t a = available_();
    return std::clamp<uint64_t>(a - a % std::max<uint32_t>(format_.blockAlign, 1), bytesRead_,
                                length_);
}

uint32_t TPlayer::Fill(uint8_t* dst, uint32_t bytes) {
    const uint32_t c = uint32_t(std::min<uint64_t>(Readable() - bytesRead_, bytes));
    if (c > 0) {
        // Straight from the store into the buffer's memory (ReadSamples copies bytewise).
        store_->ReadSamples(reinterpret_cast<int16_t*>(dst), start_ + int64_t(bytesRead_ / 2),
                            start_ + int64_t((bytesRead_ + c) / 2) - 1);
        bytesRead_ += c;
    }
    if (c < bytes) Silence(dst + c, bytes - c);
    return c;
}

void TPlayer::Prefill() {
    const TSoundBuffer::TRegion r = buffer_->Lock(0, bufferSize_);
    uint32_t n = r.firstBytes;
    if (available_) {
        // The whole chunks there are now; the rest stays silent until it comes.
        const uint64_t ready = Readable();
        if (ready < length_) n = uint32_t(std::min<uint64_t>(ready / chunkSize_ * chunkSize_, n));
        Silence(r.first + n, r.firstBytes - n);
    }
    const uint32_t c = Fill(r.first, n);
    if (c < n && c < chunkSize_) exhausted_ = true;
    buffer_->Unlock(r);
    writeOffset_ += n;
    if (writeOffset_ >= bufferSize_) writeOffset_ -= bufferSize_;
    queued_ = n;
    skipped_ = 0;
    position_ = 0;
    played_ = 0;
    lastCursor_ = 0;
}

void TPlayer::FillAhead() {
    if (queued_ < played_) {
        // The cursor ran past the sound into silence: the sound goes on from the next chunk,
        // and the silence is no part of the stretch's position.
        const uint64_t next = (played_ / chunkSize_ + 1) * chunkSize_;
        const uint64_t gap = next - queued_;
        skipped_ += gap;
        position_ -= std::min(position_, gap);
        queued_ = next;
        writeOffset_ = uint32_t(next % bufferSize_);
    }
    // Whole chunks the cursor has left behind.
    while (!exhausted_ && queued_ + chunkSize_ <= played_ + bufferSize_) {
        const TSoundBuffer::TRegion r = buffer_->Lock(writeOffset_, chunkSize_);
        const uint64_t ready = Readable();
        if (ready < length_ && ready - bytesRead_ < chunkSize_) {
            buffer_->Unlock(r);
            // Not come yet: silence rather than the last lap's sound, should the cursor get
            // there first.
            for (uint64_t at = queued_; at + chunkSize_ <= played_ + bufferSize_; at += chunkSize_) {
                const TSoundBuffer::TRegion q = buffer_->Lock(uint32_t(at % bufferSize_), chunkSize_);
                Silence(q.first, q.firstBytes);
                buffer_->Unlock(q);
            }
            return;
        }
        Fill(r.first, r.firstBytes);
        buffer_->Unlock(r);
        if (bytesRead_ >= length_) exhausted_ = true;
        queued_ += r.firstBytes;
        writeOffset_ += r.firstBytes;
        if (writeOffset_ >= bufferSize_) writeOffset_ -= bufferSize_;
    }
}

void TPlayer::Play() {
    assert(IsUiThread());
    ++calls_;
    // The owner's OnStatus handler may have closed, reopened or restarted the player meanwhile.
    if (playing_ && !StopRoutine(kModeStop)) return;
    // Called from the OnStatus handler of a stop whose rewind has not been done yet.
    if (rewindPending_) Rewind();
    if (bufferExists_ && buffer_) {
        uint32_t offsets[kChunks + 1];
        for (uint32_t k = 1; k < kChunks; ++k) offsets[k - 1] = chunkSize_ * k;
        // Where chunk * 16 would be: the last byte before the cursor wraps.
        offsets[kChunks - 1] = bufferSize_ - 1;
        offsets[kChunks] = TNotifyThread::kOffsetStop;
        buffer_->OnNotify = [this](TSoundBuffer*, int32_t index) { Notify(index); };
        buffer_->OnNotifyError = [this](const std::exception& e) {
            if (OnError) OnError(e.what());
        };
        buffer_->SetNotifications(kChunks + 1, offsets);
        buffer_->SetCurrentPosition(0);
        finished_ = false;
        buffer_->Play();
        playing_ = true;
        if (OnStatus) OnStatus(true);
    } else {
        playing_ = false;
        if (OnStatus) OnStatus(false);
    }
}

void TPlayer::SilenceNextChunk() {
    // Each chunk just played is silenced, not only the first after the stretch: when the stop
    // comes late (a busy user-interface thread) the cursor then runs into silence rather than
    // into the sound of the previous lap. A file still being written may have the buffer full
    // of sound yet to play: only a chunk the cursor has left is silenced.
    if (available_ && queued_ + chunkSize_ > played_ + bufferSize_) return;
    queued_ += chunkSize_;
    const TSoundBuffer::TRegion r = buffer_->Lock(writeOffset_, chunkSize_);
    Silence(r.first, r.firstBytes);
    buffer_->Unlock(r);
    writeOffset_ += r.firstBytes;
    if (writeOffset_ >= bufferSize_) writeOffset_ -= bufferSize_;
}

void TPlayer::Notify(int32_t index) {
    if (!buffer_) return;
    if (document_ && !document_->Showable()) {
        Stop();
        return;
    }
    const uint32_t cursor = buffer_->GetCurrentPosition();
    const uint32_t moved =
        cursor >= lastCursor_ ? cursor - lastCursor_ : bufferSize_ - lastCursor_ + cursor;
    lastCursor_ = cursor;
    played_ += moved;
    if (finished_) {
        // The end is foreseen a chunk ahead. A notification handled late can set that mark when
        // less than a chunk remains, so the next one may come before the end has been heard:
        // then wait for the one after, over silence.
        if (played_ - skipped_ >= length_ || index == kStopIndex) {
            Stop();
        } else {
            SilenceNextChunk();
        }
        return;
    }
    position_ += moved;
    if (index == kStopIndex) {
        finished_ = true;
        Stop();
        return;
    }
    if (exhausted_) {
        SilenceNextChunk();
        if ((chunkSize_ < length_ && position_ >= length_ - chunkSize_) || position_ >= length_) {
            finished_ = true;
            position_ = length_;
        }
    } else if (available_) {
        FillAhead();
    } else {
        const TSoundBuffer::TRegion r = buffer_->Lock(writeOffset_, chunkSize_);
        const uint32_t n = r.firstBytes;
        if (Fill(r.first, n) < n) exhausted_ = true;
        buffer_->Unlock(r);
        writeOffset_ += n;
        if (writeOffset_ >= bufferSize_) writeOffset_ -= bufferSize_;
    }
    if (OnPosition) OnPosition(static_cast<int64_t>(position_));
}

bool TPlayer::StopRoutine(int mode) {
    assert(IsUiThread());
    const uint64_t call = ++calls_;
    if (playing_) {
        playing_ = false;
        buffer_->Stop();
    }
    if ((mode & 1) == 0) rewindPending_ = true;
    if (OnStatus) OnStatus(playing_);
    // The owner's handler already closed, reopened or restarted the player: that call decided
    // what the buffer holds now.
    if (call != calls_) return false;
    if ((mode & 1) == 0) {
        Rewind();
    } else {
        ReleaseBuffer();
    }
    return true;
}

void TPlayer::Rewind() {
    rewindPending_ = false;
    // Rewinding needs a buffer; without one there is nothing to refill.
    if (!bufferExists_ || !buffer_) return;
    bytesRead_ = 0;
    exhausted_ = false;
    writeOffset_ = 0;
    Prefill();
    finished_ = false;
}

void TPlayer::ReleaseBuffer() {
    rewindPending_ = false;
    if (!bufferExists_) return;
    if (playing_) {
        playing_ = false;
        buffer_->Stop();
    }
    // Its notification thread ends first: a pending stop notification runs in here and still
    // finds the buffer (and the store) in place.
    delete buffer_;
    buffer_ = nullptr;
    bufferExists_ = false;
    store_ = nullptr;
    ownStore_.reset();
    available_ = nullptr;
}

void TPlayer::Shutdown() {
    StopRoutine(kModeShutdown);
    // Whatever the OnStatus handler started meanwhile goes too: the device is going.
    ReleaseBuffer();
    device_.reset();
    if (document_) document_->DetachStoreListener(this);
    document_ = nullptr;
}

void TPlayer::SetVolume(int32_t volume) {
    if (buffer_) buffer_->SetVolume(volume);
}

void TPlayer::GetLevels(std::span<int16_t> levels) {
    const uint32_t channels = std::min<uint32_t>(format_.channels, uint32_t(levels.size()));
    int32_t peak[8] = {};
    const uint32_t window = static_cast<uint32_t>(uint64_t(format_.samplesPerSec) *
                                                  kLevelWindowNumerator / kLevelWindowDenominator);
    if (store_) {
        const uint64_t count = uint64_t(store_->SampleCount());
        const uint64_t first = uint64_t(start_) + position_ / 2;
        for (uint32_t k = 0; k < window; ++k) {
            for (uint32_t c = 0; c < channels && c < 8; ++c) {
                const uint64_t i = first + uint64_t(k) * format_.channels + c;
                if (i >= count) continue;
                const int32_t v = store_->ReadSample(static_cast<int64_t>(i));
                if (std::abs(v) > std::abs(peak[c])) peak[c] = v;
            }
        }
    }
    for (uint32_t c = 0; c < channels; ++c) {
        const int32_t a = std::abs(c < 8 ? peak[c] : 0);
        const long double db = a == 0 ? kSilentDb : 20.0L * std::log10(a / 32768.0L);
        levels[c] = static_cast<int16_t>(std::trunc(db * kLevelScale + kLevelOffset));
    }
}
