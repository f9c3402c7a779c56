// orvane-cli's tools for translators, run as the real binary.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "cli_run.h"

namespace {

class LanguageTools : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        QFile f(dir.path() + '/' + name);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(LanguageTools, MessagesApplyTheFileOverEnglishAndEscapeTheText) {
    const QString file = Write("x.lng",
                               "LangID=1031\n[$CONSTANTS]\nsavechanges=Zeile 1\\nC:\\\\Pfad\\tEnde\n");
    const TRun english = Cli({"--messages"});
    EXPECT_EQ(english.status, 0);
    const QStringList lines = english.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_GE(lines.size(), 29);
    EXPECT_TRUE(lines.contains("savechanges\tWould you like to save changes?"));

    const TRun german = Cli({"--messages", "--language", file});
    EXPECT_EQ(german.status, 0);
    EXPECT_TRUE(german.out.contains("savechanges\tZeile 1\\nC:\\\\Pfad\\tEnde\n"));
    EXPECT_TRUE(german.out.contains("writeerror\tData write error!\n"));
}

TEST_F(LanguageTools, CheckReportsCountsMissingAndUnknown) {
    const QString file = Write("ru.lng", "LangID=1049\n[$CONSTANTS]\nsavechanges=\xD0\xE0\xE7\n"
                                         "nosuchmessage=x\n[mainform]\n1=a\n");
    const TRun r = Cli({"--check-language", file});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Language: 1049 русский (Россия)"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Encoding: code page 1251"));
    EXPECT_TRUE(QRegularExpression("Messages: 1 of [1-9][0-9]+\n").match(r.out).hasMatch()) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Missing: message writeerror"));
    EXPECT_TRUE(r.out.contains("Unknown: message nosuchmessage"));
}

TEST_F(LanguageTools, CheckFailsWithTheProgramsOwnError) {
    const TRun bad = Cli({"--check-language", Write("bad.lng", "LangID=1031\n[mainform]\n\nten=x\n")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "orvane-cli: Loading translations failed.\nLine 4: 'ten' is not a valid integer value\n");
    EXPECT_EQ(Cli({"--check-language", Write("none.lng", "[$CONSTANTS]\n")}).status, 1);
    const TRun utf8 = Cli({"--check-language", Write("utf8.lng", "\xEF\xBB\xBFLangID=1031\n")});
    EXPECT_EQ(utf8.status, 1);
    EXPECT_TRUE(utf8.err.contains("the file is UTF-8")) << utf8.err.toStdString();
    EXPECT_EQ(Cli({"--check-language", dir.path() + "/missing.lng"}).status, 1);
    EXPECT_EQ(Cli({"--check-language"}).status, 2);
    EXPECT_EQ(Cli({"--messages", "--check-language", "x"}).status, 2);
}

TEST_F(LanguageTools, TemplateHoldsEveryMessageAndChecksCleanOnceNamed) {
    const QString path = dir.path() + "/template.lng";
    ASSERT_EQ(Cli({"--write-language-template", path}).status, 0);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                      (bytes.size() - 2) / 2);
    EXPECT_TRUE(text.contains("; savechanges\r\nsavechanges=Would you like to save changes?\r\n"));
    EXPECT_EQ(Cli({"--check-language", path}).status, 1);  // LangID=0: never offered
    text.replace("LangID=0", "LangID=1036");
    const QString named = Write("fr.lng", QByteArray("\xFF\xFE", 2) +
                                              QByteArray(reinterpret_cast<const char*>(text.utf16()),
                                                         text.size() * 2));
    const TRun r = Cli({"--check-language", named});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(QRegularExpression("Messages: (\\d+) of \\1\n").match(r.out).hasMatch()) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("Missing:"));
}

// The desktop program knows every window: the shipped languages must cover all of their texts.
class ShippedLanguage : public ::testing::TestWithParam<std::string> {};

std::vector<std::string> ShippedFiles() {
    std::vector<std::string> files;
    for (const QString& name : QDir(ORVANE_LANGUAGES_DIR).entryList({"*.lng"}, QDir::Files))
        files.push_back(name.toStdString());
    return files;
}

TEST_P(ShippedLanguage, TranslatesEveryMessageAndWindowText) {
    if (QString(ORVANE_GUI).isEmpty()) GTEST_SKIP() << "orvane is not built here";
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(ORVANE_GUI, {"--check-language", QString(ORVANE_LANGUAGES_DIR) + '/' + QString::fromStdString(GetParam())});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(QRegularExpression("Messages: (\\d+) of \\1\n").match(out).hasMatch()) << out.toStdString();
    const QRegularExpressionMatch windows =
        QRegularExpression("Window texts: (\\d+) of (\\d+)\n").match(out);
    ASSERT_TRUE(windows.hasMatch()) << out.toStdString();
    EXPECT_GT(windows.captured(2).toInt(), 0);
    EXPECT_EQ(windows.captured(1), windows.captured(2));
    EXPECT_FALSE(out.contains("Missing:")) << out.toStdString();
    EXPECT_FALSE(out.contains("Unknown:")) << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguage, ::testing::ValuesIn(ShippedFiles()),
                         [](const auto& info) {
                             return QString::fromStdString(info.param).section('.', 0, 0).toStdString();
                         });
