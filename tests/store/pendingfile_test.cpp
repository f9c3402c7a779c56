#include "pendingfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "testutil.h"

namespace {

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Writes `bytes` to target through a pending file and commits it.
void Replace(const QString& target, const QByteArray& bytes) {
    TPendingFile pending(target);
    Write(pending.Path(), bytes);
    pending.Commit();
}

struct stat Stat(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

struct TLinkCase {
    const char* name;
    const char* link;    // the name saved to
    const char* target;  // where the link points, relative to the link's folder
    const char* real;    // the file that must receive the bytes
    bool realExists;
};

void PrintTo(const TLinkCase& c, std::ostream* os) {
    *os << c.name;
}

class PendingLinkTest : public ::testing::TestWithParam<TLinkCase> {};

TEST_P(PendingLinkTest, TheFileTheLinkNamesIsReplacedAndTheLinkStays) {
    TTempFolder dir;
    QDir().mkpath(dir.path("a/b"));
    if (GetParam().realExists) Write(dir.path(GetParam().real), "old");
    ASSERT_TRUE(QFile::link(GetParam().target, dir.path(GetParam().link)));
    if (std::string(GetParam().name) == "LinkToALink") {
        ASSERT_TRUE(QFile::link("b/file", dir.path("a/hop")));
    }
    Replace(dir.path(GetParam().link), "new");
    EXPECT_TRUE(QFileInfo(dir.path(GetParam().link)).isSymLink());
    EXPECT_EQ(ReadAll(dir.path(GetParam().real)), "new");
}

INSTANTIATE_TEST_SUITE_P(
    Links, PendingLinkTest,
    ::testing::Values(TLinkCase{"LinkToAFile", "link", "a/b/file", "a/b/file", true},
                      TLinkCase{"LinkToALink", "link", "a/hop", "a/b/file", true},
                      TLinkCase{"LinkToAFileNotYetThere", "link", "a/b/file", "a/b/file", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PendingFile, KeepsTheReplacedFilesModeOwnerAndGroup) {
    TTempFolder dir;
    const QString target = dir.path("song.wav");
    Write(target, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0604), 0);
    const bool canChown = ::geteuid() == 0;
    if (canChown) {
        ASSERT_EQ(::chown(QFile::encodeName(target).constData(), 1234, 4321), 0);
    }
    Replace(target, "new");
    const struct stat st = Stat(target);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    if (canChown) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 4321u);
    }
    EXPECT_EQ(ReadAll(target), "new");
}

TEST(PendingFile, UncommittedLeavesTheTargetAndNoTrace) {
    TTempFolder dir;
    const QString target = dir.path("song.wav");
    Write(target, "old");
    {
        TPendingFile pending(target);
        Write(pending.Path(), "half");
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"song.wav"});
}

}  // namespace
