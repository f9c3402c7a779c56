#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

#include "openformats.h"

namespace {

struct TProgram {
    const char* name;  // also the man page's name
    QString path;      // empty when this tree does not build it
};

void PrintTo(const TProgram& p, std::ostream* os) {
    *os << p.name;
}

std::vector<TProgram> Programs() {
    return {{"orvane-cli", ORVANE_CLI}, {"orvane", ORVANE_GUI}};
}

// What the program writes on standard output (sanitizer reports go to standard error).
QString RunProgram(const QString& program, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(30000)) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The man page as plain text: roff's escaped hyphens and font changes removed.
QString ManText(const QString& page, QStringList* tagLines = nullptr) {
    QFile f(QString(ORVANE_MAN_DIR) + "/" + page + ".1");
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    for (QString& line : lines) {
        line.replace("\\-", "-");
        line.remove(QRegularExpression(R"(\\f[BIRP])"));
    }
    // A tagged paragraph's tag is the line after .TP: the options the page documents.
    for (qsizetype i = 0; tagLines && i + 1 < lines.size(); ++i)
        if (lines[i] == ".TP") tagLines->append(lines[i + 1]);
    return lines.join('\n');
}

QSet<QString> Options(const QString& text) {
    static const QRegularExpression option(R"((?<![\w-])(--?[a-zA-Z][a-zA-Z0-9-]*))");
    QSet<QString> found;
    for (const QRegularExpressionMatch& m : option.globalMatch(text)) found.insert(m.captured(1));
    return found;
}

class ManPage : public ::testing::TestWithParam<TProgram> {
protected:
    void SetUp() override {
        if (GetParam().path.isEmpty()) GTEST_SKIP() << GetParam().name << " is not built here";
    }
};

TEST_P(ManPage, DocumentsEveryOptionOfHelp) {
    const QSet<QString> help = Options(RunProgram(GetParam().path, {"--help"}));
    ASSERT_TRUE(help.contains("--version")) << "no options found in --help";
    const QSet<QString> man = Options(ManText(GetParam().name));
    for (const QString& o : help)
        EXPECT_TRUE(man.contains(o))
            << qPrintable(o) << " is in --help but not in data/man/" << GetParam().name << ".1.in";
}

TEST_P(ManPage, DocumentsNoOptionMissingFromHelp) {
    const QSet<QString> help = Options(RunProgram(GetParam().path, {"--help"}));
    QStringList tags;
    ManText(GetParam().name, &tags);
    ASSERT_FALSE(tags.isEmpty());
    for (const QString& o : Options(tags.join('\n')))
        EXPECT_TRUE(help.contains(o)) << qPrintable(o) << " is in the man page but not in --help";
}

TEST_P(ManPage, VersionIsTheProjectVersion) {
    EXPECT_TRUE(RunProgram(GetParam().path, {"--version"}).contains(ORVANE_PROJECT_VERSION));
    EXPECT_TRUE(ManText(GetParam().name).contains(ORVANE_PROJECT_VERSION));
}

INSTANTIATE_TEST_SUITE_P(Programs, ManPage, ::testing::ValuesIn(Programs()),
                         [](const ::testing::TestParamInfo<TProgram>& info) {
                             return QString(info.param.name).remove('-').toStdString();
                         });

// Run from the build tree, the program reads the source tree's data folder.
TEST(DataFolders, BuildTreeFindsTheSourceLanguagesAndHelp) {
    const QString report = RunProgram(ORVANE_CLI, {"--data-folders"});
    const QString data = QDir(ORVANE_SOURCE_DIR "/data").canonicalPath();
    EXPECT_TRUE(report.contains("program data: " + data + "\n")) << qPrintable(report);
    for (const QString& lng : QDir(data + "/languages").entryList({"*.lng"}, QDir::Files))
        EXPECT_TRUE(report.contains("language: " + data + "/languages/" + lng + " ("))
            << qPrintable(lng);
    if (QFileInfo::exists(data + "/help/index.html")) {
        EXPECT_TRUE(report.contains("help: " + data + "/help/index.html\n")) << qPrintable(report);
    }
}

// Texts of the metainfo's elements by name, in document order.
QMultiMap<QString, QString> MetainfoElements() {
    QFile f(ORVANE_METAINFO_FILE);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QXmlStreamReader xml(&f);
    QMultiMap<QString, QString> elements;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QString name = xml.name().toString();
        if (name == "binary" || name == "mediatype" || name == "id" || name == "launchable")
            elements.insert(name, xml.readElementText());
        else if (name == "release")
            elements.insert(name, xml.attributes().value("version").toString());
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    return elements;
}

TEST(Metainfo, ProvidesTheOpenFormatsAndBothPrograms) {
    const auto e = MetainfoElements();
    const QStringList types = e.values("mediatype"), open = OpenMimeTypes();
    EXPECT_EQ(QSet<QString>(types.begin(), types.end()), QSet<QString>(open.begin(), open.end()));
    EXPECT_EQ(types.size(), open.size());
    const QStringList binaries = e.values("binary");
    EXPECT_EQ(QSet<QString>(binaries.begin(), binaries.end()),
              (QSet<QString>{"orvane", "orvane-cli"}));
}

TEST(Metainfo, OneApplicationIdAndTheCurrentRelease) {
    const auto e = MetainfoElements();
    EXPECT_EQ(e.value("id"), "io.github.quillfen.Orvane");
    EXPECT_EQ(e.value("launchable"), "io.github.quillfen.Orvane.desktop");
    EXPECT_TRUE(e.values("release").contains(ORVANE_PROJECT_VERSION));
}

}  // namespace
