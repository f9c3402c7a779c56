// The language manager: scanning, the available list, switching languages and the messages.
#include <gtest/gtest.h>

#include <QDir>
#include <atomic>
#include <thread>
#include <QFile>
#include <QTemporaryDir>

#include "apperror.h"
#include "languagefile.h"
#include "languagemanager.h"
#include "messages.h"
#include "testutil.h"

namespace {

class TLanguageFolder {
public:
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.path() + '/' + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    QString Path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

const QByteArray kGerman =
    "LangID=1031\n[$CONSTANTS]\nsavechanges=Speichern?\noutofmemory=Kein Speicher.\n";
const QByteArray kRussianWithoutSaveChanges =
    "LangID=1049\n[$CONSTANTS]\noutofmemory=\xCD\xE5\xF2 \xEF\xE0\xEC\xFF\xF2\xE8.\n";

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EAppError& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace

TEST(LanguageManager, BuiltInCatalogueHasTheEnglishMessages) {
    TLanguageManager m;
    // The original catalogue's 29 messages and those added since.
    EXPECT_GE(m.MessageKeys().size(), 29u);
    EXPECT_EQ(m.MessageText(u"savechanges"), "Would you like to save changes?");
    EXPECT_EQ(m.MessageText(u"SaveChanges"), "Would you like to save changes?");
    EXPECT_TRUE(m.MessageText(u"availablefrom").startsWith("avaliable at "));
    EXPECT_EQ(m.MessageText(u"downloadit"), "Do you wan't to download it now ?");
    const QStringList keys = m.MessageKeys();
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    }));
    EXPECT_EQ(m.ActiveLanguage(), 1033);
    EXPECT_EQ(m.LanguageCount(), 1);
    EXPECT_EQ(m.LanguageID(0), 1033);
}

TEST(LanguageManager, UnknownInvalidAndDuplicateKeysAreNamed) {
    TLanguageManager m;
    EXPECT_EQ(ErrorOf([&] { m.MessageText(u"nosuchkey"); }), "Message 'nosuchkey' not found");
    EXPECT_EQ(ErrorOf([] { Msg("nosuchkey"); }), "Message 'nosuchkey' not found");
    EXPECT_EQ(ErrorOf([&] { m.AddMessage("2bad", "x"); }), "'2bad' is not a valid message key");
    EXPECT_EQ(ErrorOf([&] { m.AddMessage("SAVECHANGES", "x"); }),
              "Message 'SAVECHANGES' is already in the catalogue");
    m.AddMessage("a0_first", "First");
    EXPECT_EQ(m.MessageKeys().front(), "a0_first");
    EXPECT_EQ(m.MessageText(u"A0_FIRST"), "First");
}

TEST(LanguageManager, ScanOffersOnlyFilesWithAUsableLangId) {
    TLanguageFolder folder;
    folder.Write("b-german.lng", kGerman);
    folder.Write("a-russian.lng", kRussianWithoutSaveChanges);
    folder.Write("none.lng", "[$CONSTANTS]\nsavechanges=x\n");
    folder.Write("zero.lng", "LangID=0\n");
    folder.Write("word.lng", "LangID=German\n");
    folder.Write("english.lng", "LangID=1033\n");
    folder.Write("other.txt", "LangID=1036\n");
    folder.Write("sub/french.lng", "LangID=1036\n");
    folder.Write(".hidden/italian.lng", "LangID=1040\n");

    TLanguageManager m;
    EXPECT_EQ(m.Scan(folder.Path()), 3);  // German, Russian, and English counted only
    ASSERT_EQ(m.LanguageCount(), 3);
    EXPECT_EQ(m.LanguageID(0), 1033);
    EXPECT_EQ(m.LanguageID(1), 1049);  // files in name order
    EXPECT_EQ(m.LanguageID(2), 1031);
    EXPECT_EQ(m.IndexOfLanguage(1031), 2);
    EXPECT_EQ(m.IndexOfLanguage(1036), -1);
    EXPECT_TRUE(m.LanguageFileName(0).isEmpty());

    TLanguageManager recursive;
    EXPECT_EQ(recursive.Scan(folder.Path(), "*.lng", true), 4);
    EXPECT_EQ(recursive.LanguageCount(), 4);
    EXPECT_EQ(recursive.IndexOfLanguage(1040), -1);
}

