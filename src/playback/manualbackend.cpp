#include "manualbackend.h"

#include <algorithm>
#include <utility>

class TManualClockBackend::TStream : public TAudioStream {
public:
    TStream(TManualClockBackend& owner, const TWaveFormat& format, TPull pull)
        : owner_(owner), pull_(std::move(pull)), blockAlign_(format.blockAlign) {}
    ~TStream() override {
        std::lock_guard lock(owner_.mutex_);
        auto& list = owner_.streams_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    void Pause(bool paused) override {
        std::lock_guard lock(mutex_);
        paused_ = paused;
    }
    void Lock() override { mutex_.lock(); }
    void Unlock() override { mutex_.unlock(); }
    uint32_t HeldFrames() const override { return owner_.held_; }

    TManualClockBackend& owner_;
    TPull pull_;
    uint32_t blockAlign_;
    std::mutex mutex_;
    bool paused_ = true;
};

TManualClockBackend::~TManualClockBackend() = default;

std::unique_ptr<TAudioStream> TManualClockBackend::OpenStream(const TWaveFormat& format,
                                                              TPull pull) {
    auto stream = std::make_unique<TStream>(*this, format, std::move(pull));
    std::lock_guard lock(mutex_);
    streams_.push_back(stream.get());
    return stream;
}

void TManualClockBackend::Advance(uint32_t frames) {
    std::lock_guard lock(mutex_);
    for (TStream* s : streams_) {
        std::lock_guard streamLock(s->mutex_);
        if (s->paused_) continue;
        const size_t bytes = size_t(frames) * s->blockAlign_;
        scratch_.resize(bytes);
        s->pull_(scratch_.data(), static_cast<uint32_t>(bytes));
        if (keep_) output_.insert(output_.end(), scratch_.begin(), scratch_.end());
    }
}

std::vector<uint8_t> TManualClockBackend::TakeOutput() {
    std::lock_guard lock(mutex_);
    return std::exchange(output_, {});
}

size_t TManualClockBackend::OutputBytes() const {
    std::lock_guard lock(mutex_);
    return output_.size();
}

int32_t TManualClockBackend::OpenStreams() const {
    std::lock_guard lock(mutex_);
    return static_cast<int32_t>(streams_.size());
}

void TManualClockBackend::KeepOutput(bool keep) {
    std::lock_guard lock(mutex_);
    keep_ = keep;
}
