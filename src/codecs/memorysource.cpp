#include "memorysource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {
// FFmpeg's own default for file reads.
constexpr int kBufferBytes = 32768;
}  // namespace

TMemorySource::TMemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    if (buffer == nullptr) return;
    context_ = avio_alloc_context(buffer, kBufferBytes, 0, this, &Read, nullptr, &Seek);
    if (context_ == nullptr) av_free(buffer);
}

TMemorySource::~TMemorySource() {
    // The context's buffer may have been replaced by FFmpeg: free whichever it holds now.
    if (context_ != nullptr) av_freep(&context_->buffer);
    avio_context_free(&context_);
}

int TMemorySource::Read(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<TMemorySource*>(opaque);
    const size_t n = std::min(self->size_ - self->position_, size_t(std::max(size, 0)));
    if (n == 0) return AVERROR_EOF;
    std::memcpy(buffer, self->data_ + self->position_, n);
    self->position_ += n;
    return static_cast<int>(n);
}

int64_t TMemorySource::Seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<TMemorySource*>(opaque);
    const auto size = static_cast<int64_t>(self->size_);
    int64_t base;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            base = 0;
            break;
        case SEEK_CUR:
            base = static_cast<int64_t>(self->position_);
            break;
        case SEEK_END:
            base = size;
            break;
        default:
            return AVERROR(EINVAL);
    }
    // Offsets come from the file's own fields and may be anything.
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) return AVERROR(EINVAL);
    // Like a file: a seek past the end is allowed and reads nothing there.
    self->position_ = static_cast<size_t>(std::min(target, size));
    return target;
}
