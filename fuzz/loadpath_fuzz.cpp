// The whole load path on arbitrary bytes held in memory: FFmpeg reads them through a custom I/O
// context, the decoder converts every frame to 16 bits and writes the version file, which is
// then opened and read back as the document does. Any outcome but a consistent version file,
// a refusal or one of our own errors is a fault.
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "apperror.h"
#include "decoder.h"
#include "largefile.h"
#include "wavlayout.h"

namespace {

// A tiny input may legally decode to gigabytes of silence: the version file stops growing
// here (its write fails with EFBIG, which the decoder raises as an error).
constexpr rlim_t kMaxVersionBytes = 16 << 20;

// One version file per process, rewritten for every input; in memory where the system has it.
const QString& VersionPath() {
    static const QString path = [] {
        const char* dir = std::getenv("TMPDIR");
        QByteArray base = dir != nullptr && *dir ? QByteArray(dir)
                          : access("/dev/shm", W_OK) == 0 ? QByteArray("/dev/shm")
                                                           : QByteArray("/tmp");
        QByteArray templ = base + "/ovload-XXXXXX";
        const int fd = mkstemp(templ.data());
        if (fd < 0) std::abort();
        close(fd);
        return QString::fromLocal8Bit(templ);
    }();
    return path;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kMaxVersionBytes, kMaxVersionBytes};
    setrlimit(RLIMIT_FSIZE, &limit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TDecoder decoder(data, size, VersionPath());
    if (!decoder.Supported()) return 0;
    Check(decoder.Channels() >= 1 && decoder.Channels() <= 2 && decoder.SampleRate() > 0 &&
          decoder.Filter() != nullptr);
    std::atomic<int32_t> progress{0};
    try {
        Check(decoder.Decode(progress));
    } catch (const EAppError&) {
        // Too long, nothing decodable, or the size limit above: a refusal, not a fault.
        return 0;
    }
    Check(progress == 0);
    (void)decoder.LengthWarning();

    // The version file as the document opens it: a complete 16-bit header matching the decoder,
    // sizes that match the file, and every sample readable.
    TLargeFile version(VersionPath());
    const TWavFormat f = InterpretHeader(TWavHeader::Parse(version.ReadHeader().data()));
    Check(f.pcm && f.channels == decoder.Channels() && f.sampleRate == decoder.SampleRate());
    Check(f.dataBytes + version.DataOffset() == version.FileSize());
    Check(f.dataBytes % (2u * f.channels) == 0);
    if (version.SampleCount() > 0) {
        int16_t ends[2];
        version.ReadSamples(ends, 0, 0);
        version.ReadSamples(ends + 1, version.SampleCount() - 1, version.SampleCount() - 1);
    }
    Tindexdata peaks;
    decoder.Filter()->ExportPeaks(peaks);
    Check(peaks.size() >= 2u * f.channels);
    return 0;
}
