#pragma once
// What a load got against what the file declares: a sound cropped or padded by damage must be
// said, never passed off as the whole file.

#include <QString>
#include <cstdint>

struct AVFormatContext;
struct AVStream;

struct TDeclaredLength {
    int64_t frames = -1;    // what the file's header counts; -1 when it counts nothing exactly
    int64_t tolerance = 0;  // by how many frames an undamaged decode may differ from it
};

// The length the header of `stream` declares, in frames at `sampleRate`. Only counts the file
// states (a WAV or AIFF data size, a FLAC or Xing frame count...) and not a guess from the bit
// rate. A WAV file's head is read again for its data size; the read position is kept. Lossless
// codecs must match to the frame; lossy ones may differ by their priming and padding, up to two
// codec frames.
TDeclaredLength DeclaredLength(AVFormatContext* format, const AVStream* stream,
                               uint32_t sampleRate);

// Empty when `decoded` frames match what was declared, or nothing was; otherwise the warning
// for the user, in the interface language, giving both lengths.
QString LengthWarning(const TDeclaredLength& declared, int64_t decoded, uint32_t sampleRate);

// A length as "m:ss.mmm", or "h:mm:ss.mmm" from an hour up; `decimals` (0 to 6) of a second.
QString LengthText(int64_t frames, uint32_t sampleRate, int decimals = 3);
