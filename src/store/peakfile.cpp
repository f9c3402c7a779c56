#include "peakfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

#include "fileio.h"
#include "versionfiles.h"
#include "wavlayout.h"

static_assert(sizeof(TPeakEntry) == 4, "entries are stored as they lie in memory");
static_assert(std::endian::native == std::endian::little, "peak files are little-endian");

namespace {

constexpr uint32_t kFormat = 1;
constexpr uint32_t kLongFormat = 2;
constexpr size_t kHeaderBytes = 44;
constexpr size_t kLongHeaderBytes = 48;
constexpr size_t kChecksumBytes = 8;
constexpr uint64_t kP1 = 0x9E3779B185EBCA87ull, kP2 = 0xC2B2AE3D27D4EB4Full;

// Either form; size() says which.
struct THeader {
    std::array<uint8_t, kLongHeaderBytes> bytes{};
    size_t length = kHeaderBytes;
    uint8_t* data() { return bytes.data(); }
    const uint8_t* data() const { return bytes.data(); }
    size_t size() const { return length; }
};

bool LongForm(int64_t frames) {
    return uint64_t(frames) > 0xFFFFFFFFull;
}

size_t ExpectedEntries(int64_t frames, int channels) {
    return size_t(frames / kPeakBlockFrames + 1) * size_t(channels);
}

THeader MakeHeader(int64_t frames, int channels, size_t entries, const TLevels& levels) {
    THeader h;
    uint8_t* p = h.data();
    std::memcpy(p, "OVPK", 4);
    if (LongForm(frames)) {
        h.length = kLongHeaderBytes;
        PutLE32(p + 4, kLongFormat);
        PutLE64(p + 8, uint64_t(frames));
        p += 4;  // everything after the frames moves by the 4 extra bytes
    } else {
        PutLE32(p + 4, kFormat);
        PutLE32(p + 8, uint32_t(frames));
    }
    PutLE32(p + 12, uint32_t(channels));
    PutLE32(p + 16, uint32_t(entries));
    for (int c = 0; c < kMaxPeakChannels; ++c) {
        PutLE16(p + 20 + 2 * c, uint16_t(levels.channelPeak[c]));
    }
    PutLE16(p + 36, uint16_t(levels.peak));
    PutLE32(p + 40, uint32_t(levels.level));
    return h;
}

// All or nothing, over EINTR and short transfers; the file is read and written front to back.
bool ReadFully(int fd, void* data, size_t bytes) {
    auto* p = static_cast<uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t n = FileIO().Read(fd, p, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        bytes -= size_t(n);
    }
    return true;
}

bool WriteFully(int fd, const void* data, size_t bytes) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t n = FileIO().Write(fd, p, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        bytes -= size_t(n);
    }
    return true;
}

uint64_t Round(uint64_t acc, uint64_t word) {
    return std::rotl(acc + word * kP2, 31) * kP1;
}

}  // namespace

uint64_t PeakChecksum(const uint8_t* data, size_t bytes, uint64_t seed) {
    // Four independent lanes keep the multiplier busy; a table of an hour sums in well under a
    // millisecond.
    uint64_t lane[4] = {seed + kP1 + kP2, seed + kP2, seed, seed - kP1};
    size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        for (int k = 0; k < 4; ++k) {
            uint64_t w;
            std::memcpy(&w, data + i + 8 * k, 8);
            lane[k] = Round(lane[k], w);
        }
    }
    uint64_t h = std::rotl(lane[0], 1) + std::rotl(lane[1], 7) + std::rotl(lane[2], 12) +
                 std::rotl(lane[3], 18) + uint64_t(bytes);
    for (; i < bytes; ++i) h = Round(h, data[i]);
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    return h;
}

bool WritePeakFile(const QString& version, int64_t frames, int channels, const Tindexdata& table,
                   const TLevels& levels) {
    if (version.isEmpty() || table.size() != ExpectedEntries(frames, channels)) return false;
    const QByteArray name = QFile::encodeName(PeakFilePath(version));
    THeader h = MakeHeader(frames, channels, table.size(), levels);
    const auto* entries = reinterpret_cast<const uint8_t*>(table.data());
    const size_t entryBytes = table.size() * sizeof(TPeakEntry);
    const uint64_t sum = PeakChecksum(entries, entryBytes, PeakChecksum(h.data(), h.size()));
    uint8_t tail[kChecksumBytes];
    PutLE32(tail, uint32_t(sum));
    PutLE32(tail + 4, uint32_t(sum >> 32));
    const int fd = FileIO().Open(name.constData(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = WriteFully(fd, h.data(), h.size()) && WriteFully(fd, entries, entryBytes) &&
                    WriteFully(fd, tail, sizeof tail);
    if (FileIO().Close(fd) != 0 || !ok) {
        FileIO().Unlink(name.constData());
        return false;
    }
    return true;
}

bool ReadPeakFile(const QString& version, int64_t frames, int channels, Tindexdata& table,
                  TLevels& levels) {
    if (version.isEmpty() || channels < 1 || channels > kMaxPeakChannels) return false;
    const size_t entries = ExpectedEntries(frames, channels);
    const size_t entryBytes = entries * sizeof(TPeakEntry);
    const QByteArray name = QFile::encodeName(PeakFilePath(version));
    const int fd = FileIO().Open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    // What the header must say, byte for byte up to the levels.
    const THeader want = MakeHeader(frames, channels, entries, TLevels{});
    const size_t levelsAt = want.size() - 24;
    THeader h;
    h.length = want.size();
    Tindexdata read;
    uint8_t tail[kChecksumBytes];
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              uint64_t(st.st_size) == h.size() + entryBytes + kChecksumBytes &&
              ReadFully(fd, h.data(), h.size());
    // The header must describe this version before the entries are worth reading.
    ok = ok && std::memcmp(h.data(), want.data(), levelsAt) == 0;
    if (ok) {
        read.resize(entries);
        ok = ReadFully(fd, read.data(), entryBytes) && ReadFully(fd, tail, sizeof tail);
    }
    FileIO().Close(fd);
    if (!ok) return false;
    const uint64_t sum = PeakChecksum(reinterpret_cast<const uint8_t*>(read.data()), entryBytes,
                                      PeakChecksum(h.data(), h.size()));
    if (GetLE32(tail) != uint32_t(sum) || GetLE32(tail + 4) != uint32_t(sum >> 32)) return false;
    TLevels l;
    const uint8_t* p = h.data() + levelsAt;
    for (int c = 0; c < kMaxPeakChannels; ++c) l.channelPeak[c] = int16_t(GetLE16(p + 2 * c));
    l.peak = int16_t(GetLE16(p + 16));
    l.level = int32_t(GetLE32(p + 20));
    table = std::move(read);
    levels = l;
    return true;
}
