// A disk that stops taking data on demand, for tests that must catch a job half way.
#pragma once
#include <condition_variable>
#include <map>
#include <mutex>

#include "fileio.h"

// Lets each file descriptor take `limit` bytes of sample data (write or kernel copy, and
// positioned writes when `positioned`), then holds the writing thread until Release.
// Everything else goes straight to the system.
class TGateFileIO final : public TFileIO {
public:
    explicit TGateFileIO(int64_t limit, bool positioned = false)
        : limit_(limit), positioned_(positioned) {}
    int Open(const char* p, int f, mode_t m) override { return sys_.Open(p, f, m); }
    int OpenUnique(char* t, int f) override { return sys_.OpenUnique(t, f); }
    ssize_t Read(int fd, void* d, size_t b) override { return sys_.Read(fd, d, b); }
    ssize_t PRead(int fd, void* d, size_t b, off_t o) override { return sys_.PRead(fd, d, b, o); }
    ssize_t Write(int fd, const void* d, size_t b) override {
        // The header goes first and alone; it is no sample data.
        if (b > 80) Pass(fd, b);
        return sys_.Write(fd, d, b);
    }
    ssize_t PWrite(int fd, const void* d, size_t b, off_t o) override {
        if (positioned_ && b > 80) Pass(fd, b);
        return sys_.PWrite(fd, d, b, o);
    }
    int Allocate(int fd, off_t o, off_t l) override { return sys_.Allocate(fd, o, l); }
    void* Map(size_t l, int p, int f, int fd, off_t o) override { return sys_.Map(l, p, f, fd, o); }
    int Sync(int fd) override { return sys_.Sync(fd); }
    ssize_t CopyRange(int in, loff_t* oi, int out, loff_t* oo, size_t b) override {
        Pass(out, 0);
        const ssize_t n = sys_.CopyRange(in, oi, out, oo, b);
        if (n > 0) Count(out, n);
        return n;
    }
    int Rename(const char* a, const char* b) override { return sys_.Rename(a, b); }
    int Unlink(const char* p) override { return sys_.Unlink(p); }
    int Close(int fd) override {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            written_.erase(fd);
        }
        return sys_.Close(fd);
    }
    // How many threads are held now.
    int Held() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return held_;
    }
    void Release() {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        wake_.notify_all();
    }

private:
    // Holds the caller while its descriptor is over the limit; counts `bytes` once it passes.
    void Pass(int fd, size_t bytes) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!open_ && written_[fd] >= limit_) {
            ++held_;
            wake_.wait(lock, [&] { return open_; });
            --held_;
        }
        written_[fd] += int64_t(bytes);
    }
    void Count(int fd, int64_t bytes) {
        const std::lock_guard<std::mutex> lock(mutex_);
        written_[fd] += bytes;
    }

    TPosixFileIO sys_;
    const int64_t limit_;
    const bool positioned_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<int, int64_t> written_;
    bool open_ = false;
    int held_ = 0;
};
