#include "wavcopy.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "apperror.h"
#include "cache.h"
#include "fileio.h"
#include "loadingpeaks.h"
#include "messages.h"
#include "wavlayout.h"

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

namespace {

// Copied, then scanned from the copy while its pages are fresh, this much at a time; a multiple
// of every frame size, so each step hands the filter whole samples.
constexpr int64_t kStepBytes = 8 << 20;
// Bytes after the data chunk that are searched for a further one; beyond this the source goes
// the demuxer's way.
constexpr int64_t kMaxTailBytes = 1 << 20;
// The buffer of the read/write copy used where the kernel copy is refused.
constexpr size_t kFallbackBytes = 1 << 20;
// Moved at a time when a sound turns out to need the RF64 header after all.
constexpr uint64_t kMoveBytes = 8 << 20;

[[noreturn]] void RaiseWriteError(int code, const QString& path) {
    if (code == ENOSPC || code == EDQUOT) throw EAppError(Msg("outofmemory"));
    throw EOSError(code, path.toStdString());
}

bool ReadAt(int fd, void* data, size_t bytes, int64_t offset) {
    auto* p = static_cast<uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t n = ::pread(fd, p, bytes, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        bytes -= size_t(n);
        offset += n;
    }
    return true;
}

// The destination while it is written; closed whatever happens.
class TDest {
public:
    // Writes to an open file it does not own.
    TDest(int fd, const QString& path) : path_(path), fd_(fd), owned_(false) {}
    // keep: an existing file, written in place.
    explicit TDest(const QString& path, bool keep = false) : path_(path) {
        const QByteArray name = QFile::encodeName(path);
        do {
            fd_ = keep ? FileIO().Open(name.constData(), O_RDWR | O_CLOEXEC)
                       : OpenEmptied(name.constData(), O_RDWR | O_CLOEXEC, 0644);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) RaiseWriteError(errno, path);
        shares_ = MayShareBlocks(fd_);
    }
    ~TDest() {
        if (owned_ && fd_ >= 0) FileIO().Close(fd_);
    }
    int Fd() const { return fd_; }

    void WriteAt(const void* data, size_t bytes, int64_t offset) {
        const auto* p = static_cast<const uint8_t*>(data);
        while (bytes > 0) {
            const ssize_t n = FileIO().PWrite(fd_, p, bytes, offset);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) RaiseWriteError(errno, path_);
            if (n == 0) RaiseWriteError(ENOSPC, path_);
            p += n;
            bytes -= size_t(n);
            offset += n;
        }
    }

    // Copies up to `bytes` from the source at `from` to `to`; fewer only where the source ends.
    int64_t CopyFrom(int source, int64_t from, int64_t to, int64_t bytes) {
        int64_t done = 0;
        // The part before a block boundary on its own, so the kernel can share the rest. Where
        // it cannot (ext4) the copy is cut nowhere: page-aligned copies behind a 44-byte header
        // are a fifth slower there than the same bytes copied in one.
        const int64_t head = shares_ ? CopyHeadBytes(from, to, bytes) : 0;
        while (done < bytes) {
            const int64_t want = done < head ? head - done : bytes - done;
            const ssize_t n = kernel_ ? KernelCopy(source, from + done, to + done, want)
                                      : BufferCopy(source, from + done, to + done, want);
            if (n < 0) continue;  // switched to the buffer copy, or interrupted
            if (n == 0) break;
            done += n;
        }
        return done;
    }

    // Hands the bytes [offset, offset + bytes) of fd to the filter, read from the page cache.
    void Scan(int fd, int64_t offset, int64_t bytes, TFilter& filter) {
        if (bytes <= 0) return;
        const int64_t page = ::sysconf(_SC_PAGESIZE);
        const int64_t start = offset / page * page;
        const size_t length = size_t(offset + bytes - start);
        void* map = FileIO().Map(length, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, start);
        if (map == MAP_FAILED) RaiseWriteError(errno, path_);
        filter.Feed(
            reinterpret_cast<const int16_t*>(static_cast<const uint8_t*>(map) + (offset - start)),
            size_t(bytes));
        ::munmap(map, length);
    }

    void Truncate(int64_t bytes) {
        if (::ftruncate(fd_, bytes) != 0) RaiseWriteError(errno, path_);
    }

