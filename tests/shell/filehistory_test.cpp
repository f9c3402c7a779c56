// The recent files and the folder the file dialogs start in.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <QAction>

#include "commands.h"
#include "filehistory.h"
#include "settings.h"
#include "shell_fixture.h"
#include "testutil.h"

namespace {

// Names in the case tables are files in a fresh folder: "a" is <folder>/a.
struct THistoryCase {
    const char* name;
    QStringList opened;    // in this order
    QStringList expected;  // Files() afterwards, newest first
};

void PrintTo(const THistoryCase& c, std::ostream* out) {
    *out << c.name;
}

class RecentFiles : public ::testing::TestWithParam<THistoryCase> {};

TEST_P(RecentFiles, KeepTheLastEightOpenedNewestFirst) {
    TTempFolder dir;
    TSettings settings;
    TFileHistory history(settings);
    for (const QString& name : GetParam().opened) history.Opened(dir.path(name));
    QStringList expected;
    for (const QString& name : GetParam().expected) expected << dir.path(name);
    EXPECT_EQ(history.Files(), expected);
    EXPECT_EQ(settings.recentfiles, expected);  // what the settings store
    if (!expected.isEmpty()) {
        EXPECT_EQ(settings.lastfolder, QDir(dir.path()).absolutePath());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecentFiles,
    ::testing::Values(
        THistoryCase{"None", {}, {}},
        THistoryCase{"NewestFirst", {"a", "b", "c"}, {"c", "b", "a"}},
        THistoryCase{"ReopenedMovesToTheTop", {"a", "b", "c", "a"}, {"a", "c", "b"}},
        THistoryCase{"SameFileTwiceIsOneEntry", {"a", "a"}, {"a"}},
        THistoryCase{"NinthPushesTheOldestOut",
                     {"1", "2", "3", "4", "5", "6", "7", "8", "9"},
                     {"9", "8", "7", "6", "5", "4", "3", "2"}},
        THistoryCase{"ReopeningTheOldestOfEightKeepsEight",
                     {"1", "2", "3", "4", "5", "6", "7", "8", "1"},
                     {"1", "8", "7", "6", "5", "4", "3", "2"}},
        // A name given with a detour is the same file.
        THistoryCase{"PathsAreMadeAbsoluteAndClean", {"a", "sub/../a"}, {"a"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecentFiles, AMissingFileIsDroppedWhenChosen) {
    TTempFolder dir;
    for (const char* name : {"here.wav", "gone.wav"}) {
        QFile f(dir.path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    TSettings settings;
    TFileHistory history(settings);
    history.Opened(dir.path("gone.wav"));
    history.Opened(dir.path("here.wav"));
    ASSERT_TRUE(QFile::remove(dir.path("gone.wav")));

    QString missing;
    EXPECT_EQ(history.Choose(0, &missing), dir.path("here.wav"));
    EXPECT_EQ(missing, "");
    EXPECT_EQ(history.Choose(1, &missing), "");
    EXPECT_EQ(missing, dir.path("gone.wav"));
    EXPECT_EQ(history.Files(), QStringList{dir.path("here.wav")});
    missing.clear();
    EXPECT_EQ(history.Choose(1, &missing), "");  // no such entry any more
    EXPECT_EQ(history.Choose(-1, &missing), "");
    EXPECT_EQ(missing, "");
}

struct TFolderCase {
    const char* name;
    const char* current;     // the open file, relative to the folder; "" none
    const char* lastfolder;  // relative; "" none
    const char* start;       // StartFolder(); "" none
    const char* proposal;    // SaveProposal()
};

void PrintTo(const TFolderCase& c, std::ostream* out) {
    *out << c.name;
}

class DialogFolder : public ::testing::TestWithParam<TFolderCase> {};

TEST_P(DialogFolder, IsTheOpenFilesElseTheLastUsed) {
    const TFolderCase& c = GetParam();
    TTempFolder dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("music"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("last"));
    const QString root = QDir(dir.path()).absolutePath() + '/';
    auto full = [&](const char* relative) {
        return *relative ? root + QLatin1String(relative) : QString();
    };
    TSettings settings;
    settings.lastfolder = *c.lastfolder ? root + QLatin1String(c.lastfolder) : QString();
    const TFileHistory history(settings);
    EXPECT_EQ(history.StartFolder(full(c.current)), *c.start ? root + c.start : QString());
    EXPECT_EQ(history.SaveProposal(full(c.current)), full(c.proposal));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DialogFolder,
    ::testing::Values(
        TFolderCase{"NothingYet", "", "", "", ""},
        TFolderCase{"LastUsed", "", "last", "last", "last"},
        TFolderCase{"OpenFileWins", "music/song.mp3", "last", "music", "music/song.mp3"},
        TFolderCase{"OpenFileInAFolderSinceRemoved", "gone/song.mp3", "last", "last", "last"},
        TFolderCase{"LastUsedSinceRemoved", "", "gone", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// One entry is stored as a plain string, not a list: it still reads back as a list.
TEST(RecentFiles, AreKeptInTheSettingsStore) {
    const TSettings saved = LoadSettings();
    for (const QStringList& files :
         {QStringList{}, QStringList{"/m/one & only.mp3"},
          QStringList{"/m/1", "/m/2", "/m/3", "/m/4", "/m/5", "/m/6", "/m/7", "/m/8"}}) {
        TSettings record = saved;
        record.recentfiles = files;
        record.lastfolder = files.isEmpty() ? QString() : "/m";
        SaveSettings(record);
        const TSettings loaded = LoadSettings();
        EXPECT_EQ(loaded.recentfiles, files);
        EXPECT_EQ(loaded.lastfolder, record.lastfolder);
    }
    SaveSettings(saved);
}

class RecentFilesMenu : public ::testing::Test, public TShellFixture {};

TEST_F(RecentFilesMenu, OpensByShortcutAndDropsAFileThatIsGone) {
    const QString a = WriteStereo("a.wav", 800);
    const QString b = WriteStereo("b.wav", 800);
    Open(a);
    Open(b);
    const QList<QAction*> recent = Cmd().RecentActions();
    ASSERT_EQ(recent.size(), 8);
    EXPECT_EQ(recent[0]->text(), "&1 " + b);
    EXPECT_EQ(recent[1]->text(), "&2 " + a);
    EXPECT_EQ(recent[1]->shortcut(), QKeySequence("Ctrl+2"));
    EXPECT_TRUE(recent[1]->isVisible());
    EXPECT_FALSE(recent[2]->isVisible());

    // Open and Save As start beside the open file and propose its name.
    Cmd().OpenAction->trigger();
    EXPECT_EQ(dialogs.openFolders.value(0), QDir(dir.path()).absolutePath());
    Cmd().SaveAsAction->trigger();
    EXPECT_EQ(dialogs.saveProposals.value(0), b);

    recent[1]->trigger();
    Wait();
    EXPECT_EQ(form->Document().FileName(), a);
    EXPECT_EQ(recent[0]->text(), "&1 " + a);

    ASSERT_TRUE(QFile::remove(b));
    recent[1]->trigger();
    Wait();
    EXPECT_EQ(form->Document().FileName(), a);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], "The file " + b +
                                       " no longer exists. It has been removed from the recent "
                                       "files.");
    EXPECT_FALSE(recent[1]->isVisible());
    EXPECT_EQ(Settings.recentfiles, QStringList{a});
}

}  // namespace
