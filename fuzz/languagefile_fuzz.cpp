// Language files from translators: the reader must refuse what it cannot handle with an error,
// never crash, and agree with the header-only reader the scan uses.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "apperror.h"
#include "languagefile.h"

namespace {

QString OneKindOfBreak(QString s) {
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const uint16_t header = ReadLanguageHeader(bytes);
    try {
        const TLanguageFile file = ParseLanguageFile(bytes);
        if (file.langId != header) abort();
        // What the tools write back must read as the same text.
        for (const auto& entry : file.constants) {
            const QString text = entry.second;
            if (OneKindOfBreak(UnescapeValue(EscapeValue(text))) != OneKindOfBreak(text)) abort();
        }
    } catch (const EAppError&) {
    }
    return 0;
}
