#pragma once
// Opening a 16-bit PCM WAV whose samples already have our layout: the sample bytes go from file
// to file in the kernel (copy_file_range; a reflink where the file system shares blocks) and the
// peak table is scanned from the copy, instead of passing every byte through the demuxer, a
// buffer and write(2). Taken only where the result is the same as the demuxer's, byte for byte;
// everything else goes through TDecoder's own loop. Worker thread only.

#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>

class TFilter;
class TLoadingPeaks;
struct TWavHeader;
struct AVFormatContext;
struct AVPacket;

// The sample bytes of a source, as the demuxer would hand them on.
struct TWavSpan {
    int64_t offset = 0;  // of the first sample byte in the source
    int64_t bytes = 0;   // whole frames only
};

// Where the samples of a WAV source lie, when copying them gives exactly what the demuxer does:
// a plain RIFF file whose one audio stream it reads as 16-bit little-endian PCM, `first` being
// the first packet it returned (its position and bytes are checked against the file) and
// nothing that could be a further data chunk after the first one. fd: the source, open for
// reading; blockAlign: bytes per frame of the output.
std::optional<TWavSpan> FindWavSpan(int fd, const AVFormatContext* format, const AVPacket* first,
                                    uint16_t blockAlign);

// Writes destPath as our layout for this shape, with the span's bytes copied from fd, feeding
// them to filter in order. progress: the percentage of the span copied as it goes. A source
// that shrinks meanwhile gives the whole frames copied. Raises EAppError / EOSError when the
// destination cannot be written; the file may then stay behind, partly written. Returns the
// sample bytes written; a span that needs it is written in the RF64 form. loading, when given,
// is shown each step's peaks once its bytes are in the destination. The peaks are scanned in
// `parts` stretches on threads of their own as the copy passes them (0: one per hardware thread,
// at most 8, each at least 16 MiB), and joined into filter.
int64_t CopyWavSpan(int fd, const TWavSpan& span, const QString& destPath, uint16_t channels,
                    uint32_t sampleRate, TFilter& filter, std::atomic<int32_t>& progress,
                    TLoadingPeaks* loading = nullptr, int parts = 0);

// Rewrites a file of ours whose header.dataSize sample bytes lie from byte `fromOffset` so that
// they lie behind `header` (the RF64 one of a sound that outgrew the 44-byte header, or the
// 44-byte one of a sound that turned out shorter than its source declared), then writes the
// header and cuts the file to its new length. Raises EAppError / EOSError (a cancel included);
// the file is then not usable.
void MoveUnderHeader(const QString& path, uint32_t fromOffset, const TWavHeader& header);

