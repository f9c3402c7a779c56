// Version files left by killed runs: the start-up sweep removes every version file that no live
// process holds, with its peak file, and nothing that is held or not ours.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "testutil.h"
#include "versionfiles.h"

namespace {

void Touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

QStringList Entries(const QString& folder) {
    QStringList list = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                              QDir::NoDotAndDotDot);
    list.sort();
    return list;
}

QString Name(const QString& path) {
    return QFileInfo(path).fileName();
}

TEST(VersionSweep, RemovesWhatNoLiveRunHoldsAndNothingElse) {
    TTempFolder dir;
    // Held by this run.
    const QString live = CreateVersionFile(dir.path());
    Touch(PeakFilePath(live));
    // Made by a run that was then killed: the lock went with it.
    const pid_t child = fork();
    if (child == 0) {
        const QString v = CreateVersionFile(dir.path());
        QFile(PeakFilePath(v)).open(QIODevice::WriteOnly);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    // Left by an older run that took no locks, a peak file whose version is gone, and names
    // that only look alike.
    Touch(dir.path("~ovOld123"));
    Touch(dir.path("~ovGone12.pk"));
    for (const char* other :
         {"~ovShort", "~ovToolong1", "~ovOld123.bak", "~ov-dash1", "x~ovAbc123"}) {
        Touch(dir.path(other));
    }
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.path("~ovFifo12")).constData(), 0600), 0);
    ASSERT_EQ(symlink("/dev/null", QFile::encodeName(dir.path("~ovLink12")).constData()), 0);
    ASSERT_EQ(Entries(dir.path()).size(), 13);

    EXPECT_EQ(RemoveStaleVersionFiles(dir.path()), 4);
    QStringList kept = {"x~ovAbc123",  "~ov-dash1",     "~ovFifo12",
                        "~ovLink12",   "~ovOld123.bak", "~ovShort",
                        "~ovToolong1", Name(live),      Name(PeakFilePath(live))};
    kept.sort();
    EXPECT_EQ(Entries(dir.path()), kept);
    // Once this run lets go, its version goes too.
    RemoveVersionFile(live);
    EXPECT_FALSE(QFile::exists(live));
    EXPECT_FALSE(QFile::exists(PeakFilePath(live)));
}

TEST(VersionFiles, AHistoryLongerThanTheDescriptorLimitStillGetsItsVersions) {
    TTempFolder dir;
    const pid_t child = fork();
    if (child == 0) {
        // Each version holds a descriptor: a soft limit a few above what is open now is soon hit.
        rlimit lim{};
        getrlimit(RLIMIT_NOFILE, &lim);
        if (lim.rlim_max < 200) _exit(2);
        lim.rlim_cur = 64;
        setrlimit(RLIMIT_NOFILE, &lim);
        try {
            for (int i = 0; i < 100; ++i) CreateVersionFile(dir.path());
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "hard limit too low";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(dir.tempFiles().size(), 100);
}

TEST(VersionSweep, AMissingFolderIsNoError) {
    EXPECT_EQ(RemoveStaleVersionFiles("/nonexistent/orvane-versions"), 0);
}

}  // namespace
