// Markers from outside: the cue and adtl chunks of a WAV file other programs wrote, and label
// text. Neither may crash or give markers out of time order or a region that ends before it
// starts.
#include <QFile>
#include <QString>
#include <QTemporaryFile>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "markers.h"
#include "wavmarkers.h"

namespace {

void Check(const TMarkerList& marks) {
    for (size_t i = 0; i < marks.size(); ++i) {
        if (marks[i].end < marks[i].start) abort();
        if (i > 0 && marks[i].start < marks[i - 1].start) abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QTemporaryFile file;
    if (!file.open()) return 0;
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.flush();
    Check(ReadWavMarkers(file.fileName()));
    QString error;
    if (const auto labels = ParseLabelText(
            QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)), 44100, error))
        Check(*labels);
    return 0;
}
