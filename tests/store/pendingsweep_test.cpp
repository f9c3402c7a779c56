// Pending files left by killed saves: recognised by name and by the missing lock, removed by the
// next save over the same target, and nothing else in the folder is touched.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>

#include "pendingfile.h"
#include "pendingsweep.h"
#include "testutil.h"

namespace {

struct TNameCase {
    const char* label;
    const char* entry;
    bool pending;
};

class PendingNameTest : public ::testing::TestWithParam<TNameCase> {};

TEST_P(PendingNameTest, RecognisedOnlyInTheExactForm) {
    EXPECT_EQ(IsPendingFileName(QString::fromUtf8(GetParam().entry), "song.wav"),
              GetParam().pending);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PendingNameTest,
    ::testing::Values(TNameCase{"Mixed", ".song.wav.aB3xZ9", true},
                      TNameCase{"Digits", ".song.wav.000000", true},
                      TNameCase{"TheTarget", "song.wav", false},
                      TNameCase{"NotHidden", "song.wav.aB3xZ9", false},
                      TNameCase{"FiveChars", ".song.wav.aB3xZ", false},
                      TNameCase{"SevenChars", ".song.wav.aB3xZ99", false},
                      TNameCase{"Punctuation", ".song.wav.aB3-Z9", false},
                      TNameCase{"NonAscii", ".song.wav.aB3\xc3\xa9Z", false},
                      TNameCase{"OtherTarget", ".song.mp3.aB3xZ9", false},
                      TNameCase{"LongerTarget", ".song.wav.bak.aB3xZ9", false}),
    [](const auto& info) { return std::string(info.param.label); });

void Touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("partial");
}

QStringList Entries(const QString& folder) {
    QStringList list = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                              QDir::NoDotAndDotDot);
    list.sort();
    return list;
}

TEST(PendingSweep, RemovesOnlyUnlockedRegularPendingFilesOfTheTarget) {
    TTempFolder dir;
    Touch(dir.path("song.wav"));
    Touch(dir.path(".song.wav.AAAAAA"));
    Touch(dir.path(".song.wav.BBBBBB"));
    Touch(dir.path(".other.wav.CCCCCC"));
    Touch(dir.path("elsewhere"));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.path(".song.wav.FIFO00")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(dir.path(".song.wav.DIR000")));
    ASSERT_TRUE(QFile::link(dir.path("elsewhere"), dir.path(".song.wav.LINK00")));
    // A save in progress holds its lock.
    const int held = ::open(QFile::encodeName(dir.path(".song.wav.BBBBBB")).constData(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_TRUE(LockPendingFile(held));

    EXPECT_EQ(RemoveStalePendingFiles(dir.path(), "song.wav"), 1);
    EXPECT_EQ(Entries(dir.path()),
              QStringList({".other.wav.CCCCCC", ".song.wav.BBBBBB", ".song.wav.DIR000",
                           ".song.wav.FIFO00", ".song.wav.LINK00", "elsewhere", "song.wav"}));
    ::close(held);
    EXPECT_EQ(RemoveStalePendingFiles(dir.path(), "song.wav"), 1);
    EXPECT_FALSE(QFile::exists(dir.path(".song.wav.BBBBBB")));
    EXPECT_EQ(ReadAll(dir.path("elsewhere")), "partial");
}

TEST(PendingSweep, TheNextSaveRemovesALeftoverButNotALiveOne) {
    TTempFolder dir;
    Touch(dir.path("song.wav"));
    Touch(dir.path(".song.wav.Kil1ed"));
    {
        TPendingFile first(dir.path("song.wav"));
        EXPECT_FALSE(QFile::exists(dir.path(".song.wav.Kil1ed")));
        // A second save of the same target while the first runs leaves the first's file alone.
        TPendingFile second(dir.path("song.wav"));
        EXPECT_TRUE(QFile::exists(first.Path()));
        EXPECT_TRUE(QFile::exists(second.Path()));
        second.Commit();
    }
    EXPECT_EQ(Entries(dir.path()), QStringList({"song.wav"}));
}

}  // namespace
