#pragma once
// The canonical 44-byte PCM WAV header that every version file, saved WAV and clipboard image
// carries. Fields are read and written one by one in little-endian, never by casting bytes.

#include <array>
#include <cstddef>
#include <cstdint>

constexpr uint32_t kWavHeaderBytes = 44;

using TWavHeaderBytes = std::array<uint8_t, kWavHeaderBytes>;

struct TWavHeader {
    uint32_t riffSize = 36;  // file size - 8
    uint16_t formatTag = 1;  // 1: PCM
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint32_t byteRate = 176400;  // sampleRate * blockAlign
    uint16_t blockAlign = 4;     // channels * 2
    uint16_t bitsPerSample = 16;
    uint32_t dataSize = 0;  // bytes of samples that follow

    // A header for 16-bit PCM of this shape with `dataBytes` of samples.
    static TWavHeader Pcm16(uint16_t channels, uint32_t sampleRate, uint32_t dataBytes);

    // Reads the fields from 44 bytes. The identifiers ("RIFF", "WAVE", ...) are not checked:
    // version files are our own, and clipboard input is checked by its own parser.
    static TWavHeader Parse(const uint8_t* bytes);
    TWavHeaderBytes Bytes() const;
    void WriteTo(uint8_t* bytes) const;

    // Adds `delta` bytes to both size fields (edits that change the length).
    void AddDataBytes(int64_t delta);

    bool operator==(const TWavHeader&) const = default;
};

// Derived format of a version: data bytes come from the RIFF size, frames from integer division.
struct TWavFormat {
    uint32_t dataBytes = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t frames = 0;
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
inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
