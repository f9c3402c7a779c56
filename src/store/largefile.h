#pragma once
// TLargeFile: one version of a document as a WAV file on disk, with random access to its 16-bit
// samples through a sliding memory-mapped window of at most 32 MiB. Sample indices count over
// all channels (frame f, channel c of an n-channel sound is sample f * n + c) and address the
// byte DataOffset() + 2 * index: 44 after a RIFF header, 80 after an RF64 one (a file over
// 4 GiB). Indices and sizes are 64-bit: a store is as long as its disk allows. A store is opened
// either for reading (an existing file) or for writing (a new file of a fixed size); it is never
// resized and it never deletes its file, except a file it failed to create. Not thread-safe: one
// thread uses a store at a time, except for ReadSamples and WriteSamples of disjoint runs.
// Errors are raised as EAppError / EOSError.

#include <QString>
#include <bit>
#include <cstdint>
#include <climits>

#include "wavlayout.h"

static_assert(std::endian::native == std::endian::little, "samples are stored little-endian");

class TLargeFile {
public:
    static constexpr uint32_t kWindowBytes = 32 * 1024 * 1024;
    // Offsets are off_t; nothing on a real disk comes near this.
    static constexpr uint64_t kMaxFileBytes = uint64_t(INT64_MAX) / 2;

    // Opens an existing file for reading.
    explicit TLargeFile(const QString& path);
    // Creates (or truncates) `path` for writing, `size` bytes long (WavFileBytes of its samples:
    // a size past 4 GiB is the RF64 form, whose samples start at byte 80), its blocks allocated
    // now so that a full disk fails here. Refused before touching anything when the disk that holds
    // `path` lacks the room (a file it replaces counting as free). On a later failure a file it
    // created is removed; a file that was already there is left (emptied).
    TLargeFile(const QString& path, uint64_t size);
    ~TLargeFile();
    TLargeFile(const TLargeFile&) = delete;
    TLargeFile& operator=(const TLargeFile&) = delete;

    // The header of either form (44 or 80 bytes).
    TWavHeaderBytes ReadHeader();
    // Refused unless its form is the store's (its size equals DataOffset()).
    void WriteHeader(const TWavHeaderBytes& header);
    void WriteHeader(const TWavHeader& header) { WriteHeader(header.Bytes()); }

    int16_t ReadSample(int64_t index) {
        const uint64_t k = uint64_t(index - first_);
        if (k >= span_) [[unlikely]]
            return ReadSlow(index);
        return samples_[k];
    }
    // Stores the low 16 bits of value.
    void WriteSample(int64_t index, int32_t value) {
        const uint64_t k = uint64_t(index - first_);
        if (k >= writeSpan_) [[unlikely]]
            return WriteSlow(index, value);
        samples_[k] = static_cast<int16_t>(value);
    }

    // Samples first..last inclusive; nothing when last < first. Never moves the window, so
    // threads may call it at once on one store while nothing else uses it.
    void ReadSamples(int16_t* dst, int64_t first, int64_t last);
    void WriteSamples(const int16_t* src, int64_t first, int64_t last);
    // Writes count samples of source from srcFirst to this store from dstFirst; nothing when
    // count <= 0.
    void CopyFrom(TLargeFile& source, int64_t srcFirst, int64_t dstFirst, int64_t count);

    // For a read-only store of a file still being written: reads the first `bytes` of the file
    // from now on (at most what it holds now, never less than the header). The window goes, so
    // nothing stays mapped past the new end. Raises EOSError when the file cannot be examined.
    void Follow(uint64_t bytes);

    uint64_t FileSize() const { return fileSize_; }
    int64_t SampleCount() const { return int64_t(fileSize_ - dataOffset_) / 2; }
    uint32_t DataOffset() const { return dataOffset_; }
    bool Writable() const { return writable_; }
    const QString& Path() const { return path_; }

    // Number of window moves so far (for tests and benchmarks).
    uint64_t Remaps() const { return remaps_; }

private:
    void MapWindow(uint64_t start);
    void MoveWindow(uint64_t offset, bool forWrite);
    void Unmap();
    int16_t ReadSlow(int64_t index);
    void PutBytes(const void* data, size_t bytes, uint64_t offset);
    void WriteSlow(int64_t index, int32_t value);
    // Makes sure the window holds the byte at `offset`; returns bytes available from it.
    uint64_t Reach(uint64_t offset, bool forWrite);
    uint64_t IndexOffset(int64_t index, int64_t count) const;

    // The fast path: samples_[k] is sample first_ + k for k < span_ (writeSpan_ on a writable
    // store, 0 on a read-only one, so writes also need a single compare). The window starts on a
    // page boundary, which is always a sample boundary, so first_ is negative for the window
    // that holds the header.
    int16_t* samples_ = nullptr;
    int64_t first_ = 0;
    uint64_t span_ = 0;
    uint64_t writeSpan_ = 0;

    uint32_t granularity_ = 0;
    uint8_t* window_ = nullptr;
    uint64_t fileSize_ = 0;
    uint32_t dataOffset_ = kWavHeaderBytes;
    // Window bounds as offsets (inclusive end). The write bounds equal them on a writable store
    // and are empty on a read-only one, so the write path also needs only one range check.
    uint64_t winStart_ = 1, winEnd_ = 0;
    uint64_t wrStart_ = 1, wrEnd_ = 0;
    uint32_t winLength_ = 0;
    int fd_ = -1;
    bool writable_ = false;
    QString path_;
    uint64_t remaps_ = 0;
};
