#pragma once
// Language files ("*.lng"): the texts of one interface language.
//
// A file that begins with the UTF-16 LE byte-order mark is UTF-16; any other is 8-bit text in the
// Windows ANSI code page of the language named by its "LangID" line, decoded with ICU. Lines are
// trimmed; empty lines and lines beginning with ";" are skipped. "[name]" opens a section:
// "$CONSTANTS" (any case) holds named messages, any other section the texts of the window of
// that name. Other lines are name = value; before the first section they are header parameters.
// Values understand \n (CR LF), \\, \t and a backslash with two decimal digits (code 0..99).
//
// Nothing here trusts the file: a line that cannot be handled raises EAppError reading
// "Loading translations failed." + line break + "Line %d: %s" (1-based), and sizes are bounded.

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>

// Files larger than this are refused rather than read.
constexpr qint64 kMaxLanguageFileBytes = 8 * 1024 * 1024;

// The name of the named-messages section.
inline constexpr const char* kConstantsSection = "$CONSTANTS";

struct TLanguageFile {
    uint16_t langId = 0;
    QHash<QString, QString> parameters;  // header parameters; names lower-cased
    // $CONSTANTS: lower-cased key -> (key as written, text)
    QMap<QString, std::pair<QString, QString>> constants;
    // window sections: lower-cased section name -> identifier -> text
    QHash<QString, QMap<int, QString>> sections;
    QStringList sectionNames;  // as written, in file order

    // The text of message key (any case), or a null QString.
    QString Constant(QStringView key) const;
    // The text of identifier id in section (any case), or a null QString.
    QString Text(const QString& section, int id) const;
};

// The LangID in the header of an encoded file (lines before the first section), or 0 when it
// is missing, not a number or out of range. Never raises.
uint16_t ReadLanguageHeader(const QByteArray& bytes);

// Parses a whole encoded file. Raises EAppError as described above.
TLanguageFile ParseLanguageFile(const QByteArray& bytes);

// Reads up to kMaxLanguageFileBytes from path. Raises EAppError ("Loading translations
// failed." + the reason) when the file cannot be read or is too large.
QByteArray ReadLanguageBytes(const QString& path);

// ReadLanguageBytes + ParseLanguageFile.
TLanguageFile LoadLanguageFile(const QString& path);

// The Windows ANSI code page of a LANGID (by its primary language, and sub-language where the
// script differs); 1252 when the language has none.
uint16_t AnsiCodePage(uint16_t langId);

// Decodes 8-bit text in a Windows code page with ICU. Raises EAppError on bytes that are not
// valid in that code page, or for a code page ICU does not know.
QString DecodeCodePage(const QByteArray& bytes, uint16_t codePage);
// Encodes text in a Windows code page; raises EAppError for a character it cannot hold.
QByteArray EncodeCodePage(const QString& text, uint16_t codePage);

// The value escapes: Unescape turns \n into CR LF, \\ into \, \t into a tab and \dd into the
// character with that decimal code; any other backslash stays. Escape writes line breaks (CR LF,
// LF or CR), tabs and backslashes back as \n, \t and \\.
QString UnescapeValue(QStringView value);
QString EscapeValue(QStringView text);

// True for a valid message key: a letter or "_" followed by letters, digits or "_" (ASCII).
bool IsValidMessageKey(QStringView key);
