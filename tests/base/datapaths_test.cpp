// Where program data is found: the build tree's data folder for a test run from it, then the
// user's folder under XDG_DATA_HOME.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "datapaths.h"
#include "testutil.h"

TEST(DataPaths, ProgramDataThenTheUsers) {
    QTemporaryDir home;
    TEnv xdg("XDG_DATA_HOME", home.path().toStdString());
    EXPECT_EQ(UserDataFolder(), home.path() + "/orvane");
    EXPECT_EQ(UserLanguageFolder(), home.path() + "/orvane/languages");

    // A test runs inside the build tree, so the program's data is the source tree's data/.
    const QString program = ProgramDataFolder();
    ASSERT_FALSE(program.isEmpty());
    EXPECT_TRUE(QDir(program + "/languages").exists());
    EXPECT_EQ(DataFolders(), QStringList{program});  // the user's folder does not exist yet
    EXPECT_EQ(LanguageFolders(), QStringList{program + "/languages"});

    ASSERT_TRUE(QDir().mkpath(home.path() + "/orvane/languages"));
    EXPECT_EQ(DataFolders(), (QStringList{program, home.path() + "/orvane"}));
    EXPECT_EQ(LanguageFolders(), (QStringList{program + "/languages", home.path() + "/orvane/languages"}));

    QFile f(home.path() + "/orvane/mine.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(FindDataFile("mine.txt"), f.fileName());
    EXPECT_EQ(FindDataFile("languages"), program + "/languages");
    EXPECT_TRUE(FindDataFile("no/such/file").isEmpty());
}
