#pragma once
// The catalogue of named messages in its binary form (the program's "LANG_CONSTS" resource).
//
// Little-endian. A version byte; version 2: a flag byte, a 32-bit entry count, then per entry the
// key (16-bit length, 8-bit characters) and the text (16-bit length in characters, UTF-16 code
// units). Versions 0 and 1: the count, then key and text both as 8-bit strings (16-bit length,
// bytes), the text in a Windows code page. The reader checks every length against what is left,
// and refuses trailing bytes.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

constexpr int kCatalogueVersion = 2;

struct TCatalogueEntry {
    QString key;
    QString text;
    bool operator==(const TCatalogueEntry&) const = default;
};

// Raises EAppError for a newer version ("Stream version (%d) is greater than the current one
// (%d)"), a truncated or over-long stream, or text not valid in codePage (versions 0 and 1).
std::vector<TCatalogueEntry> ReadCatalogue(const QByteArray& bytes, uint16_t codePage);

// Writes entries in version 2 (or 0 and 1, with texts in codePage). Raises EAppError when a key
// or text does not fit its length field.
QByteArray WriteCatalogue(const std::vector<TCatalogueEntry>& entries,
                          int version = kCatalogueVersion, uint16_t codePage = 1252);
