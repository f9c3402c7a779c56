#include "languagefile.h"

#include <unicode/ucnv.h>

#include <QFile>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "apperror.h"

namespace {

constexpr const char* kLoadFailed = "Loading translations failed.";

// DEL counts as a control character too: ICU's code page 932 swaps bytes 0x1A, 0x1C and 0x7F
// among U+001A, U+001C and U+007F, so the header reader (bytes) and the full reader (decoded
// text) only agree when all three are blank to both.
bool IsBlank(QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7F; }

// Trims blanks and control characters (a text file's idea of white space), nothing else.
QStringView Trim(QStringView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.mid(b, e - b);
}

QByteArray TrimBytes(const QByteArray& s) {
    qsizetype b = 0, e = s.size();
    const auto blank = [](char c) { return IsBlank(QChar(static_cast<unsigned char>(c))); };
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.mid(b, e - b);
}

bool HasUtf16Bom(const QByteArray& bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xFE;
}

// A decimal LangID, or -1 when text is not a number in 0..65535.
int ParseLangId(QStringView text) {
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value > 0xFFFF) return -1;
    return static_cast<int>(value);
}

// Splits 8-bit text into lines at CR, LF or CR LF. The multibyte Windows code pages never use
// 0x0A or 0x0D inside a character, so splitting before decoding is safe.
std::vector<QByteArray> SplitByteLines(const QByteArray& bytes) {
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') continue;
        lines.push_back(bytes.mid(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < bytes.size()) lines.push_back(bytes.mid(start));
    return lines;
}

std::vector<QString> SplitTextLines(const QString& text) {
    std::vector<QString> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n') continue;
        lines.push_back(text.mid(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.mid(start));
    return lines;
}

// UTF-16 LE after the byte-order mark (a last odd byte is left to the caller).
QString DecodeUtf16(const QByteArray& bytes) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        text[i] = QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                              static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return text;
}

void CheckSurrogates(const QString& line) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
            ++i;
        } else if (line[i].isSurrogate()) {
            throw EAppError("Invalid UTF-16 character (an unpaired surrogate)");
        }
    }
}

struct TConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using TConverter = std::unique_ptr<UConverter, TConverterCloser>;

TConverter OpenConverter(uint16_t codePage) {
    // ICU's aliases for the Windows code pages differ: "windows-932" is "cp932" there.
    std::string name;
    switch (codePage) {
        case 874: name = "windows-874"; break;
        case 932: name = "cp932"; break;
        case 936: name = "windows-936"; break;
        case 949: name = "windows-949"; break;
        case 950: name = "windows-950"; break;
        default: name = "windows-" + std::to_string(codePage); break;
    }
    UErrorCode status = U_ZERO_ERROR;
    TConverter converter(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status) || !converter)
        throw EAppError("Code page " + std::to_string(codePage) + " is not available");
    return converter;
}

// A converter that stops at the first byte sequence not valid in the code page.
TConverter OpenDecoder(uint16_t codePage) {
    TConverter converter = OpenConverter(codePage);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
    return converter;
}