TEST(LanguageManager, ALaterFileForTheSameLanguageReplacesTheFirst) {
    TLanguageFolder installed, user;
    installed.Write("de.lng", kGerman);
    const QString mine = user.Write("de.lng", "LangID=1031\n[$CONSTANTS]\nsavechanges=Meins\n");
    TLanguageManager m;
    m.Scan(installed.Path());
    m.Scan(user.Path());
    EXPECT_EQ(m.LanguageCount(), 2);
    EXPECT_EQ(m.LanguageFileName(1), mine);
}

TEST(LanguageManager, SwitchingKeepsEarlierTextsAndEnglishRestoresAll) {
    TLanguageFolder folder;
    folder.Write("de.lng", kGerman);
    folder.Write("ru.lng", kRussianWithoutSaveChanges);
    TLanguageManager m;
    m.Scan(folder.Path());

    m.SetActiveLanguage(1031);
    EXPECT_EQ(m.ActiveLanguage(), 1031);
    EXPECT_EQ(m.CodePage(), 1252);
    EXPECT_EQ(m.MessageText(u"savechanges"), "Speichern?");
    EXPECT_EQ(m.MessageText(u"writeerror"), "Data write error!");

    m.SetActiveLanguage(1049);
    EXPECT_EQ(m.CodePage(), 1251);
    EXPECT_EQ(m.MessageText(u"outofmemory"), QStringLiteral("Нет памяти."));
    EXPECT_EQ(m.MessageText(u"savechanges"), "Speichern?");  // Russian lacks it

    m.SetActiveLanguage(1033);
    EXPECT_EQ(m.MessageText(u"savechanges"), "Would you like to save changes?");
    EXPECT_EQ(m.MessageText(u"outofmemory"), m.DefaultMessageText(u"outofmemory"));
    EXPECT_EQ(m.CodePage(), 1252);
}

TEST(LanguageManager, ALanguageWithoutAFileMeansEnglish) {
    TLanguageFolder folder;
    folder.Write("de.lng", kGerman);
    TLanguageManager m;
    m.Scan(folder.Path());
    m.SetActiveLanguage(1031);
    m.SetActiveLanguage(1036);
    EXPECT_EQ(m.ActiveLanguage(), 1033);
    EXPECT_EQ(m.MessageText(u"savechanges"), "Would you like to save changes?");
}

TEST(LanguageManager, ABrokenFileLeavesTheLanguageAsItWas) {
    TLanguageFolder folder;
    folder.Write("de.lng", kGerman);
    folder.Write("ru.lng", kRussianWithoutSaveChanges + "[mainform]\nx=1\n");
    TLanguageManager m;
    m.Scan(folder.Path());
    m.SetActiveLanguage(1031);
    EXPECT_EQ(ErrorOf([&] { m.SetActiveLanguage(1049); }),
              "Loading translations failed.\nLine 5: 'x' is not a valid integer value");
    EXPECT_EQ(m.ActiveLanguage(), 1031);
    EXPECT_EQ(m.MessageText(u"outofmemory"), "Kein Speicher.");
    QFile::remove(folder.Path() + "/de.lng");
    m.SetActiveLanguage(1033);
    EXPECT_NE(ErrorOf([&] { m.SetActiveLanguage(1031); }), "(no error)");  // gone since the scan
    EXPECT_EQ(m.ActiveLanguage(), 1033);
}

