// The desktop entry's MimeType list and the open dialog's filter must name the same formats:
// otherwise the file manager offers Orvane for files the dialog hides, or the other way round.
// Both are checked against the freedesktop MIME database, independently of our own table.
#include "openformats.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QMimeDatabase>
#include <QSet>
#include <QTextStream>
#include <cstdlib>

#include "decoder.h"

namespace {

// The desktop entry that is installed; ORVANE_DESKTOP_FILE names another copy (the one
// unpacked from the package, for instance).
QString DesktopFilePath() {
    if (const char* path = std::getenv("ORVANE_DESKTOP_FILE"); path && *path) return path;
    return ORVANE_SOURCE_DESKTOP_FILE;
}

QStringList DesktopMimeTypes() {
    QFile file(DesktopFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    QTextStream in(&file);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('[')) inEntry = line == "[Desktop Entry]";
        if (inEntry && line.startsWith("MimeType="))
            return line.mid(9).split(';', Qt::SkipEmptyParts);
    }
    return {};
}

// The canonical name, so that audio/wav and audio/x-wav count as one type.
QString Canonical(const QString& type) {
    const QMimeType mime = QMimeDatabase().mimeTypeForName(type);
    return mime.isValid() ? mime.name() : type;
}

QSet<QString> CanonicalSet(const QStringList& types) {
    QSet<QString> set;
    for (const QString& t : types) set.insert(Canonical(t));
    return set;
}

// Every type a file with this pattern's extension may have, by name alone.
QSet<QString> TypesOfPattern(const QString& pattern) {
    QSet<QString> types;
    for (const QMimeType& m : QMimeDatabase().mimeTypesForFileName("x" + pattern.mid(1)))
        types.insert(m.name());
    return types;
}

QStringList FilterEntries() {
    return OpenDialogFilter().split(";;");
}

TEST(OpenFormats, DesktopEntryListsExactlyTheTableTypes) {
    const QStringList desktop = DesktopMimeTypes();
    ASSERT_FALSE(desktop.isEmpty()) << "no MimeType line in " << qPrintable(DesktopFilePath());
    EXPECT_EQ(QSet<QString>(desktop.begin(), desktop.end()).size(), desktop.size())
        << "a type is listed twice";
    QStringList expected = OpenMimeTypes(), actual = desktop;
    expected.sort();
    actual.sort();
    EXPECT_EQ(actual, expected) << "desktop entry: " << qPrintable(desktop.join(';'));
}

TEST(OpenFormats, EveryDialogPatternIsADesktopType) {
    const QSet<QString> desktop = CanonicalSet(DesktopMimeTypes());
    const QStringList patterns = FilterPatterns(FilterEntries().front());
    ASSERT_FALSE(patterns.isEmpty());
    for (const QString& pattern : patterns) {
        const QSet<QString> types = TypesOfPattern(pattern);
        EXPECT_TRUE(types.intersects(desktop)) << qPrintable(pattern) << " opens as "
                                               << qPrintable(QStringList(types.values()).join(' '))
                                               << ", none of them in the desktop entry";
    }
}

TEST(OpenFormats, EveryDesktopTypeHasADialogPattern) {
    const QStringList patterns = FilterPatterns(FilterEntries().front());
    QSet<QString> offered;
    for (const QString& pattern : patterns) offered.unite(TypesOfPattern(pattern));
    for (const QString& type : DesktopMimeTypes()) {
        const QMimeType mime = QMimeDatabase().mimeTypeForName(type);
        ASSERT_TRUE(mime.isValid()) << qPrintable(type) << " is unknown to the MIME database";
        EXPECT_TRUE(offered.contains(mime.name()))
            << qPrintable(type) << " (" << qPrintable(mime.globPatterns().join(' '))
            << ") has no pattern in the dialog's filter";
    }
}

TEST(OpenFormats, EachFormatEntryMatchesItsOwnTypes) {
    for (const TOpenFormat& f : OpenFormats()) {
        const QSet<QString> own = CanonicalSet(f.mimeTypes);
        for (const QString& e : f.extensions) {
            EXPECT_TRUE(TypesOfPattern("*." + e).intersects(own))
                << qPrintable(f.name) << ": *." << qPrintable(e);
        }
    }
}

TEST(OpenFormats, SupportedEntryIsTheUnionOfTheOthers) {
    const QStringList entries = FilterEntries();
    ASSERT_EQ(entries.size(), qsizetype(OpenFormats().size()) + 1);
    EXPECT_TRUE(entries.front().startsWith("Supported Formats ("));
    QStringList rest;
    for (qsizetype i = 1; i < entries.size(); ++i) rest += FilterPatterns(entries[i]);
    EXPECT_EQ(FilterPatterns(entries.front()), rest);
    EXPECT_EQ(QSet<QString>(rest.begin(), rest.end()).size(), rest.size()) << "a pattern twice";
    for (const QString& p : rest) EXPECT_EQ(p, p.toLower());
}

TEST(OpenFormats, DecoderOffersTheSameExtensions) {
    EXPECT_EQ(TDecoder::Extensions(), OpenExtensions());
}

TEST(OpenFormats, FilterPatternsOfMalformedEntries) {
    EXPECT_EQ(FilterPatterns("WAV Files (*.wav)"), QStringList{"*.wav"});
    EXPECT_EQ(FilterPatterns("A (x) (*.a *.b)"), (QStringList{"*.a", "*.b"}));
    EXPECT_TRUE(FilterPatterns("No patterns").isEmpty());
    EXPECT_TRUE(FilterPatterns("Broken )(").isEmpty());
}

}  // namespace
