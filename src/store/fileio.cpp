#include "fileio.h"

#include <algorithm>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include "apperror.h"

namespace {

TPosixFileIO& System() {
    static TPosixFileIO io;
    return io;
}

}  // namespace

namespace fileio_detail {
std::atomic<TFileIO*> active{&System()};
}

TFileIO* InstallFileIO(TFileIO* io) {
    return fileio_detail::active.exchange(io ? io : &System(), std::memory_order_acq_rel);
}

int OpenEmptied(const char* path, int flags, mode_t mode) {
    const int fd = FileIO().Open(path, (flags & ~O_TRUNC) | O_CREAT, mode);
    if (fd < 0) return fd;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (!S_ISREG(st.st_mode) || st.st_size == 0)) return fd;
    if (::ftruncate(fd, 0) == 0) return fd;
    const int error = errno;
    FileIO().Close(fd);
    errno = error;
    return -1;
}

// --- TPosixFileIO -----------------------------------------------------------------------------

int TPosixFileIO::Open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

int TPosixFileIO::OpenUnique(char* pathTemplate, int flags) {
    return ::mkostemp(pathTemplate, flags);
}

ssize_t TPosixFileIO::Read(int fd, void* data, size_t bytes) {
    return ::read(fd, data, bytes);
}

ssize_t TPosixFileIO::PRead(int fd, void* data, size_t bytes, off_t offset) {
    return ::pread(fd, data, bytes, offset);
}

namespace {
thread_local const std::atomic<bool>* tCancelFlag = nullptr;

bool RefuseCancelled() {
    if (!CancelRequested()) return false;
    errno = ECANCELED;
    return true;
}
}  // namespace

TCancelScope::TCancelScope(const std::atomic<bool>* flag) : previous_(tCancelFlag) {
    tCancelFlag = flag;
}

TCancelScope::~TCancelScope() {
    tCancelFlag = previous_;
}

bool CancelRequested() {
    return tCancelFlag != nullptr && tCancelFlag->load(std::memory_order_relaxed);
}

void ThrowIfCancelled() {
    if (CancelRequested()) throw EAbort();
}

ssize_t TPosixFileIO::Write(int fd, const void* data, size_t bytes) {
    if (RefuseCancelled()) return -1;
    return ::write(fd, data, bytes);
}

ssize_t TPosixFileIO::PWrite(int fd, const void* data, size_t bytes, off_t offset) {
    if (RefuseCancelled()) return -1;
    return ::pwrite(fd, data, bytes, offset);
}

int TPosixFileIO::Allocate(int fd, off_t offset, off_t length) {
    if (CancelRequested()) return ECANCELED;
    return ::posix_fallocate(fd, offset, length);
}

void* TPosixFileIO::Map(size_t length, int prot, int flags, int fd, off_t offset) {
    return ::mmap(nullptr, length, prot, flags, fd, offset);
}

int TPosixFileIO::Sync(int fd) {
    return ::fsync(fd);
}

ssize_t TPosixFileIO::CopyRange(int fdIn, loff_t* offIn, int fdOut, loff_t* offOut, size_t bytes) {
    if (RefuseCancelled()) return -1;
    return ::copy_file_range(fdIn, offIn, fdOut, offOut, bytes, 0);
}

int TPosixFileIO::Rename(const char* from, const char* to) {
    return ::rename(from, to);
}

int TPosixFileIO::Unlink(const char* path) {
    return ::unlink(path);
}

int TPosixFileIO::Close(int fd) {
    return ::close(fd);
}

// --- TFailingFileIO ---------------------------------------------------------------------------

void TFailingFileIO::Arm(uint64_t failAt, int error) {
    error_ = error;
    failAt_ = failAt;
    calls_ = 0;
    failed_ = "";
}

bool TFailingFileIO::Strike(const char* call) {
    const uint64_t n = calls_.fetch_add(1) + 1;
    if (n != failAt_.load()) return false;
    failed_ = call;
    errno = error_.load();
    return true;
}

int TFailingFileIO::Open(const char* path, int flags, mode_t mode) {
    return Strike("open") ? -1 : real_.Open(path, flags, mode);
}

int TFailingFileIO::OpenUnique(char* pathTemplate, int flags) {
    return Strike("mkostemp") ? -1 : real_.OpenUnique(pathTemplate, flags);
}

ssize_t TFailingFileIO::Read(int fd, void* data, size_t bytes) {
    return Strike("read") ? -1 : real_.Read(fd, data, bytes);
}

ssize_t TFailingFileIO::PRead(int fd, void* data, size_t bytes, off_t offset) {
    return Strike("pread") ? -1 : real_.PRead(fd, data, bytes, offset);
}

ssize_t TFailingFileIO::Write(int fd, const void* data, size_t bytes) {
    return Strike("write") ? -1 : real_.Write(fd, data, bytes);
}

ssize_t TFailingFileIO::PWrite(int fd, const void* data, size_t bytes, off_t offset) {
    return Strike("pwrite") ? -1 : real_.PWrite(fd, data, bytes, offset);
}

int TFailingFileIO::Allocate(int fd, off_t offset, off_t length) {
    return Strike("posix_fallocate") ? error_.load() : real_.Allocate(fd, offset, length);
}

void* TFailingFileIO::Map(size_t length, int prot, int flags, int fd, off_t offset) {
    return Strike("mmap") ? MAP_FAILED : real_.Map(length, prot, flags, fd, offset);
}

int TFailingFileIO::Sync(int fd) {
    return Strike("fsync") ? -1 : real_.Sync(fd);
}

ssize_t TFailingFileIO::CopyRange(int fdIn, loff_t* offIn, int fdOut, loff_t* offOut,
                                  size_t bytes) {
    return Strike("copy_file_range") ? -1 : real_.CopyRange(fdIn, offIn, fdOut, offOut, bytes);
}

int TFailingFileIO::Rename(const char* from, const char* to) {
    return Strike("rename") ? -1 : real_.Rename(from, to);
}

int TFailingFileIO::Unlink(const char* path) {
    return Strike("unlink") ? -1 : real_.Unlink(path);
}

int TFailingFileIO::Close(int fd) {
    const bool fail = Strike("close");
    const int result = real_.Close(fd);
    if (!fail) return result;
    errno = error_.load();
    return -1;
}

bool MayShareBlocks(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return true;
    return fs.f_type != EXT4_SUPER_MAGIC && fs.f_type != TMPFS_MAGIC;
}

int64_t CopyHeadBytes(int64_t from, int64_t to, int64_t bytes) {
    // The block size of XFS and Btrfs on the machines Orvane runs on; a larger one only loses
    // the sharing, never a byte.
    constexpr int64_t kBlock = 4096;
    if ((from - to) % kBlock != 0 || to % kBlock == 0) return 0;
    return std::min(bytes, kBlock - to % kBlock);
}