TEST(LanguageManager, SavedOrDesktopLanguageAppliesAtStart) {
    TLanguageFolder data;
    data.Write("orvane/languages/fr.lng", "LangID=1036\n[$CONSTANTS]\nsavechanges=Enregistrer ?\n");
    TEnv home("XDG_DATA_HOME", data.Path().toStdString());
    {
        TEnv lang("LC_ALL", "fr_FR.UTF-8");
        TLanguageManager m;
        const int index = m.ApplySavedLanguage(-1);
        EXPECT_EQ(m.LanguageID(index), 1036);
        EXPECT_EQ(m.MessageText(u"savechanges"), "Enregistrer ?");
    }
    TLanguageManager m;
    EXPECT_EQ(m.ApplySavedLanguage(1044), 0);  // not offered: English stays
    EXPECT_EQ(m.ActiveLanguage(), 1033);
    EXPECT_EQ(m.LanguageID(m.ApplySavedLanguage(1036 + 0x10000)), 1036);  // compared as 16-bit
}

TEST(LanguageManager, WorkerThreadsReadMessagesWhileTheLanguageChanges) {
    // The document's worker asks for texts (Msg) while the user may be switching languages.
    TLanguageFolder folder;
    folder.Write("de.lng", kGerman);
    TLanguageManager& m = TLanguageManager::Instance();
    m.Scan(folder.Path());
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, wrong{0};
    std::thread worker([&] {
        while (!stop) {
            const std::string text = Msg("savechanges");
            if (text != "Speichern?" && text != "Would you like to save changes?") ++wrong;
            ++reads;
        }
    });
    for (int i = 0; i < 200 || reads < 100; ++i) m.SetActiveLanguage(i % 2 ? 1033 : 1031);
    stop = true;
    worker.join();
    m.SetActiveLanguage(1033);
    EXPECT_EQ(wrong, 0);
}

struct TLocaleCase {
    const char* name;
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    uint16_t expected;
};

class DesktopLanguage : public ::testing::TestWithParam<TLocaleCase> {};

TEST_P(DesktopLanguage, FollowsTheLocaleVariables) {
    TEnv a("LC_ALL", GetParam().lcAll), b("LC_MESSAGES", GetParam().lcMessages),
        c("LANG", GetParam().lang);
    EXPECT_EQ(UserDefaultLanguage(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, DesktopLanguage,
    ::testing::Values(TLocaleCase{"LcAllWins", "de_DE.UTF-8", "ru_RU", "fr_FR", 1031},
                      TLocaleCase{"MessagesBeforeLang", "", "ru_RU.UTF-8", "fr_FR", 1049},
                      TLocaleCase{"LangLast", "", "", "fr_FR.UTF-8@euro", 1036},
                      TLocaleCase{"PosixIsEnglish", "C", "ru_RU", "", 1033},
                      TLocaleCase{"NothingSet", "", "", "", 1033},
                      TLocaleCase{"BareLanguage", "", "", "de", 1031},
                      TLocaleCase{"Nonsense", "", "", "xx_YY", 1033}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LanguageNames, AreTheLanguagesOwn) {
    EXPECT_EQ(LanguageDisplayName(1031), "Deutsch (Deutschland)");
    EXPECT_EQ(LanguageDisplayName(1049), QStringLiteral("русский (Россия)"));
    EXPECT_EQ(LanguageDisplayName(1033), "English (United States)");
    EXPECT_EQ(LanguageDisplayName(0x7F7E), "32638");
}

TEST(ShippedLanguages, AreCompleteAndLoad) {
    TLanguageManager m;
    EXPECT_EQ(m.Scan(ORVANE_LANGUAGES_DIR), 2);
    for (uint16_t id : {1031, 1049}) {
        const int index = m.IndexOfLanguage(id);
        ASSERT_GT(index, 0) << id;
        const TLanguageFile f = LoadLanguageFile(m.LanguageFileName(index));
        EXPECT_EQ(f.langId, id);
        for (const QString& key : m.MessageKeys())
            EXPECT_FALSE(f.Constant(key).isEmpty()) << id << " lacks " << key.toStdString();
    }
    EXPECT_TRUE(ReadAll(m.LanguageFileName(m.IndexOfLanguage(1031))).startsWith("\xFF\xFE"));
    EXPECT_FALSE(ReadAll(m.LanguageFileName(m.IndexOfLanguage(1049))).startsWith("\xFF\xFE"));
}
