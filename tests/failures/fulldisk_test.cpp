// A real disk that fills up: a small tmpfs holds the temporary folder or a save's target, with
// a filler file leaving less room than the operation needs. Needs the right to mount (root, or
// the user and mount namespace run-full-disk.sh enters); skipped otherwise.
#include <gtest/gtest.h>

#include <QDir>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>

#include "doctest_util.h"
#include "messages.h"

namespace {

constexpr uint16_t kChannels = 2;
constexpr uint32_t kFrames = 100000;  // 400 KB of samples
const QByteArray kOldTarget = "the complete old file";

std::vector<int16_t> Source() {
    std::vector<int16_t> v(size_t(kFrames) * kChannels);
    for (size_t i = 0; i < v.size(); ++i) v[i] = int16_t((i * 7919) % 30000 - 15000);
    return v;
}

// Fills the disk at `folder` up to `room` bytes left.
void Fill(const QString& folder, int64_t room) {
    const int64_t free = FreeDiskSpace(folder);
    ASSERT_GT(free, room);
    QFile filler(folder + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(64 * 1024, 'x');
    for (int64_t left = free - room; left > 0; left -= block.size()) {
        filler.write(block.constData(), std::min<int64_t>(left, block.size()));
    }
    ASSERT_TRUE(filler.flush());
}

enum class TWhere { kTemporaryFolder, kTarget };

struct TFullDiskCase {
    const char* name;
    TWhere where;
    bool loadFirst;  // the document is loaded before the disk fills
    int64_t room;    // bytes left on the disk
    std::function<void(TDocFixture&, const QString& target)> run;
    const char* target = nullptr;
};

void PrintTo(const TFullDiskCase& c, std::ostream* os) {
    *os << c.name;
}

class FullDisk : public ::testing::TestWithParam<TFullDiskCase>, public TDocFixture {};

TEST_P(FullDisk, TellsOnceAndLeavesTheSoundAndTheFilesWhole) {
    const TFullDiskCase& c = GetParam();
    TSmallDisk disk("1m");
    if (!disk.ok()) GTEST_SKIP() << "cannot mount a small tmpfs (run as root or through "
                                    "tests/failures/run-full-disk.sh)";
    doc.OnMp3Settings = [](Twavefile*) { return std::optional<TMp3Choices>(TMp3Choices{}); };
    const QString source = dir.path("source.wav");
    WriteWav(source, kChannels, 44100, Source());
    const QString saved = Settings.tempfolder;
    if (c.where == TWhere::kTemporaryFolder) Settings.tempfolder = disk.path();
    QString target;
    if (c.target) {
        target = disk.path(c.target);
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(kOldTarget);
    }
    std::vector<int16_t> before;
    if (c.loadFirst) {
        Load(source);
        ASSERT_TRUE(doc.Ready());
        doc.Invert();  // a version on the undo stack, and something to save
        Wait();
        before = Samples();
    }
    Fill(disk.path(), c.room);

    c.run(*this, target);
    Settings.tempfolder = saved;

    ASSERT_EQ(notifier.errors.size(), 1u);
    // A load that would not fit says so before it fills the disk.
    EXPECT_TRUE(notifier.errors[0].find(Msg("outofmemory")) != std::string::npos ||
                notifier.errors[0].find("too long for the disk") != std::string::npos ||
                notifier.errors[0].find(std::strerror(ENOSPC)) != std::string::npos ||
                notifier.errors[0].rfind(Msg("writeerror"), 0) == 0)
        << notifier.errors[0];
    if (!c.loadFirst) {
        EXPECT_FALSE(doc.Ready());
    } else if (!doc.Ready()) {  // a broken edit: Undo brings the sound back
        doc.Undo();
        Wait();
        EXPECT_TRUE(doc.Ready());
        EXPECT_EQ(Samples(), before);
    } else {
        EXPECT_EQ(Samples(), before);
    }
    if (!target.isEmpty()) {
        EXPECT_EQ(ReadAll(target), kOldTarget);
    }
    // The disk holds what it held: no version, temporary or pending file beyond the document's.
    QStringList expected = {"filler"};
    if (c.target) expected << c.target;
    if (c.where == TWhere::kTemporaryFolder) {
        QStringList versions = doc.UndoStack().Items();
        if (doc.Store()) versions << doc.TempPath();
        for (const QString& p : versions) {
            expected << QFileInfo(p).fileName();
            // A version's peak file, if it could be written, belongs to it.
            if (QFileInfo::exists(p + ".pk")) expected << QFileInfo(p).fileName() + ".pk";
        }
    }
    expected.sort();
    QStringList present = QDir(disk.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    present.sort();
    EXPECT_EQ(present, expected);
    doc.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Operations, FullDisk,
    ::testing::Values(
        TFullDiskCase{"LoadFillsTheTemporaryFolder", TWhere::kTemporaryFolder, false, 64 * 1024,
                      [](TDocFixture& f, const QString&) { f.Load(f.dir.path("source.wav")); }},
        TFullDiskCase{"EditFillsTheTemporaryFolder", TWhere::kTemporaryFolder, true, 64 * 1024,
                      [](TDocFixture& f, const QString&) {
                          f.doc.InsertSilence(10, 50000);
                          f.Wait();
                      }},
        TFullDiskCase{"WavSaveFillsTheTargetsDisk", TWhere::kTarget, true, 64 * 1024,
                      [](TDocFixture& f, const QString& target) {
                          ASSERT_TRUE(f.doc.SaveRange(target, 0, f.doc.Frames()));
                          f.Wait();
                      },
                      "song.wav"},
        TFullDiskCase{"Mp3SaveFillsTheTargetsDisk", TWhere::kTarget, true, 8 * 1024,
                      [](TDocFixture& f, const QString& target) {
                          ASSERT_TRUE(f.doc.SaveRange(target, 0, f.doc.Frames()));
                          f.Wait();
                      },
                      "song.mp3"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
