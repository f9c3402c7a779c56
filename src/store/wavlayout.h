#pragma once
// The PCM WAV header that every version file, saved WAV and clipboard image carries: the
// canonical 44-byte RIFF header, or for sounds whose file would pass 4 GiB the 80-byte RF64
// form (EBU Tech 3306: "RF64", a ds64 chunk with the 64-bit sizes, then fmt and data, whose
// 32-bit sizes read 0xFFFFFFFF). Fields are read and written one by one in little-endian, never
// by casting bytes.

#include <array>
#include <cstddef>
#include <cstdint>

constexpr uint32_t kWavHeaderBytes = 44;
constexpr uint32_t kRf64HeaderBytes = 80;
// The largest file a 32-bit RIFF header describes.
constexpr uint64_t kMaxRiffFileBytes = 0xFFFFFFFFull;

// Whether `dataBytes` of samples need the RF64 form.
constexpr bool NeedsRf64(uint64_t dataBytes) {
    return dataBytes + kWavHeaderBytes > kMaxRiffFileBytes;
}
// Header bytes in front of `dataBytes` of samples, and the whole file's size.
constexpr uint32_t WavHeaderBytesFor(uint64_t dataBytes) {
    return NeedsRf64(dataBytes) ? kRf64HeaderBytes : kWavHeaderBytes;
}
constexpr uint64_t WavFileBytes(uint64_t dataBytes) {
    return dataBytes + WavHeaderBytesFor(dataBytes);
}

// The bytes of a header of either form: size() is 44 or 80.
class TWavHeaderBytes {
public:
    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    size_t size() const { return size_; }
    void resize(size_t size) { size_ = size; }
    uint8_t& operator[](size_t i) { return bytes_[i]; }
    uint8_t operator[](size_t i) const { return bytes_[i]; }

private:
    std::array<uint8_t, kRf64HeaderBytes> bytes_{};
    size_t size_ = kWavHeaderBytes;
};

struct TWavHeader {
    uint64_t riffSize = 36;  // file size - 8
    uint16_t formatTag = 1;  // 1: PCM
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint32_t byteRate = 176400;  // sampleRate * blockAlign
    uint16_t blockAlign = 4;     // channels * 2
    uint16_t bitsPerSample = 16;
    uint64_t dataSize = 0;  // bytes of samples that follow
    bool rf64 = false;      // the 80-byte RF64 form

    // A header for 16-bit PCM of this shape with `dataBytes` of samples, RF64 when they need it.
    static TWavHeader Pcm16(uint16_t channels, uint32_t sampleRate, uint64_t dataBytes);

    // Reads the fields from a header of either form (80 bytes must be readable when the first
    // four say "RF64"). The identifiers are not checked otherwise: version files are our own,
    // and clipboard input is checked by its own parser.
    static TWavHeader Parse(const uint8_t* bytes);
    TWavHeaderBytes Bytes() const;
    // Writes HeaderBytes() bytes.
    void WriteTo(uint8_t* bytes) const;
    uint32_t HeaderBytes() const { return rf64 ? kRf64HeaderBytes : kWavHeaderBytes; }

    // Sets both sizes for `dataBytes` of samples, choosing the form they need.
    void SetDataBytes(uint64_t dataBytes);
    // Sets both sizes for `dataBytes` of samples, keeping the form (a file whose header was
    // written before its length was known).
    void SetSizes(uint64_t dataBytes);
    // Adds `delta` bytes to both size fields (edits that change the length).
    void AddDataBytes(int64_t delta) { SetDataBytes(uint64_t(int64_t(dataSize) + delta)); }

    bool operator==(const TWavHeader&) const = default;
};

// Derived format of a version: data bytes come from the RIFF size, frames from integer division.
struct TWavFormat {
    uint64_t dataBytes = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    int64_t frames = 0;
    double duration = 0;
    bool pcm = true;
};
TWavFormat InterpretHeader(const TWavHeader& h);

// Little-endian field helpers shared by every parser of outside data.
inline uint16_t GetLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetLE64(const uint8_t* p) {
    return uint64_t(GetLE32(p)) | (uint64_t(GetLE32(p + 4)) << 32);
}
inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLE64(uint8_t* p, uint64_t v) {
    PutLE32(p, static_cast<uint32_t>(v));
    PutLE32(p + 4, static_cast<uint32_t>(v >> 32));
}
