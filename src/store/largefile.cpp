#include "largefile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QFileInfo>
#include "apperror.h"
#include "fileio.h"
#include "messages.h"
#include "settings.h"

namespace {

[[noreturn]] void Fail(int err, const QString& path) {
    throw EOSError(err, path.toStdString());
}

}  // namespace

TLargeFile::TLargeFile(const QString& path) : path_(path) {
    granularity_ = static_cast<uint32_t>(sysconf(_SC_PAGESIZE));
    const QByteArray name = QFile::encodeName(path);
    fd_ = FileIO().Open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) Fail(errno, path);
    struct stat st {};
    if (fstat(fd_, &st) != 0) {
        const int err = errno;
        FileIO().Close(fd_);
        Fail(err, path);
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes ||
        static_cast<uint64_t>(st.st_size) < kWavHeaderBytes) {
        FileIO().Close(fd_);
        throw EAppError("Not a usable sample store: " + path.toStdString());
    }
    fileSize_ = static_cast<uint64_t>(st.st_size);
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    try {
        MapWindow(0);
    } catch (...) {
        FileIO().Close(fd_);
        throw;
    }
    if (std::memcmp(window_, "RF64", 4) == 0) {
        if (fileSize_ < kRf64HeaderBytes) {
            Unmap();
            FileIO().Close(fd_);
            fd_ = -1;
            throw EAppError("Not a usable sample store: " + path.toStdString());
        }
        dataOffset_ = kRf64HeaderBytes;
        MapWindow(0);
    }
}

TLargeFile::TLargeFile(const QString& path, uint64_t size) : writable_(true), path_(path) {
    granularity_ = static_cast<uint32_t>(sysconf(_SC_PAGESIZE));
    dataOffset_ = size > kMaxRiffFileBytes ? kRf64HeaderBytes : kWavHeaderBytes;
    if (size > kMaxFileBytes || size < dataOffset_ || size % 2 != 0) {
        throw EAppError("Invalid sample store size");
    }
    const QByteArray name = QFile::encodeName(path);
    // The room that counts is on the store's own disk (a save writes beside its target, not in
    // the temporary folder), and a file it replaces gives back its blocks.
    struct stat existing {};
    const bool replacing = ::stat(name.constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    int64_t avail = FreeDiskSpace(QFileInfo(path).absolutePath());
    if (avail >= 0 && replacing) avail += existing.st_size;
    // When the free space cannot be read, the allocation below still catches a real shortage.
    // Refused here, nothing has been touched.
    if (avail >= 0 && size > static_cast<uint64_t>(avail)) throw EAppError(Msg("outofmemory"));
    // Created afresh, or taken over: only a file made here is removed again on failure.
    bool created = true;
    fd_ = FileIO().Open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno == EEXIST) {
        created = false;
        fd_ = FileIO().Open(name.constData(), O_RDWR | O_TRUNC | O_CLOEXEC);
    }
    if (fd_ < 0) Fail(errno, path);
    auto abandon = [&](int err) {
        FileIO().Close(fd_);
        fd_ = -1;
        if (created) FileIO().Unlink(name.constData());
        if (err == ENOSPC || err == EDQUOT) throw EAppError(Msg("outofmemory"));
        Fail(err, path);
    };
    if (const int err = FileIO().Allocate(fd_, 0, static_cast<off_t>(size)); err != 0) abandon(err);
    fileSize_ = size;
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    try {
        MapWindow(0);
    } catch (const EOSError& e) {
        abandon(e.code());
    }
}

TLargeFile::~TLargeFile() {
    Unmap();
    if (fd_ >= 0) FileIO().Close(fd_);
}

void TLargeFile::Follow(uint64_t bytes) {
    struct stat st {};
    if (fstat(fd_, &st) != 0) Fail(errno, path_);
    Unmap();
    fileSize_ = std::max<uint64_t>(std::min<uint64_t>(uint64_t(st.st_size), bytes), dataOffset_);
}

void TLargeFile::Unmap() {
    if (window_) munmap(window_, winLength_);
    window_ = nullptr;
    winStart_ = wrStart_ = 1;
    winEnd_ = wrEnd_ = 0;
    winLength_ = 0;
    samples_ = nullptr;
    first_ = 0;
    span_ = writeSpan_ = 0;
}

void TLargeFile::MapWindow(uint64_t start) {
    Unmap();
    const uint32_t length =
        static_cast<uint32_t>(std::min<uint64_t>(fileSize_ - start, kWindowBytes));
    const int prot = writable_ ? (PROT_READ | PROT_WRITE) : PROT_READ;
    void* p = FileIO().Map(length, prot, MAP_SHARED, fd_, static_cast<off_t>(start));
    if (p == MAP_FAILED) throw EOSError(errno, path_.toStdString());
    madvise(p, length, MADV_SEQUENTIAL);
    window_ = static_cast<uint8_t*>(p);
    winStart_ = start;
    winLength_ = length;
    winEnd_ = start + length - 1;
    if (writable_) {
        wrStart_ = winStart_;
        wrEnd_ = winEnd_;
    }
    samples_ = reinterpret_cast<int16_t*>(window_);
    first_ = (int64_t(start) - int64_t(dataOffset_)) / 2;
    span_ = length / 2;
    writeSpan_ = writable_ ? span_ : 0;
    ++remaps_;
}

void TLargeFile::MoveWindow(uint64_t offset, bool forWrite) {
    if (forWrite && !writable_)
        throw EAppError("Sample store is read-only: " + path_.toStdString());
    if (offset + 2 > fileSize_) {
        throw EAppError("Sample index beyond the end of the store: " + path_.toStdString());
    }
    MapWindow(offset - offset % granularity_);
}

