#include "wavlayout.h"

#include <cstring>

TWavHeader TWavHeader::Pcm16(uint16_t channels, uint32_t sampleRate, uint32_t dataBytes) {
    TWavHeader h;
    h.channels = channels;
    h.sampleRate = sampleRate;
    h.blockAlign = static_cast<uint16_t>(channels * 2);
    h.byteRate = sampleRate * h.blockAlign;
    h.bitsPerSample = 16;
    h.dataSize = dataBytes;
    h.riffSize = dataBytes + 36;
    return h;
}

TWavHeader TWavHeader::Parse(const uint8_t* b) {
    TWavHeader h;
    h.riffSize = GetLE32(b + 4);
    h.formatTag = GetLE16(b + 20);
    h.channels = GetLE16(b + 22);
    h.sampleRate = GetLE32(b + 24);
    h.byteRate = GetLE32(b + 28);
    h.blockAlign = GetLE16(b + 32);
    h.bitsPerSample = GetLE16(b + 34);
    h.dataSize = GetLE32(b + 40);
    return h;
}

void TWavHeader::WriteTo(uint8_t* b) const {
    std::memcpy(b + 0, "RIFF", 4);
    PutLE32(b + 4, riffSize);
    std::memcpy(b + 8, "WAVE", 4);
    std::memcpy(b + 12, "fmt ", 4);
    PutLE32(b + 16, 16);
    PutLE16(b + 20, formatTag);
    PutLE16(b + 22, channels);
    PutLE32(b + 24, sampleRate);
    PutLE32(b + 28, byteRate);
    PutLE16(b + 32, blockAlign);
    PutLE16(b + 34, bitsPerSample);
    std::memcpy(b + 36, "data", 4);
    PutLE32(b + 40, dataSize);
}

TWavHeaderBytes TWavHeader::Bytes() const {
    TWavHeaderBytes out{};
    WriteTo(out.data());
    return out;
}

void TWavHeader::AddDataBytes(int64_t delta) {
    riffSize = static_cast<uint32_t>(riffSize + delta);
    dataSize = static_cast<uint32_t>(dataSize + delta);
}

TWavFormat InterpretHeader(const TWavHeader& h) {
    TWavFormat f;
    f.dataBytes = h.riffSize - 36;
    f.pcm = h.formatTag == 1;
    f.channels = h.channels;
    f.sampleRate = h.sampleRate;
    const uint32_t frameBytes = static_cast<uint32_t>(h.channels) * 2;
    f.frames = frameBytes ? f.dataBytes / frameBytes : 0;
    f.duration = f.sampleRate ? static_cast<double>(f.frames) / f.sampleRate : 0.0;
    return f;
}