    // Closing can be where a delayed write error shows (network file systems).
    void Close() {
        const int fd = fd_;
        fd_ = -1;
        if (FileIO().Close(fd) != 0 && errno != EINTR) RaiseWriteError(errno, path_);
    }

private:
    // -1 to be called again, 0 at the source's end.
    ssize_t KernelCopy(int source, int64_t from, int64_t to, int64_t bytes) {
        loff_t in = from, out = to;
        const ssize_t n = FileIO().CopyRange(source, &in, fd_, &out, size_t(bytes));
        if (n >= 0) return n;
        if (errno == EINTR) return -1;
        // File systems and kernels that cannot copy between these two files.
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
            kernel_ = false;
            return -1;
        }
        RaiseWriteError(errno, path_);
    }

    ssize_t BufferCopy(int source, int64_t from, int64_t to, int64_t bytes) {
        buffer_.resize(kFallbackBytes);
        const ssize_t n =
            ::pread(source, buffer_.data(), size_t(std::min<int64_t>(bytes, kFallbackBytes)), from);
        if (n < 0 && errno == EINTR) return -1;
        // A source that cannot be read further ends there, as it does for the demuxer.
        if (n <= 0) return 0;
        WriteAt(buffer_.data(), size_t(n), to);
        return n;
    }

    QString path_;
    int fd_ = -1;
    bool owned_ = true;
    bool kernel_ = true;
    bool shares_ = true;
    std::vector<uint8_t> buffer_;
};

}  // namespace

std::optional<TWavSpan> FindWavSpan(int fd, const AVFormatContext* format, const AVPacket* first,
                                    uint16_t blockAlign) {
    // One audio stream (a WAV with video appended has two), read from the start of a sample.
    if (format->nb_streams != 1 || first->stream_index != 0 || blockAlign == 0) return {};
    const int64_t pos = first->pos;
    if (pos < 20 || pos % 2 != 0 || first->size <= 0) return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const int64_t size = st.st_size;
    if (pos + first->size > size) return {};

    // RIFF only: RF64 takes its sizes from elsewhere, RIFX is big-endian.
    uint8_t head[12];
    if (!ReadAt(fd, head, sizeof head, 0)) return {};
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return {};
    // The packet starts right after the header of the data chunk the demuxer chose.
    uint8_t chunk[8];
    if (!ReadAt(fd, chunk, sizeof chunk, pos - 8) || std::memcmp(chunk, "data", 4) != 0) return {};
    const uint32_t declared = GetLE32(chunk + 4);
    // 0 and 0xFFFFFFFF are read as "up to the end of the file"; a size past the end is cut there.
    const int64_t end = declared == 0 || declared == 0xFFFFFFFF
                            ? size
                            : std::min<int64_t>(pos + int64_t(declared), size);
    if (end < pos + first->size) return {};
    // After the chunk the demuxer looks for another "data" chunk and goes on with its samples:
    // leave any source with those four letters after the chunk to it.
    if (end < size) {
        if (size - end > kMaxTailBytes) return {};
        std::vector<uint8_t> tail(size_t(size - end));
        if (!ReadAt(fd, tail.data(), tail.size(), end)) return {};
        static constexpr char kData[] = {'d', 'a', 't', 'a'};
        if (std::search(tail.begin(), tail.end(), std::begin(kData), std::end(kData)) != tail.end())
            return {};
    }
    // What the demuxer returned must be what the file holds there.
    std::vector<uint8_t> bytes(size_t(first->size));
    if (!ReadAt(fd, bytes.data(), bytes.size(), pos)) return {};
    if (std::memcmp(bytes.data(), first->data, bytes.size()) != 0) return {};
    return TWavSpan{pos, (end - pos) / blockAlign * blockAlign};
}

namespace {

// How far the copy has come, for the threads that scan behind it.
class TCopied {
public:
    void Set(int64_t bytes, bool final) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            bytes_ = bytes;
            final_ = final_ || final;
        }
        changed_.notify_all();
    }
    // Waits until `bytes` are copied, or the copy ended before; what is copied up to then.
    int64_t WaitFor(int64_t bytes) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return bytes_ >= bytes || final_; });
        return std::min(bytes_, bytes);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int64_t bytes_ = 0;
    bool final_ = false;
};

int ScanParts(int64_t bytes, int parts) {
    if (parts <= 0) {
        constexpr int64_t kLeastPartBytes = 2 * kStepBytes;
        parts = int(std::clamp<int64_t>(bytes / kLeastPartBytes, 1,
                                        std::max(1u, std::thread::hardware_concurrency())));
    }
    return std::clamp(parts, 1, 8);
}

}  // namespace

