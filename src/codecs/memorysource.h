#pragma once
// TMemorySource lets FFmpeg read a sound file held in memory through a custom I/O context, as
// it would read the file itself: reads, seeks and the size. The bytes are not copied and must
// outlive the source. One thread.

#include <cstddef>
#include <cstdint>

struct AVIOContext;

class TMemorySource {
public:
    TMemorySource(const uint8_t* data, size_t size);
    ~TMemorySource();
    TMemorySource(const TMemorySource&) = delete;
    TMemorySource& operator=(const TMemorySource&) = delete;

    // The I/O context to put in AVFormatContext::pb; nullptr when it could not be allocated.
    // It stays owned by the source: free the format context first.
    AVIOContext* Context() const { return context_; }

private:
    static int Read(void* opaque, uint8_t* buffer, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    AVIOContext* context_ = nullptr;
};
