#pragma once
// Reading WAV images that other programs put on the clipboard. They may carry a longer format
// chunk, extra chunks, or a data size larger than what is there; we accept 16-bit PCM in 1 or 2
// channels, in RIFF or RF64 (whose ds64 chunk gives the data size), and never read past the
// bytes we were given.

#include <cstddef>
#include <cstdint>
#include <optional>

struct TWaveImage {
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    size_t dataOffset = 0;  // offset of the first sample in the image
    int64_t frames = 0;     // whole frames present
};

std::optional<TWaveImage> ParseWaveImage(const uint8_t* bytes, size_t size);