QString DecodeWith(UConverter* converter, const QByteArray& bytes, uint16_t codePage) {
    if (bytes.isEmpty()) return {};
    ucnv_reset(converter);
    // Every code page here yields at most one UTF-16 unit per byte.
    QString text(bytes.size(), Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(converter, reinterpret_cast<UChar*>(text.data()),
                                    static_cast<int32_t>(text.size()), bytes.constData(),
                                    static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        throw EAppError("The text is not valid in code page " + std::to_string(codePage));
    text.truncate(n);
    return text;
}

struct TSection {
    enum Kind { kHeader, kConstants, kWindow } kind = kHeader;
    QString key;  // lower-cased window section name
};

// Handles one decoded line; raises EAppError with the plain reason.
void ParseLine(QStringView raw, TSection& section, TLanguageFile& file) {
    const QStringView line = Trim(raw);
    if (line.isEmpty() || line.startsWith(u';')) return;
    if (line.size() >= 3 && line.startsWith(u'[') && line.endsWith(u']')) {
        const QString name = Trim(line.mid(1, line.size() - 2)).toString();
        if (name.compare(QLatin1String(kConstantsSection), Qt::CaseInsensitive) == 0) {
            section = {TSection::kConstants, {}};
        } else {
            section = {TSection::kWindow, name.toLower()};
            if (!file.sections.contains(section.key)) file.sections.insert(section.key, {});
        }
        file.sectionNames << name;
        return;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) return;
    const QStringView name = Trim(line.left(eq));
    if (name.isEmpty()) return;
    const QString value = UnescapeValue(Trim(line.mid(eq + 1)));
    switch (section.kind) {
        case TSection::kHeader:
            if (name.compare(u"LangID", Qt::CaseInsensitive) == 0) {
                const int id = ParseLangId(Trim(line.mid(eq + 1)));
                if (id < 0)
                    throw EAppError("LangID '" + Trim(line.mid(eq + 1)).toString().toStdString() +
                                    "' is not a number from 0 to 65535");
                // The first LangID counts, as it does for the scan.
                if (!file.parameters.contains(QStringLiteral("langid")))
                    file.langId = static_cast<uint16_t>(id);
            }
            if (!file.parameters.contains(name.toString().toLower()))
                file.parameters.insert(name.toString().toLower(), value);
            break;
        case TSection::kConstants:
            if (!IsValidMessageKey(name))
                throw EAppError("'" + name.toString().toStdString() +
                                "' is not a valid message key");
            file.constants.insert(name.toString().toLower(), {name.toString(), value});
            break;
        case TSection::kWindow: {
            bool ok = false;
            const int id = name.toInt(&ok, 10);
            if (!ok)
                throw EAppError("'" + name.toString().toStdString() +
                                "' is not a valid integer value");
            if (id > 0) file.sections[section.key].insert(id, value);
            break;
        }
    }
}

}  // namespace

QString TLanguageFile::Constant(QStringView key) const {
    const auto it = constants.constFind(key.toString().toLower());
    return it == constants.cend() ? QString() : it->second;
}

QString TLanguageFile::Text(const QString& section, int id) const {
    const auto s = sections.constFind(section.toLower());
    if (s == sections.cend()) return {};
    return s->value(id);
}

bool IsValidMessageKey(QStringView key) {
    if (key.isEmpty()) return false;
    for (qsizetype i = 0; i < key.size(); ++i) {
        const char16_t c = key[i].unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
        const bool digit = c >= u'0' && c <= u'9';
        if (!letter && !(digit && i > 0)) return false;
    }
    return true;
}

QString UnescapeValue(QStringView value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 >= value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[i + 1];
        if (next == u'n') {
            out += u"\r\n";
            ++i;
        } else if (next == u'\\') {
            out += u'\\';
            ++i;
        } else if (next == u't') {
            out += u'\t';
            ++i;
        } else if (i + 2 < value.size() && next.isDigit() && next.unicode() < 128 &&
                   value[i + 2].unicode() >= u'0' && value[i + 2].unicode() <= u'9') {
            out += QChar((next.unicode() - u'0') * 10 + (value[i + 2].unicode() - u'0'));
            i += 2;
        } else {
            out += c;  // any other backslash stays as it is
        }
    }
    return out;
}

QString EscapeValue(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            out += u"\\n";
        } else if (c == u'\t') {
            out += u"\\t";
        } else if (c == u'\\') {
            out += u"\\\\";
        } else if (c < 0x20) {
            out += QStringLiteral("\\%1").arg(int(c), 2, 10, QChar(u'0'));
        } else {
            out += QChar(c);
        }
    }
    // Surrounding blanks would be trimmed away when read back: keep them as character codes.
    if (!out.isEmpty() && out.back() == u' ') out.replace(out.size() - 1, 1, QStringLiteral("\\32"));
    if (!out.isEmpty() && out.front() == u' ') out.replace(0, 1, QStringLiteral("\\32"));
    return out;
}

uint16_t AnsiCodePage(uint16_t langId) {
    const uint16_t primary = langId & 0x3FF;
    const uint16_t sub = langId >> 10;
    switch (primary) {
        case 0x04:  // Chinese: simplified in the PRC and Singapore, traditional elsewhere
            return (sub == 0x02 || sub == 0x04) ? 936 : 950;
        case 0x11: return 932;   // Japanese
        case 0x12: return 949;   // Korean
        case 0x1E: return 874;   // Thai
        case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24:
            return 1250;         // Czech, Hungarian, Polish, Romanian, Slovak, Albanian, Slovenian
        case 0x1A:               // Croatian, Serbian, Bosnian: Cyrillic sub-languages use 1251
            return (sub == 0x03 || sub == 0x07 || sub == 0x08 || sub == 0x0A || sub == 0x0C)
                       ? 1251 : 1250;
        case 0x02: case 0x19: case 0x22: case 0x23: case 0x28: case 0x2F: case 0x3F:
        case 0x40: case 0x44: case 0x50: case 0x6D: case 0x85:
            return 1251;  // Bulgarian, Russian, Ukrainian, Belarusian, Tajik, Macedonian, Kazakh,
                          // Kyrgyz, Tatar, Mongolian, Bashkir, Sakha
        case 0x2C: return sub == 0x02 ? 1251 : 1254;  // Azerbaijani: Cyrillic or Latin
        case 0x43: return sub == 0x02 ? 1251 : 1254;  // Uzbek: Cyrillic or Latin
        case 0x08: return 1253;  // Greek
        case 0x1F: return 1254;  // Turkish
        case 0x0D: return 1255;  // Hebrew
        case 0x01: case 0x20: case 0x29: case 0x80: case 0x8C:
            return 1256;         // Arabic, Urdu, Persian, Uyghur, Dari
        case 0x25: case 0x26: case 0x27: return 1257;  // Estonian, Latvian, Lithuanian
        case 0x2A: return 1258;  // Vietnamese
        default: return 1252;
    }
}