int16_t TLargeFile::ReadSlow(int64_t index) {
    if (index < 0) throw EAppError("Sample index before the store: " + path_.toStdString());
    MoveWindow(dataOffset_ + 2 * uint64_t(index), false);
    return samples_[index - first_];
}

void TLargeFile::WriteSlow(int64_t index, int32_t value) {
    if (index < 0) throw EAppError("Sample index before the store: " + path_.toStdString());
    MoveWindow(dataOffset_ + 2 * uint64_t(index), true);
    samples_[index - first_] = static_cast<int16_t>(value);
}

uint64_t TLargeFile::Reach(uint64_t offset, bool forWrite) {
    if (forWrite ? (offset < wrStart_ || offset > wrEnd_)
                 : (offset < winStart_ || offset > winEnd_)) {
        MoveWindow(offset, forWrite);
    }
    return winEnd_ + 1 - offset;
}

uint64_t TLargeFile::IndexOffset(int64_t index, int64_t count) const {
    const uint64_t off = dataOffset_ + 2 * static_cast<uint64_t>(index);
    if (index < 0 || off + 2 * static_cast<uint64_t>(count) > fileSize_) {
        throw EAppError("Sample range beyond the end of the store: " + path_.toStdString());
    }
    return off;
}

TWavHeaderBytes TLargeFile::ReadHeader() {
    if (winStart_ != 0 || !window_) MapWindow(0);
    TWavHeaderBytes out;
    out.resize(dataOffset_);
    std::memcpy(out.data(), window_, dataOffset_);
    return out;
}

void TLargeFile::WriteHeader(const TWavHeaderBytes& header) {
    if (!writable_) throw EAppError("Sample store is read-only: " + path_.toStdString());
    if (header.size() != dataOffset_)
        throw EAppError("Header of the wrong form for the store: " + path_.toStdString());
    if (winStart_ != 0 || !window_) MapWindow(0);
    std::memcpy(window_, header.data(), dataOffset_);
}

// Runs go through pread, never through the window: a pass over the sound then costs no page
// faults or remaps, keeps its pages out of the process's memory (a window's worth read through
// the mapping would stay resident while the store is open), and several threads may read
// disjoint runs at once.
void TLargeFile::ReadSamples(int16_t* dst, int64_t first, int64_t last) {
    if (last < first) return;
    const int64_t count = last - first + 1;
    uint64_t off = IndexOffset(first, count);
    size_t bytes = size_t(count) * 2;
    auto* p = reinterpret_cast<uint8_t*>(dst);
    while (bytes > 0) {
        const ssize_t done = FileIO().PRead(fd_, p, bytes, static_cast<off_t>(off));
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) throw EOSError(errno, path_.toStdString());
        if (done == 0)
            throw EAppError("Sample range beyond the end of the store: " + path_.toStdString());
        p += done;
        bytes -= size_t(done);
        off += uint64_t(done);
    }
}

// Runs go to the file with pwrite rather than through the mapping: a page written whole needs
// no zero-fill on first touch, which made mapped writes of new versions twice as slow.
void TLargeFile::PutBytes(const void* data, size_t bytes, uint64_t offset) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t done = FileIO().PWrite(fd_, p, bytes, static_cast<off_t>(offset));
        if (done < 0) {
            if (errno == EINTR) continue;
            throw EOSError(errno, path_.toStdString());
        }
        p += done;
        bytes -= size_t(done);
        offset += uint64_t(done);
    }
}

void TLargeFile::WriteSamples(const int16_t* src, int64_t first, int64_t last) {
    if (last < first) return;
    if (!writable_) throw EAppError("Sample store is read-only: " + path_.toStdString());
    const int64_t count = last - first + 1;
    PutBytes(src, size_t(count) * 2, IndexOffset(first, count));
}

void TLargeFile::CopyFrom(TLargeFile& source, int64_t srcFirst, int64_t dstFirst, int64_t count) {
    if (count <= 0) return;
    if (!writable_) throw EAppError("Sample store is read-only: " + path_.toStdString());
    uint64_t so = source.IndexOffset(srcFirst, count);
    uint64_t dof = IndexOffset(dstFirst, count);
    // The kernel copies between the two files' page caches without a trip through user space;
    // where it cannot (another file system, an old kernel) the copy goes through the window.
    // The part before a block boundary on its own, so a file system that shares blocks can
    // clone the rest instead of copying it (versions keep the same layout, so edits line up).
    const int64_t head = CopyHeadBytes(int64_t(so), int64_t(dof), count * 2) / 2;
    const int64_t whole = count;
    while (count > 0 && &source != this) {
        loff_t in = loff_t(so), out = loff_t(dof);
        const int64_t want = whole - count < head ? head - (whole - count) : count;
        const ssize_t done = FileIO().CopyRange(source.fd_, &in, fd_, &out, size_t(want) * 2);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0 || done % 2 != 0) {
            if (done < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
                errno != EOPNOTSUPP && errno != EBADF) {
                throw EOSError(errno, path_.toStdString());
            }
            if (done > 0) {  // an odd count: step back to a whole sample and go on by hand
                so += uint64_t(done) - 1;
                dof += uint64_t(done) - 1;
                count -= (done - 1) / 2;
            }
            break;
        }
        so += uint64_t(done);
        dof += uint64_t(done);
        count -= done / 2;
    }
    while (count > 0) {
        const int64_t n =
            std::min<int64_t>(count, static_cast<int64_t>(source.Reach(so, false) / 2));
        PutBytes(source.window_ + (so - source.winStart_), size_t(n) * 2, dof);
        so += 2 * static_cast<uint64_t>(n);
        dof += 2 * static_cast<uint64_t>(n);
        count -= n;
    }
}
