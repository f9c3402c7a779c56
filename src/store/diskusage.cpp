#include "diskusage.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <map>
#include <vector>

namespace {

struct TExtent {
    uint64_t physical, length;
};

struct TFileBlocks {
    int64_t size = 0;
    std::vector<TExtent> shared;  // only the extents the file system marks shared
};

// The file's size and its shared extents, from FIEMAP; none where the call is not supported.
TFileBlocks ReadBlocks(const QString& path) {
    TFileBlocks blocks;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return blocks;
    struct stat st {};
    if (::fstat(fd, &st) == 0) blocks.size = st.st_size;
    constexpr uint32_t kBatch = 256;
    std::vector<uint8_t> buffer(sizeof(fiemap) + kBatch * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    uint64_t start = 0;
    for (bool last = false; !last;) {
        std::fill(buffer.begin(), buffer.end(), 0);
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        // No FIEMAP_FLAG_SYNC: it would write back a fresh version on the caller's thread (the
        // window's), and blocks a clone shares are on the disk already.
        map->fm_flags = 0;
        map->fm_extent_count = kBatch;
        if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents == 0) break;
        for (uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& e = map->fm_extents[i];
            if (e.fe_flags & FIEMAP_EXTENT_SHARED) blocks.shared.push_back({e.fe_physical, e.fe_length});
            last = last || (e.fe_flags & FIEMAP_EXTENT_LAST);
            start = e.fe_logical + e.fe_length;
        }
    }
    ::close(fd);
    return blocks;
}

// Disjoint physical ranges, start -> end.
class TCovered {
public:
    // How much of [a, b) is covered already.
    uint64_t Overlap(uint64_t a, uint64_t b) const {
        uint64_t total = 0;
        auto it = ranges_.upper_bound(a);
        if (it != ranges_.begin()) --it;
        for (; it != ranges_.end() && it->first < b; ++it) {
            const uint64_t lo = std::max(a, it->first), hi = std::min(b, it->second);
            if (hi > lo) total += hi - lo;
        }
        return total;
    }
    void Add(uint64_t a, uint64_t b) {
        auto it = ranges_.upper_bound(a);
        if (it != ranges_.begin() && std::prev(it)->second >= a) --it;
        while (it != ranges_.end() && it->first <= b) {
            a = std::min(a, it->first);
            b = std::max(b, it->second);
            it = ranges_.erase(it);
        }
        ranges_.emplace(a, b);
    }

private:
    std::map<uint64_t, uint64_t> ranges_;
};

}  // namespace

int64_t BytesCountingSharedOnce(const QStringList& counted, const QStringList& besides) {
    TCovered covered;
    for (const QString& path : besides) {
        for (const TExtent& e : ReadBlocks(path).shared) covered.Add(e.physical, e.physical + e.length);
    }
    int64_t bytes = 0;
    for (const QString& path : counted) {
        const TFileBlocks blocks = ReadBlocks(path);
        int64_t again = 0;
        for (const TExtent& e : blocks.shared) {
            again += int64_t(covered.Overlap(e.physical, e.physical + e.length));
            covered.Add(e.physical, e.physical + e.length);
        }
        // Extents round up to whole blocks; a file never counts below nothing.
        bytes += std::max<int64_t>(blocks.size - again, 0);
    }
    return bytes;
}
