// Feeds arbitrary bytes to TDecoder as a sound file. The decoder must refuse or decode them
// without crashing, and a decode must end in a complete header or one of our own errors.
#include <unistd.h>
#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "apperror.h"
#include "decoder.h"

namespace {

// One scratch file per process, rewritten for every input.
const QString& SourcePath() {
    static const QString path = [] {
        const char* dir = std::getenv("TMPDIR");
        QByteArray templ = QByteArray(dir != nullptr && *dir ? dir : "/tmp") + "/ovfuzz-XXXXXX";
        const int fd = mkstemp(templ.data());
        if (fd < 0) std::abort();
        close(fd);
        return QString::fromLocal8Bit(templ);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(SourcePath().toLocal8Bit().constData(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    // The samples go nowhere: a tiny input may legally decode to gigabytes of silence.
    TDecoder decoder(SourcePath(), "/dev/null");
    if (!decoder.Supported()) return 0;
    if (decoder.Channels() < 1 || decoder.Channels() > 2 || decoder.SampleRate() == 0 ||
        decoder.Filter() == nullptr)
        std::abort();
    std::atomic<int32_t> progress{0};
    try {
        if (!decoder.Decode(progress)) std::abort();
        if (progress != 0) std::abort();
    } catch (const EAppError&) {
        // Too long for a WAV file: a refusal, not a fault.
    }
    Tindexdata peaks;
    decoder.Filter()->ExportPeaks(peaks);
    return 0;
}
