// On a file system that shares blocks (XFS with reflink here), the stretches an edit keeps are
// cloned rather than copied: every edit and effect must give the copy path's result bit for
// bit, undo and redo included, and a fade of a sound's end must add about its own range of
// new disk, not a second copy of the sound.
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <fcntl.h>
#include <functional>

#include "doctest_util.h"

namespace {

constexpr int64_t kFrames = 300001;  // stereo, about 1.2 MB: many blocks, an odd length

std::vector<int16_t> Sound(int64_t frames) {
    std::vector<int16_t> s(size_t(frames) * 2);
    uint32_t x = 12345;
    for (int16_t& v : s) v = int16_t((x = x * 1664525u + 1013904223u) >> 17);
    return s;
}

struct TCloneCase {
    const char* name;
    std::function<void(Twavefile&)> edit;
};

struct TResult {
    std::vector<int16_t> edited, undone, redone;
};

// Loads `sound` from `folder`, with the versions there too, and applies the case.
TResult EditIn(const QString& folder, const TCloneCase& c, const std::vector<int16_t>& sound) {
    const QString saved = Settings.tempfolder;
    Settings.tempfolder = folder + "/";
    const QString source = folder + "/source.wav";
    WriteWav(source, 2, 44100, sound);
    TRecordingNotifier notifier;
    TMemoryClipboard clipboard;
    Twavefile doc(&notifier, &clipboard);
    const auto wait = [&] {
        while (doc.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    const auto samples = [&] {
        std::vector<int16_t> out(doc.Store()->SampleCount());
        doc.Store()->ReadSamples(out.data(), 0, int64_t(out.size()) - 1);
        return out;
    };
    doc.LoadFile(source);
    wait();
    TResult r;
    c.edit(doc);
    wait();
    r.edited = samples();
    doc.Undo();
    wait();
    r.undone = samples();
    doc.Redo();
    wait();
    r.redone = samples();
    doc.Close();
    QFile::remove(source);
    Settings.tempfolder = saved;
    return r;
}

class Clones : public ::testing::TestWithParam<TCloneCase> {};

TEST_P(Clones, GiveTheCopysResultBitForBit) {
    TXfsDisk xfs;
    if (!xfs.ok()) GTEST_SKIP() << xfs.why();
    TTempFolder plain;
    const std::vector<int16_t> sound = Sound(kFrames);
    const TResult copied = EditIn(plain.path(), GetParam(), sound);
    const TResult cloned = EditIn(xfs.path(), GetParam(), sound);
    EXPECT_NE(copied.edited, sound);
    EXPECT_EQ(cloned.edited, copied.edited);
    EXPECT_EQ(cloned.undone, copied.undone);
    EXPECT_EQ(cloned.redone, copied.edited);
}

INSTANTIATE_TEST_SUITE_P(
    EditsAndEffects, Clones,
    ::testing::Values(
        TCloneCase{"FadeOutOfTheEnd", [](Twavefile& d) { d.FadeOut(kFrames - 4410, kFrames); }},
        TCloneCase{"FadeInOfTheStart", [](Twavefile& d) { d.FadeIn(0, 3000); }},
        TCloneCase{"FadeInTheMiddle", [](Twavefile& d) { d.FadeIn(123457, 140000); }},
        TCloneCase{"DeleteOddRange", [](Twavefile& d) { d.Delete(1001, 200003); }},
        TCloneCase{"DeleteAlignedRange", [](Twavefile& d) { d.Delete(1013, 2037); }},
        TCloneCase{"CutAndPaste",
                   [](Twavefile& d) {
                       d.Cut(5000, 70001);
                       while (d.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                       d.Paste(150000);
                   }},
        TCloneCase{"InsertSilence", [](Twavefile& d) { d.InsertSilence(77777, 1025); }},
        TCloneCase{"Amplify", [](Twavefile& d) { d.Amplify(50); }},
        TCloneCase{"Reverse", [](Twavefile& d) { d.Reverse(); }},
        TCloneCase{"Invert", [](Twavefile& d) { d.Invert(); }}),
    [](const auto& info) { return std::string(info.param.name); });

int64_t FreeBytes(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    ::syncfs(fd);
    ::close(fd);
    struct statvfs s {};
    ::statvfs(QFile::encodeName(path).constData(), &s);
    return int64_t(s.f_bfree) * int64_t(s.f_frsize);
}

// A minute of stereo, its last second faded: the new version shares all but that second.
TEST(ClonedFade, AddsAboutItsRangeOfNewDisk) {
    TXfsDisk xfs;
    if (!xfs.ok()) GTEST_SKIP() << xfs.why();
    const QString saved = Settings.tempfolder;
    Settings.tempfolder = xfs.path();
    const int64_t frames = 60 * 44100;
    WriteWav(xfs.path("minute.wav"), 2, 44100, Sound(frames));
    TRecordingNotifier notifier;
    Twavefile doc(&notifier);
    doc.LoadFile(xfs.path("minute.wav"));
    while (doc.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const int64_t before = FreeBytes(xfs.path());
    doc.FadeOut(frames - 44100, frames);
    while (doc.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const int64_t added = before - FreeBytes(xfs.path());
    // The faded second (176 kB), a peak file and a few partial blocks; a copy would add 10 MB.
    EXPECT_LT(added, 1 << 20) << added;
    // The history's figure counts what the undo step holds alone, not the blocks it shares.
    EXPECT_LT(doc.HistoryBytes(), 1 << 20) << doc.HistoryBytes();
    EXPECT_EQ(doc.HistoryBytes(1), 0);
    doc.Close();
    Settings.tempfolder = saved;
}

}  // namespace
