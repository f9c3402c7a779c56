#include "waveimage.h"

#include <algorithm>
#include <cstring>

#include "wavlayout.h"

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

}  // namespace

std::optional<TWaveImage> ParseWaveImage(const uint8_t* b, size_t size) {
    const bool rf64 = size >= 12 && std::memcmp(b, "RF64", 4) == 0;
    if (size < 12 || (!rf64 && std::memcmp(b, "RIFF", 4) != 0) ||
        std::memcmp(b + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    // RF64 keeps the real data size in its first chunk, the data chunk's own saying 0xFFFFFFFF.
    uint64_t rf64Data = 0;
    if (rf64) {
        if (size < 12 + 8 + 24 || std::memcmp(b + 12, "ds64", 4) != 0) return std::nullopt;
        rf64Data = GetLE64(b + 12 + 8 + 8);
    }
    bool haveFormat = false;
    TWaveImage out;
    size_t pos = 12;
    while (pos + 8 <= size) {
        const uint8_t* id = b + pos;
        const uint32_t chunkSize = GetLE32(b + pos + 4);
        const size_t body = pos + 8;
        const size_t available = size - body;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            if (chunkSize < 16 || available < 16) return std::nullopt;
            uint16_t tag = GetLE16(b + body);
            const uint16_t channels = GetLE16(b + body + 2);
            const uint16_t bits = GetLE16(b + body + 14);
            // The extensible form names its real format in the first two bytes of its GUID.
            if (tag == kFormatExtensible && chunkSize >= 40 && available >= 40) {
                tag = GetLE16(b + body + 24);
            }
            if (tag != kFormatPcm || bits != 16 || channels < 1 || channels > 2)
                return std::nullopt;
            out.channels = channels;
            out.sampleRate = GetLE32(b + body + 4);
            haveFormat = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (!haveFormat) return std::nullopt;
            const uint64_t declared = rf64 && chunkSize == 0xFFFFFFFF ? rf64Data : chunkSize;
            const size_t bytes = size_t(std::min<uint64_t>(declared, available));
            out.dataOffset = body;
            out.frames = static_cast<int64_t>(bytes / (size_t(out.channels) * 2));
            return out;
        }
        // Chunks are padded to even sizes.
        const uint64_t next = uint64_t(body) + chunkSize + (chunkSize & 1);
        if (next > size) break;
        pos = static_cast<size_t>(next);
    }
    return std::nullopt;
}
