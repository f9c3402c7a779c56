#include "fileio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "apperror.h"
#include "largefile.h"
#include "pendingfile.h"
#include "testutil.h"

namespace {

struct TStrikeCase {
    const char* name;
    uint64_t failAt;
    int error;
};

class FailingFileIO : public ::testing::TestWithParam<TStrikeCase> {};

// Three writes through the seam: only the chosen one fails, with the chosen errno, and the
// count goes on past it.
TEST_P(FailingFileIO, FailsOnlyTheChosenCallWithItsErrno) {
    TTempFolder folder;
    const QByteArray name = QFile::encodeName(folder.path("f"));
    TFailingFileIO io;
    TScopedFileIO scope(io);
    io.Arm(GetParam().failAt, GetParam().error);
    const int fd = FileIO().Open(name.constData(), O_WRONLY | O_CREAT, 0600);  // call 1
    ASSERT_EQ(fd < 0, GetParam().failAt == 1);
    if (fd < 0) {
        EXPECT_EQ(errno, GetParam().error);
        return;
    }
    for (uint64_t call = 2; call <= 4; ++call) {
        errno = 0;
        const ssize_t n = FileIO().Write(fd, "ab", 2);
        EXPECT_EQ(n, call == GetParam().failAt ? -1 : 2) << "call " << call;
        if (call == GetParam().failAt) {
            EXPECT_EQ(errno, GetParam().error);
        }
    }
    const int closed = FileIO().Close(fd);  // call 5
    EXPECT_EQ(closed, GetParam().failAt == 5 ? -1 : 0);
    // A failed close still released the descriptor.
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(io.Calls(), 5u);
    EXPECT_EQ(io.Fired(), GetParam().failAt != 0);
    const bool lostOne = GetParam().failAt >= 2 && GetParam().failAt <= 4;
    EXPECT_EQ(ReadAll(folder.path("f")).size(), lostOne ? 4 : 6);
}

INSTANTIATE_TEST_SUITE_P(Calls, FailingFileIO,
                         ::testing::Values(TStrikeCase{"none", 0, 0},
                                           TStrikeCase{"open_enospc", 1, ENOSPC},
                                           TStrikeCase{"second_write_eio", 3, EIO},
                                           TStrikeCase{"close_eio", 5, EIO}),
                         [](const auto& info) { return std::string(info.param.name); });

// Whatever was there, the file opened holds what was written after: nothing older shows
// through, and a reserved empty name keeps its inode.
TEST(FileIO, OpenEmptiedLeavesOnlyWhatIsWritten) {
    const struct {
        const char* name;
        const char* before;  // nullptr: no file
    } kCases[] = {{"Missing", nullptr}, {"Empty", ""}, {"Longer", "older and longer"}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        TTempFolder folder;
        const QByteArray name = QFile::encodeName(folder.path("f"));
        ino_t inode = 0;
        if (c.before != nullptr) {
            QFile f(folder.path("f"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.before);
            f.close();
            struct stat st {};
            ASSERT_EQ(::stat(name.constData(), &st), 0);
            inode = st.st_ino;
        }
        const int fd = OpenEmptied(name.constData(), O_WRONLY | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::write(fd, "new", 3), 3);
        struct stat st {};
        ASSERT_EQ(::fstat(fd, &st), 0);
        if (inode != 0) {
            EXPECT_EQ(st.st_ino, inode);
        }
        ::close(fd);
        EXPECT_EQ(ReadAll(folder.path("f")), QByteArray("new"));
    }
    TTempFolder folder;
    errno = 0;
    EXPECT_EQ(OpenEmptied(QFile::encodeName(folder.path("no/such/f")).constData(), O_WRONLY, 0600),
              -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(FileIO, InstallingNothingRestoresTheSystemCalls) {
    TFailingFileIO io;
    TFileIO* previous = InstallFileIO(&io);
    EXPECT_EQ(&FileIO(), &io);
    InstallFileIO(nullptr);
    EXPECT_NE(dynamic_cast<TPosixFileIO*>(&FileIO()), nullptr);
    InstallFileIO(previous);
}

// A store whose allocation fails on a full disk leaves no file behind and says so in words.
TEST(FileIO, StoreRefusedAtAllocationRemovesItsFile) {
    TTempFolder folder;
    TFailingFileIO io;
    TScopedFileIO scope(io);
    io.Arm(2, ENOSPC);  // open, then posix_fallocate
    EXPECT_THROW(TLargeFile(folder.path("~ov1"), 4096), EAppError);
    EXPECT_TRUE(folder.tempFiles().isEmpty());
}

// A commit whose rename fails leaves the old target and, once given up, no pending file.
TEST(FileIO, FailedRenameKeepsTheOldTarget) {
    TTempFolder folder;
    QFile old(folder.path("t.wav"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    TFailingFileIO io;
    TScopedFileIO scope(io);
    {
        TPendingFile pending(folder.path("t.wav"));
        QFile f(pending.Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("new");
        f.close();
        io.Arm(4, EIO);  // open, fsync, close, rename
        EXPECT_THROW(pending.Commit(), EOSError);
    }
    EXPECT_EQ(ReadAll(folder.path("t.wav")), QByteArray("old"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

}  // namespace
