// The binary message catalogue: lengths and counts come from the data and must never be trusted;
// whatever is accepted must survive being written and read again.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "apperror.h"
#include "catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        // Versions 0 and 1 hold 8-bit texts: read them as Shift-JIS, the hardest code page here.
        const auto entries = ReadCatalogue(bytes, 932);
        if (ReadCatalogue(WriteCatalogue(entries), 932) != entries) abort();
    } catch (const EAppError&) {
    }
    return 0;
}
