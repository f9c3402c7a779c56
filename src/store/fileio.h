#pragma once
// Every file operation the store, the pending-file save and the writers make goes through one
// TFileIO, so that a test can make any single one of them fail. The active one is process-wide:
// FileIO() returns it, TPosixFileIO (plain system calls) unless a test has installed another.
// Each call keeps the system call's own convention for results and errno.

#include <sys/types.h>
#include <atomic>
#include <cstdint>

class TFileIO {
public:
    virtual ~TFileIO() = default;
    virtual int Open(const char* path, int flags, mode_t mode = 0) = 0;
    // mkostemp: fills in the template's trailing "XXXXXX".
    virtual int OpenUnique(char* pathTemplate, int flags) = 0;
    virtual ssize_t Read(int fd, void* data, size_t bytes) = 0;
    virtual ssize_t PRead(int fd, void* data, size_t bytes, off_t offset) = 0;
    virtual ssize_t Write(int fd, const void* data, size_t bytes) = 0;
    virtual ssize_t PWrite(int fd, const void* data, size_t bytes, off_t offset) = 0;
    // posix_fallocate: returns the error number itself, 0 on success.
    virtual int Allocate(int fd, off_t offset, off_t length) = 0;
    virtual void* Map(size_t length, int prot, int flags, int fd, off_t offset) = 0;
    virtual int Sync(int fd) = 0;
    virtual ssize_t CopyRange(int fdIn, loff_t* offIn, int fdOut, loff_t* offOut, size_t bytes) = 0;
    virtual int Rename(const char* from, const char* to) = 0;
    virtual int Unlink(const char* path) = 0;
    // The descriptor is released whatever the result, as close(2) does on Linux.
    virtual int Close(int fd) = 0;
};

class TPosixFileIO final : public TFileIO {
public:
    int Open(const char* path, int flags, mode_t mode = 0) override;
    int OpenUnique(char* pathTemplate, int flags) override;
    ssize_t Read(int fd, void* data, size_t bytes) override;
    ssize_t PRead(int fd, void* data, size_t bytes, off_t offset) override;
    ssize_t Write(int fd, const void* data, size_t bytes) override;
    ssize_t PWrite(int fd, const void* data, size_t bytes, off_t offset) override;
    int Allocate(int fd, off_t offset, off_t length) override;
    void* Map(size_t length, int prot, int flags, int fd, off_t offset) override;
    int Sync(int fd) override;
    ssize_t CopyRange(int fdIn, loff_t* offIn, int fdOut, loff_t* offOut, size_t bytes) override;
    int Rename(const char* from, const char* to) override;
    int Unlink(const char* path) override;
    int Close(int fd) override;
};

// Cancelling: the worker of a cancellable operation names its cancel flag for its own thread.
// Once the flag is set, every write, copy and allocation that thread makes through TPosixFileIO
// fails with ECANCELED (so the writer's own error path unwinds it), and ThrowIfCancelled raises
// EAbort where a loop writes through a mapping.
class TCancelScope {
public:
    explicit TCancelScope(const std::atomic<bool>* flag);
    ~TCancelScope();
    TCancelScope(const TCancelScope&) = delete;
    TCancelScope& operator=(const TCancelScope&) = delete;

private:
    const std::atomic<bool>* previous_;
};
bool CancelRequested();
void ThrowIfCancelled();

namespace fileio_detail {
extern std::atomic<TFileIO*> active;
}

inline TFileIO& FileIO() {
    return *fileio_detail::active.load(std::memory_order_acquire);
}

// Makes `io` the active one (nullptr: the system calls again) and returns the one it replaces.
// Install only while no file operation runs.
TFileIO* InstallFileIO(TFileIO* io);

// For tests: passes every call to the system and counts it; the call numbered FailAt() (1 for
// the first after Arm) fails instead with the chosen errno without doing anything, except a
// close, which still releases its descriptor. Safe to call from any thread.
class TFailingFileIO final : public TFileIO {
public:
    // failAt 0: never fail, only count.
    void Arm(uint64_t failAt, int error);
    uint64_t Calls() const { return calls_.load(); }
    // Whether the chosen call has come (and failed).
    bool Fired() const { return failAt_ != 0 && calls_.load() >= failAt_; }
    // The kind of call that failed ("open", "pwrite", ...), or "" before it came.
    const char* FailedCall() const { return failed_.load(); }

    int Open(const char* path, int flags, mode_t mode = 0) override;
    int OpenUnique(char* pathTemplate, int flags) override;
    ssize_t Read(int fd, void* data, size_t bytes) override;
    ssize_t PRead(int fd, void* data, size_t bytes, off_t offset) override;
    ssize_t Write(int fd, const void* data, size_t bytes) override;
    ssize_t PWrite(int fd, const void* data, size_t bytes, off_t offset) override;
    int Allocate(int fd, off_t offset, off_t length) override;
    void* Map(size_t length, int prot, int flags, int fd, off_t offset) override;
    int Sync(int fd) override;
    ssize_t CopyRange(int fdIn, loff_t* offIn, int fdOut, loff_t* offOut, size_t bytes) override;
    int Rename(const char* from, const char* to) override;
    int Unlink(const char* path) override;
    int Close(int fd) override;

private:
    // True (errno set) when this call is the one to fail.
    bool Strike(const char* call);

    TPosixFileIO real_;
    std::atomic<uint64_t> calls_{0};
    std::atomic<uint64_t> failAt_{0};
    std::atomic<int> error_{0};
    std::atomic<const char*> failed_{""};
};

// Installs a TFileIO for the lifetime of a scope and puts the previous one back.
class TScopedFileIO {
public:
    explicit TScopedFileIO(TFileIO& io) : previous_(InstallFileIO(&io)) {}
    ~TScopedFileIO() { InstallFileIO(previous_); }
    TScopedFileIO(const TScopedFileIO&) = delete;
    TScopedFileIO& operator=(const TScopedFileIO&) = delete;

private:
    TFileIO* previous_;
};

// Opens `path` with `flags` (which must allow writing; O_TRUNC is not needed), made with `mode`
// when missing, and empties it unless it is empty already, which opening with O_TRUNC would
// not tell apart: on ext4 a truncation to nothing makes the first close write the whole file
// back before it returns. -1 with errno on failure.
int OpenEmptied(const char* path, int flags, mode_t mode);

// Whether a kernel copy into fd's file system may share blocks rather than copy them: false on
// ext2/3/4 and tmpfs, which always copy, true on any other (XFS, Btrfs and the like).
bool MayShareBlocks(int fd);

// How many bytes of a kernel copy from offset `from` to offset `to` should go on their own
// first: file systems that share blocks (XFS, Btrfs) clone only from a block boundary on, so
// the bytes before the destination's next boundary are split off when the two offsets lie
// alike within their blocks; 0 when there is nothing to gain (already on a boundary, or the
// offsets can never meet one together). At most `bytes`.
int64_t CopyHeadBytes(int64_t from, int64_t to, int64_t bytes);

