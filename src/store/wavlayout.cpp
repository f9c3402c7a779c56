#include "wavlayout.h"

#include <cstring>

namespace {

// Offsets in the RF64 form: the ds64 chunk comes first, as readers expect.
constexpr size_t kDs64 = 12;
constexpr uint32_t kDs64Body = 28;
constexpr size_t kRf64Fmt = 48;
constexpr size_t kRf64Data = 72;
constexpr uint32_t kSizeInDs64 = 0xFFFFFFFF;

void ParseFmt(const uint8_t* fmt, TWavHeader& h) {
    h.formatTag = GetLE16(fmt);
    h.channels = GetLE16(fmt + 2);
    h.sampleRate = GetLE32(fmt + 4);
    h.byteRate = GetLE32(fmt + 8);
    h.blockAlign = GetLE16(fmt + 12);
    h.bitsPerSample = GetLE16(fmt + 14);
}

void WriteFmt(uint8_t* chunk, const TWavHeader& h) {
    std::memcpy(chunk, "fmt ", 4);
    PutLE32(chunk + 4, 16);
    PutLE16(chunk + 8, h.formatTag);
    PutLE16(chunk + 10, h.channels);
    PutLE32(chunk + 12, h.sampleRate);
    PutLE32(chunk + 16, h.byteRate);
    PutLE16(chunk + 20, h.blockAlign);
    PutLE16(chunk + 22, h.bitsPerSample);
}

}  // namespace

TWavHeader TWavHeader::Pcm16(uint16_t channels, uint32_t sampleRate, uint64_t dataBytes) {
    TWavHeader h;
    h.channels = channels;
    h.sampleRate = sampleRate;
    h.blockAlign = static_cast<uint16_t>(channels * 2);
    h.byteRate = sampleRate * h.blockAlign;
    h.bitsPerSample = 16;
    h.SetDataBytes(dataBytes);
    return h;
}

void TWavHeader::SetDataBytes(uint64_t dataBytes) {
    rf64 = NeedsRf64(dataBytes);
    SetSizes(dataBytes);
}

void TWavHeader::SetSizes(uint64_t dataBytes) {
    dataSize = dataBytes;
    riffSize = dataBytes + HeaderBytes() - 8;
}

TWavHeader TWavHeader::Parse(const uint8_t* b) {
    TWavHeader h;
    if (std::memcmp(b, "RF64", 4) == 0) {
        h.rf64 = true;
        h.riffSize = GetLE64(b + kDs64 + 8);
        h.dataSize = GetLE64(b + kDs64 + 16);
        ParseFmt(b + kRf64Fmt + 8, h);
        return h;
    }
    h.riffSize = GetLE32(b + 4);
    ParseFmt(b + 20, h);
    h.dataSize = GetLE32(b + 40);
    return h;
}

void TWavHeader::WriteTo(uint8_t* b) const {
    if (!rf64) {
        std::memcpy(b + 0, "RIFF", 4);
        PutLE32(b + 4, static_cast<uint32_t>(riffSize));
        std::memcpy(b + 8, "WAVE", 4);
        WriteFmt(b + 12, *this);
        std::memcpy(b + 36, "data", 4);
        PutLE32(b + 40, static_cast<uint32_t>(dataSize));
        return;
    }
    std::memcpy(b + 0, "RF64", 4);
    PutLE32(b + 4, kSizeInDs64);
    std::memcpy(b + 8, "WAVE", 4);
    std::memcpy(b + kDs64, "ds64", 4);
    PutLE32(b + kDs64 + 4, kDs64Body);
    PutLE64(b + kDs64 + 8, riffSize);
    PutLE64(b + kDs64 + 16, dataSize);
    PutLE64(b + kDs64 + 24, blockAlign ? dataSize / blockAlign : 0);  // frames
    PutLE32(b + kDs64 + 32, 0);                                        // no table of sizes
    WriteFmt(b + kRf64Fmt, *this);
    std::memcpy(b + kRf64Data, "data", 4);
    PutLE32(b + kRf64Data + 4, kSizeInDs64);
}

TWavHeaderBytes TWavHeader::Bytes() const {
    TWavHeaderBytes out;
    out.resize(HeaderBytes());
    WriteTo(out.data());
    return out;
}

TWavFormat InterpretHeader(const TWavHeader& h) {
    TWavFormat f;
    const uint64_t head = h.HeaderBytes() - 8;
    f.dataBytes = h.riffSize >= head ? h.riffSize - head : 0;
    f.pcm = h.formatTag == 1;
    f.channels = h.channels;
    f.sampleRate = h.sampleRate;
    const uint64_t frameBytes = static_cast<uint64_t>(h.channels) * 2;
    f.frames = frameBytes ? int64_t(f.dataBytes / frameBytes) : 0;
    f.duration = f.sampleRate ? static_cast<double>(f.frames) / f.sampleRate : 0.0;
    return f;
}
