// Language file reading: encodings, sections, escapes and the errors a broken file gives.
#include <gtest/gtest.h>

#include <QString>

#include "apperror.h"
#include "catalogue.h"
#include "languagefile.h"

namespace {

QByteArray Utf16File(const QString& text) {
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text) {
        bytes += static_cast<char>(c.unicode() & 0xFF);
        bytes += static_cast<char>(c.unicode() >> 8);
    }
    return bytes;
}

std::string ErrorOf(const QByteArray& bytes) {
    try {
        ParseLanguageFile(bytes);
    } catch (const EAppError& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace

struct TEscapeCase {
    const char* name;
    const char16_t* value;
    const char16_t* expected;
};

class Unescape : public ::testing::TestWithParam<TEscapeCase> {};

TEST_P(Unescape, GivesTheText) {
    EXPECT_EQ(UnescapeValue(QString::fromUtf16(GetParam().value)),
              QString::fromUtf16(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Values, Unescape,
    ::testing::Values(TEscapeCase{"LineBreakIsCrLf", u"Line one\\nLine two", u"Line one\r\nLine two"},
                      TEscapeCase{"DoubleBackslash", u"C:\\\\temp", u"C:\\temp"},
                      TEscapeCase{"Tab", u"a\\tb", u"a\tb"},
                      TEscapeCase{"TwoDigitCode", u"\\65\\32B\\09", u"A B\t"},
                      TEscapeCase{"OneDigitStays", u"\\6x", u"\\6x"},
                      TEscapeCase{"OtherLetterStays", u"C:\\data\\x", u"C:\\data\\x"},
                      TEscapeCase{"TrailingBackslashStays", u"end\\", u"end\\"},
                      TEscapeCase{"EscapedBackslashBeforeN", u"C:\\\\new", u"C:\\new"},
                      TEscapeCase{"ThreeDigitsTakeTwo", u"\\1234", u"\x0C" u"34"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Escape, RoundTripsThroughUnescape) {
    const QString text = QStringLiteral(" lead\r\nC:\\path\tx\x01 trail ");
    EXPECT_EQ(UnescapeValue(EscapeValue(text)), text);
    EXPECT_EQ(EscapeValue(u"a\nb\\c"), QStringLiteral("a\\nb\\\\c"));
}

TEST(LanguageFile, SectionsConstantsAndHeader) {
    const TLanguageFile f = ParseLanguageFile(Utf16File(QString::fromUtf16(
        u"; comment\r\n"
        u"  LangID = 1031  \r\n"
        u"Author=Someone\r\n"
        u"no equals sign here\r\n"
        u"=empty name\r\n"
        u"[ $constants ]\r\n"
        u"SaveChanges = Änderungen speichern?\r\n"
        u"[mainform]\r\n"
        u"12 = &Datei\n"
        u"0=ignored\r"
        u"-3=ignored\r\n"
        u"7=a=b\r\n"
        u"[]\r\n")));
    EXPECT_EQ(f.langId, 1031);
    EXPECT_EQ(f.parameters.value("author"), "Someone");
    EXPECT_EQ(f.Constant(u"savechanges"), QStringLiteral("Änderungen speichern?"));
    EXPECT_TRUE(f.Constant(u"outofmemory").isNull());
    EXPECT_EQ(f.Text("MainForm", 12), "&Datei");
    EXPECT_EQ(f.Text("mainform", 7), "a=b");
    EXPECT_EQ(f.sections.value("mainform").size(), 2);
    EXPECT_EQ(f.sectionNames, QStringList({"$constants", "mainform"}));
}

TEST(LanguageFile, EightBitTextUsesTheLanguagesCodePage) {
    // "Сохранить" in code page 1251 under Russian, and "保存" in Shift-JIS under Japanese.
    QByteArray russian("LangID=1049\r\n[$CONSTANTS]\r\nsavechanges=");
    russian += QByteArray("\xD1\xEE\xF5\xF0\xE0\xED\xE8\xF2\xFC");
    EXPECT_EQ(ParseLanguageFile(russian).Constant(u"savechanges"), QStringLiteral("Сохранить"));

    QByteArray japanese("[$CONSTANTS]\r\nsavechanges=\x95\xdb\x91\xb6\\n\r\n");
    japanese.prepend("LangID=1041\n");
    EXPECT_EQ(ParseLanguageFile(japanese).Constant(u"savechanges"), QStringLiteral("保存\r\n"));

    // Shift-JIS puts 0x5C (the backslash) inside characters: "表" is 0x95 0x5C.
    QByteArray trail("LangID=1041\n[$CONSTANTS]\nsavechanges=\x95\x5C");
    EXPECT_EQ(ParseLanguageFile(trail).Constant(u"savechanges"), QStringLiteral("表"));
}

TEST(LanguageFile, HeaderOnlyReadingFindsTheLangId) {
    EXPECT_EQ(ReadLanguageHeader("langid=1049\n[x]\n"), 1049);
    EXPECT_EQ(ReadLanguageHeader(Utf16File(QStringLiteral("LANGID = 1031\r\n"))), 1031);
    EXPECT_EQ(ReadLanguageHeader("[$CONSTANTS]\nLangID=1031\n"), 0);  // not in the header
    EXPECT_EQ(ReadLanguageHeader("LangID=German\n"), 0);
    EXPECT_EQ(ReadLanguageHeader("LangID=70000\n"), 0);
    EXPECT_EQ(ReadLanguageHeader("Name=x\n"), 0);
    EXPECT_EQ(ReadLanguageHeader(""), 0);
}

struct TBadFileCase {
    const char* name;
    const char* bytes;
    int size;
    const char* message;
};

class BadLanguageFile : public ::testing::TestWithParam<TBadFileCase> {};

TEST_P(BadLanguageFile, NamesTheLine) {
    EXPECT_EQ(ErrorOf(QByteArray(GetParam().bytes, GetParam().size)),
              std::string("Loading translations failed.\n") + GetParam().message);
}

#define BAD(name, text, message) TBadFileCase{name, text, sizeof(text) - 1, message}
INSTANTIATE_TEST_SUITE_P(
    Lines, BadLanguageFile,
    ::testing::Values(
        BAD("IdentifierNotANumber", "LangID=1031\n[mainform]\n1=a\nabc=b\n",
            "Line 4: 'abc' is not a valid integer value"),
        BAD("LangIdNotANumber", "; x\nLangID=German\n", "Line 2: LangID 'German' is not a number from 0 to 65535"),
        BAD("InvalidKey", "LangID=1031\n\n[$CONSTANTS]\nsave changes=x\n",
            "Line 4: 'save changes' is not a valid message key"),
        BAD("BadShiftJis", "LangID=1041\n[$CONSTANTS]\nsavechanges=\x81\x20\n",
            "Line 3: The text is not valid in code page 932"),
        BAD("OddUtf16", "\xFF\xFEL\0=\0x\0\n\0\n", "Line 2: The UTF-16 text ends in the middle of a character"),
        BAD("UnpairedSurrogate", "\xFF\xFE\n\0a\0\x00\xD8", "Line 2: Invalid UTF-16 character (an unpaired surrogate)")),
    [](const auto& info) { return std::string(info.param.name); });
#undef BAD

TEST(CodePages, PrimaryLanguageChoosesTheCodePage) {
    EXPECT_EQ(AnsiCodePage(1049), 1251);  // Russian
    EXPECT_EQ(AnsiCodePage(1031), 1252);  // German
    EXPECT_EQ(AnsiCodePage(1041), 932);   // Japanese
    EXPECT_EQ(AnsiCodePage(2052), 936);   // Chinese (PRC)
    EXPECT_EQ(AnsiCodePage(1028), 950);   // Chinese (Taiwan)
    EXPECT_EQ(AnsiCodePage(1045), 1250);  // Polish
    EXPECT_EQ(AnsiCodePage(3098), 1251);  // Serbian (Cyrillic)
    EXPECT_EQ(AnsiCodePage(2074), 1250);  // Serbian (Latin)
    EXPECT_EQ(AnsiCodePage(1081), 1252);  // Hindi has no ANSI code page
    for (uint16_t cp : {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258})
        EXPECT_NO_THROW(DecodeCodePage("abc", cp)) << cp;
}

TEST(Catalogue, ReadsEveryVersionAndRefusesNewer) {
    const std::vector<TCatalogueEntry> entries{{"savechanges", QStringLiteral("Сохранить?")},
                                               {"empty", ""}};
    EXPECT_EQ(ReadCatalogue(WriteCatalogue(entries, 2), 1252), entries);
    for (int version : {0, 1}) {
        const QByteArray old = WriteCatalogue(entries, version, 1251);
        EXPECT_EQ(old[1], '\x02') << "count follows the version byte";
        EXPECT_EQ(ReadCatalogue(old, 1251), entries) << version;
    }
    QByteArray newer = WriteCatalogue(entries, 2);
    newer[0] = 3;
    try {
        ReadCatalogue(newer, 1252);
        FAIL();
    } catch (const EAppError& e) {
        EXPECT_STREQ(e.what(), "Stream version (3) is greater than the current one (2)");
    }
}

TEST(Catalogue, NeverTrustsALength) {
    const QByteArray good = WriteCatalogue({{"key", "text"}});
    for (int cut = 0; cut < good.size(); ++cut)
        EXPECT_THROW(ReadCatalogue(good.left(cut), 1252), EAppError) << cut;
    EXPECT_THROW(ReadCatalogue(good + '\0', 1252), EAppError);
    QByteArray huge = good;
    huge[2] = huge[3] = huge[4] = huge[5] = '\xFF';  // four billion entries
    EXPECT_THROW(ReadCatalogue(huge, 1252), EAppError);
}