QString DecodeCodePage(const QByteArray& bytes, uint16_t codePage) {
    if (bytes.isEmpty()) return {};
    return DecodeWith(OpenDecoder(codePage).get(), bytes, codePage);
}

QByteArray EncodeCodePage(const QString& text, uint16_t codePage) {
    if (text.isEmpty()) return {};
    TConverter converter = OpenConverter(codePage);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
    QByteArray bytes(text.size() * 2 + 2, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    const int32_t n = ucnv_fromUChars(converter.get(), bytes.data(),
                                      static_cast<int32_t>(bytes.size()),
                                      reinterpret_cast<const UChar*>(text.constData()),
                                      static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        throw EAppError("The text cannot be written in code page " + std::to_string(codePage));
    bytes.truncate(n);
    return bytes;
}

uint16_t ReadLanguageHeader(const QByteArray& bytes) {
    if (HasUtf16Bom(bytes)) {
        try {
            for (const QString& raw : SplitTextLines(DecodeUtf16(bytes.mid(2)))) {
                const QStringView line = Trim(raw);
                if (line.size() >= 3 && line.startsWith(u'[') && line.endsWith(u']')) break;
                const qsizetype eq = line.indexOf(u'=');
                if (eq <= 0 || line.startsWith(u';')) continue;
                if (Trim(line.left(eq)).compare(u"LangID", Qt::CaseInsensitive) != 0) continue;
                return static_cast<uint16_t>(std::max(0, ParseLangId(Trim(line.mid(eq + 1)))));
            }
        } catch (const EAppError&) {
        }
        return 0;
    }
    // 8-bit: the header's names and numbers are ASCII in every code page used here.
    for (const QByteArray& raw : SplitByteLines(bytes)) {
        const QByteArray line = TrimBytes(raw);
        if (line.size() >= 3 && line.startsWith('[') && line.endsWith(']')) break;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0 || line.startsWith(';')) continue;
        if (TrimBytes(line.left(eq)).compare("LangID", Qt::CaseInsensitive) != 0) continue;
        return static_cast<uint16_t>(
            std::max(0, ParseLangId(QString::fromLatin1(TrimBytes(line.mid(eq + 1))))));
    }
    return 0;
}

TLanguageFile ParseLanguageFile(const QByteArray& bytes) {
    TLanguageFile file;
    TSection section;
    int lineNumber = 0;
    auto fail = [&lineNumber](const char* reason) {
        throw EAppError(std::string(kLoadFailed) + "\nLine " + std::to_string(lineNumber) + ": " +
                        reason);
    };
    try {
        if (HasUtf16Bom(bytes)) {
            const QString text = DecodeUtf16(bytes.mid(2, (bytes.size() - 2) / 2 * 2));
            for (const QString& line : SplitTextLines(text)) {
                ++lineNumber;
                CheckSurrogates(line);
                ParseLine(line, section, file);
            }
            if (bytes.size() % 2 != 0) {
                // The stray byte sits on a line of its own when the text ends with a break.
                if (text.isEmpty() || text.endsWith(u'\n') || text.endsWith(u'\r')) ++lineNumber;
                throw EAppError("The UTF-16 text ends in the middle of a character");
            }
        } else {
            const uint16_t codePage = AnsiCodePage(ReadLanguageHeader(bytes));
            const TConverter decoder = OpenDecoder(codePage);
            for (const QByteArray& line : SplitByteLines(bytes)) {
                ++lineNumber;
                ParseLine(DecodeWith(decoder.get(), line, codePage), section, file);
            }
        }
    } catch (const EAppError& e) {
        fail(e.what());
    }
    return file;
}

QByteArray ReadLanguageBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EAppError(std::string(kLoadFailed) + "\n" + f.errorString().toStdString() + ": " +
                        path.toStdString());
    if (f.size() > kMaxLanguageFileBytes)
        throw EAppError(std::string(kLoadFailed) + "\nThe file is larger than " +
                        std::to_string(kMaxLanguageFileBytes / (1024 * 1024)) + " MiB: " +
                        path.toStdString());
    QByteArray bytes = f.read(kMaxLanguageFileBytes + 1);
    if (bytes.size() > kMaxLanguageFileBytes)
        throw EAppError(std::string(kLoadFailed) + "\nThe file is too large: " +
                        path.toStdString());
    return bytes;
}

TLanguageFile LoadLanguageFile(const QString& path) { return ParseLanguageFile(ReadLanguageBytes(path)); }
