#pragma once
// What TDecoder's own files (decoder.cpp, mp3split.cpp) share: the destination being written.
// Not for anyone else.

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <QString>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "apperror.h"
#include "decoder.h"
#include "fileio.h"
#include "loadingpeaks.h"
#include "messages.h"
#include "wavlayout.h"

namespace decoder_detail {

// Output is gathered in this many samples (1 MiB) per write(2).
inline constexpr size_t kOutputBufferSamples = 512 * 1024;
// A demuxer that keeps answering "try again" this often in a row is treated as ended.
inline constexpr int kMaxRetries = 1000;

[[noreturn]] inline void RaiseWriteError(int code, const QString& path) {
    if (code == ENOSPC || code == EDQUOT) throw EAppError(Msg("outofmemory"));
    throw EOSError(code, path.toStdString());
}

}  // namespace decoder_detail

// The destination file while Decode runs: a 1 MiB sample buffer in front of write(2). Every
// failed or short write is raised; the file is closed whatever happens.
class TDecoder::TOutput {
public:
    // existing: writes into a file another output has made, without emptying it.
    explicit TOutput(const QString& path, bool existing = false)
        : path_(path), buffer_(decoder_detail::kOutputBufferSamples) {
        const QByteArray name = QFile::encodeName(path);
        do {
            fd_ = existing ? FileIO().Open(name.constData(), O_WRONLY | O_CLOEXEC)
                           : OpenEmptied(name.constData(), O_WRONLY | O_CLOEXEC, 0644);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) decoder_detail::RaiseWriteError(errno, path);
    }
    ~TOutput() {
        if (fd_ >= 0) FileIO().Close(fd_);
    }

    void Unwatch() { watch_.reset(); }
    // Shows what reaches the file to the view of a load in progress (null: nothing), as the
    // frames from `first` on; channels: of the samples written.
    void Watch(TLoadingPeaks* peaks, int64_t first, int channels) {
        watch_ = peaks ? std::make_unique<TLoadingPeaks::TWriter>(*peaks, first) : nullptr;
        channels_ = size_t(std::max(channels, 1));
    }

    // Room for `count` samples (at most kOutputBufferSamples) at the end of the buffer.
    int16_t* Reserve(size_t count) {
        if (used_ + count > buffer_.size()) Flush();
        return buffer_.data() + used_;
    }
    void Commit(size_t count) {
        used_ += count;
        dataBytes_ += 2 * count;
    }
    uint64_t DataBytes() const { return dataBytes_; }
    int Fd() const { return fd_; }
    // Counts samples written into the file after what this object holds, by someone else.
    void Appended(uint64_t bytes) { dataBytes_ += bytes; }
    // The file was written afresh by someone else, with this many sample bytes.
    void Rewritten(uint64_t bytes) {
        watch_.reset();
        used_ = 0;
        dataBytes_ = bytes;
    }
    // Where the samples go from now on; before any is written.
    void StartAt(int64_t offset) {
        if (::lseek(fd_, offset, SEEK_SET) != offset) decoder_detail::RaiseWriteError(errno, path_);
    }

    void WriteAll(const void* data, size_t bytes) {
        const char* p = static_cast<const char*>(data);
        while (bytes > 0) {
            const ssize_t n = FileIO().Write(fd_, p, bytes);
            if (n < 0) {
                if (errno == EINTR) continue;
                decoder_detail::RaiseWriteError(errno, path_);
            }
            if (n == 0) decoder_detail::RaiseWriteError(ENOSPC, path_);
            p += n;
            bytes -= static_cast<size_t>(n);
        }
    }
    void Flush() {
        WriteAll(buffer_.data(), used_ * 2);
        if (watch_) watch_->Add(buffer_.data(), used_ / channels_);
        used_ = 0;
    }
    // Writes samples past the buffer, after what it holds.
    void WriteSamples(const int16_t* samples, size_t count) {
        Flush();
        WriteAll(samples, 2 * count);
        if (watch_) watch_->Add(samples, count / channels_);
        dataBytes_ += 2 * count;
    }
    void PatchLE32(off_t offset, uint32_t value) {
        uint8_t b[4];
        PutLE32(b, value);
        PatchBytes(offset, b, sizeof b);
    }
    void PatchBytes(off_t offset, const uint8_t* bytes, size_t count) {
        ssize_t n;
        do {
            n = FileIO().PWrite(fd_, bytes, count, offset);
        } while (n < 0 && errno == EINTR);
        if (n != ssize_t(count)) decoder_detail::RaiseWriteError(n < 0 ? errno : EIO, path_);
    }
    // Closing can be where a delayed write error shows (network file systems).
    void Close() {
        if (watch_) watch_->Publish(true);
        const int fd = fd_;
        fd_ = -1;
        if (FileIO().Close(fd) != 0 && errno != EINTR)
            decoder_detail::RaiseWriteError(errno, path_);
    }

private:
    QString path_;
    int fd_ = -1;
    std::vector<int16_t> buffer_;
    size_t used_ = 0;
    uint64_t dataBytes_ = 0;
    std::unique_ptr<TLoadingPeaks::TWriter> watch_;
    size_t channels_ = 1;
};