int64_t CopyWavSpan(int fd, const TWavSpan& span, const QString& destPath, uint16_t channels,
                    uint32_t sampleRate, TFilter& filter, std::atomic<int32_t>& progress,
                    TLoadingPeaks* loading, int parts) {
    TDest out(destPath);
    TWavHeader header = TWavHeader::Pcm16(channels, sampleRate, uint64_t(span.bytes));
    const int64_t head = header.HeaderBytes();
    header.riffSize = 0;  // set at the end; a file left half written shows as empty
    header.dataSize = 0;
    const TWavHeaderBytes headerBytes = header.Bytes();
    out.WriteAt(headerBytes.data(), headerBytes.size(), 0);

    const int64_t align = int64_t(channels) * 2;
    // The stretches start on peak blocks, so each one's blocks are the joined table's.
    const int n = ScanParts(span.bytes, parts);
    const int64_t blocks = span.bytes / align / kPeakBlockFrames;
    std::vector<int64_t> cut(size_t(n) + 1);
    for (int k = 0; k < n; ++k) cut[size_t(k)] = blocks * k / n * kPeakBlockFrames * align;
    cut[size_t(n)] = span.bytes;
    std::vector<std::unique_ptr<TFilter>> stretch;
    for (int k = 1; k < n; ++k)
        stretch.push_back(std::make_unique<TFilter>(channels, cut[size_t(k)] / align));

    // Each stretch is scanned on a thread of its own, a step at a time as soon as the copy has
    // it, from the source's own pages: the same bytes, and where the copy was a clone (XFS,
    // Btrfs) the new file's pages are not in the cache at all. The view of the load takes each
    // filter's blocks as they close: no second pass.
    TCopied copied;
    const auto scan = [&](int k) {
        TFilter& into = k == 0 ? filter : *stretch[size_t(k) - 1];
        std::unique_ptr<TLoadingPeaks::TWriter> shown;
        if (loading)
            shown = std::make_unique<TLoadingPeaks::TWriter>(*loading, cut[size_t(k)] / align);
        size_t shownEntries = 0;
        for (int64_t at = cut[size_t(k)]; at < cut[size_t(k) + 1];) {
            const int64_t until = copied.WaitFor(std::min(at + kStepBytes, cut[size_t(k) + 1]));
            if (until <= at) break;
            out.Scan(fd, span.offset + at, until - at, into);
            at = until;
            if (shown) {
                const size_t blocksClosed = (into.ClosedEntries() - shownEntries) / channels;
                shown->AddBlocks(into.Entries() + shownEntries, blocksClosed,
                                 int64_t(blocksClosed) * kPeakBlockFrames);
                shownEntries += blocksClosed * channels;
                shown->Publish();
            }
        }
    };
    std::vector<std::future<void>> scanning;
    // Declared after what the scans use: a copy that throws (a cancel, a full disk) ends them
    // here and waits for them before anything they use goes.
    struct TEnd {
        TCopied& copied;
        std::vector<std::future<void>>& scans;
        ~TEnd() {
            copied.Set(0, true);  // nothing more to scan
            for (std::future<void>& f : scans)
                if (f.valid()) f.wait();
        }
    } end{copied, scanning};
    for (int k = 0; k < n; ++k) scanning.push_back(std::async(std::launch::async, scan, k));

    int64_t done = 0;
    while (done < span.bytes) {
        const int64_t want = std::min(kStepBytes, span.bytes - done);
        const int64_t got = out.CopyFrom(fd, span.offset + done, head + done, want);
        // A source cut short meanwhile: keep its whole frames.
        const int64_t whole = got == want ? got : got / align * align;
        done += whole;
        copied.Set(done, got < want);
        progress.store(int32_t(done * 100 / span.bytes), std::memory_order_relaxed);
        if (got < want) {
            out.Truncate(head + done);
            break;
        }
    }
    copied.Set(done, true);
    for (std::future<void>& f : scanning) f.get();
    // The stretches the copy reached, in order: each starts where the one before ends.
    for (int k = 1; k < n && cut[size_t(k)] < done; ++k)
        if (!filter.Append(*stretch[size_t(k) - 1]))
            throw EOSError(EIO, destPath.toStdString());  // never expected: as a failed read
    header.SetSizes(uint64_t(done));
    const TWavHeaderBytes finalBytes = header.Bytes();
    out.WriteAt(finalBytes.data(), finalBytes.size(), 0);
    out.Close();
    return done;
}

void MoveUnderHeader(const QString& path, uint32_t fromOffset, const TWavHeader& header) {
    TDest file(path, true);
    const int64_t from = fromOffset;
    const int64_t to = header.HeaderBytes();
    const uint64_t total = header.dataSize;
    std::vector<uint8_t> block(size_t(std::min<uint64_t>(total, kMoveBytes)));
    // Up from the end backwards, down from the start forwards: no block is overwritten before
    // it has moved.
    for (uint64_t done = 0; done < total;) {
        ThrowIfCancelled();
        const uint64_t n = std::min<uint64_t>(total - done, kMoveBytes);
        const int64_t at = int64_t(to > from ? total - done - n : done);
        if (!ReadAt(file.Fd(), block.data(), size_t(n), from + at))
            throw EAppError("The sound could not be moved under its header: " +
                            path.toStdString());
        file.WriteAt(block.data(), size_t(n), to + at);
        done += n;
    }
    const TWavHeaderBytes bytes = header.Bytes();
    file.WriteAt(bytes.data(), bytes.size(), 0);
    if (to < from) file.Truncate(to + int64_t(total));
    file.Close();
}
