#include <gtest/gtest.h>
#include <QFileInfo>

#include "doctest_util.h"
#include "messages.h"

namespace {

std::vector<int16_t> Ramp(size_t n) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = int16_t((i * 37) % 20000 - 10000);
    return v;
}

class Document : public ::testing::Test, public TDocFixture {};

TEST_F(Document, LoadReportsLoadedThenReadyWithProgressZero) {
    std::vector<int16_t> s = Ramp(2 * 3000);
    s[2 * 1500] = 16384;
    LoadSamples(2, s);
    EXPECT_EQ(events, (std::vector<std::string>{"loaded", "ready"}));
    EXPECT_EQ(progressAtReady, 0);
    EXPECT_TRUE(doc.Ready());
    EXPECT_FALSE(doc.Modified());
    EXPECT_EQ(doc.Channels(), 2);
    EXPECT_EQ(doc.SampleRate(), 44100u);
    EXPECT_EQ(doc.Frames(), 3000u);
    EXPECT_EQ(doc.DataBytes(), 12000u);
    EXPECT_DOUBLE_EQ(doc.Duration(), 3000.0 / 44100);
    EXPECT_EQ(doc.SourceFormat(), sfWav);
    EXPECT_EQ(doc.Peak(), 16384);
    EXPECT_EQ(doc.Level(), -6);
    EXPECT_EQ(doc.PeakTable().size(), size_t((3000 + 511) / 512 + 1) * 2);
    // A 16-bit source comes through bit for bit.
    EXPECT_EQ(Samples(), s);
}

TEST_F(Document, EmptySoundIsReadyAndSilent) {
    LoadSamples(1, {});
    EXPECT_TRUE(doc.Ready());
    EXPECT_EQ(doc.Frames(), 0u);
    EXPECT_EQ(doc.Peak(), 0);
    EXPECT_EQ(doc.Level(), -90);
}

TEST_F(Document, UnreadableFileFailsWithTheLoadMessage) {
    QFile f(dir.path("noise.mp3"));
    f.open(QIODevice::WriteOnly);
    for (int i = 0; i < 5000; ++i) f.write(QByteArray(1, char((i * 7919) % 251)));
    f.close();
    Load(dir.path("noise.mp3"));
    EXPECT_FALSE(doc.Ready());
    EXPECT_EQ(events, (std::vector<std::string>{"ready"}));
    ASSERT_EQ(notifier.warnings.size(), 1u);
    EXPECT_EQ(
        notifier.warnings[0],
        "File Loading Error!|Could not import audio file. Format not supported or file broken");
    EXPECT_EQ(doc.FileName(), dir.path("noise.mp3"));
    doc.Close();
    EXPECT_TRUE(dir.tempFiles().isEmpty());
}

TEST_F(Document, RequestsWhileBusyAreIgnoredWithTheirParameters) {
    LoadSamples(2, Ramp(2 * 400000));
    ASSERT_TRUE(doc.SaveRange(dir.path("first.wav"), 0, 1000));
    EXPECT_FALSE(doc.SaveRange(dir.path("second.wav"), 0, 5));
    doc.Normalize(50);
    doc.Undo();
    doc.Close();
    Wait();
    EXPECT_TRUE(doc.Ready());
    EXPECT_FALSE(QFileInfo::exists(dir.path("second.wav")));
    EXPECT_EQ(QFileInfo(dir.path("first.wav")).size(), 44 + 4000);
    EXPECT_TRUE(doc.UndoStack().IsEmpty());
}

TEST_F(Document, SavesRangesWithTheirSizes) {
    LoadSamples(2, Ramp(2 * 3 * 44100));
    ASSERT_TRUE(doc.SaveRange(dir.path("all.wav"), 0, doc.Frames()));
    Wait();
    const QByteArray all = ReadAll(dir.path("all.wav"));
    ASSERT_EQ(all.size(), 44 + 529200);
    const TWavHeader h = TWavHeader::Parse(reinterpret_cast<const uint8_t*>(all.constData()));
    EXPECT_EQ(h.riffSize, 529236u);
    EXPECT_EQ(h.dataSize, 529200u);
    // Ranges are ordered and clamped: 44100..10^9 reversed is the last two seconds.
    ASSERT_TRUE(doc.SaveRange(dir.path("Part.WAV"), 1000000000, 44100));
    Wait();
    const std::vector<int16_t> part = ReadWavSamples(dir.path("Part.WAV"));
    ASSERT_EQ(part.size(), size_t(2 * 2 * 44100));
    EXPECT_TRUE(std::equal(part.begin(), part.end(), Samples().begin() + 2 * 44100));
    EXPECT_FALSE(doc.SaveRange(dir.path("x.flac"), 0, 10));
    EXPECT_FALSE(doc.SaveRange(dir.path("x.mp3"), 0, 10));  // no MP3 settings dialog: nothing
}

TEST_F(Document, SaveOfAWmaDocumentStartsNothing) {
    LoadSamples(1, Ramp(100));
    doc.SetFileName(dir.path("song.wma"));
    EXPECT_FALSE(doc.Save());
    EXPECT_FALSE(doc.Busy());
}

TEST_F(Document, FailedSaveKeepsTheOldFileAndLeavesNoPartialFile) {
    TSmallDisk disk("256k");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    const QString target = disk.path("keep.wav");
    WriteWav(target, 1, 8000, Ramp(1000));
    const QByteArray before = ReadAll(target);
    LoadSamples(2, Ramp(2 * 200000));
    doc.Reverse();
    Wait();
    ASSERT_TRUE(doc.Modified());
    ASSERT_TRUE(doc.SaveRange(target, 0, doc.Frames()));
    Wait();
    EXPECT_EQ(notifier.errors.size(), 1u);
    EXPECT_EQ(ReadAll(target), before);
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_TRUE(doc.Modified());
    EXPECT_TRUE(doc.Ready());
}

TEST_F(Document, SaveReplacesAnExistingFileWhole) {
    const QString target = dir.path("over.wav");
    WriteWav(target, 2, 44100, Ramp(2 * 50000));
    LoadSamples(1, Ramp(300));
    ASSERT_TRUE(doc.SaveRange(target, 0, 300));
    Wait();
    EXPECT_EQ(ReadWavSamples(target), Ramp(300));
}

TEST_F(Document, CloseDeletesEveryVersionFile) {
    LoadSamples(2, Ramp(2 * 5000));
    doc.Invert();
    Wait();
    doc.Reverse();
    Wait();
    doc.Undo();
    Wait();
    EXPECT_EQ(dir.tempFiles().size(), 3);
    doc.Close();
    EXPECT_TRUE(dir.tempFiles().isEmpty());
    EXPECT_FALSE(doc.Ready());
    EXPECT_FALSE(doc.Modified());
    EXPECT_TRUE(doc.FileName().isEmpty());
}

TEST_F(Document, LoadingAgainClosesTheOldDocumentFirst) {
    LoadSamples(1, Ramp(2000));
    doc.Invert();
    Wait();
    ASSERT_EQ(dir.tempFiles().size(), 2);
    LoadSamples(1, Ramp(100));
    EXPECT_EQ(dir.tempFiles().size(), 1);
    EXPECT_TRUE(doc.UndoStack().IsEmpty());
    EXPECT_FALSE(doc.Modified());
}

TEST(DocumentLifetime, DestroyingWithoutCloseLeavesTheFiles) {
    TTempFolder dir;
    WriteWav(dir.path("s.wav"), 1, 8000, Ramp(100));
    {
        Twavefile doc;
        doc.LoadFile(dir.path("s.wav"));
        while (doc.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(doc.Ready());
    }
    EXPECT_EQ(dir.tempFiles().size(), 1);
}

TEST(DocumentLifetime, DestroyingWhileBusyWaitsForTheWorker) {
    TTempFolder dir;
    WriteWav(dir.path("s.wav"), 2, 44100, Ramp(2 * 500000));
    TRecordingNotifier n;
    {
        Twavefile doc(&n);
        doc.LoadFile(dir.path("s.wav"));
    }
    // The load ran to its end before the document went: its version file is complete, sizes
    // patched into the header, and nothing was shown.
    ASSERT_EQ(dir.tempFiles().size(), 1);
    const QString version = dir.path(dir.tempFiles().front());
    EXPECT_EQ(QFileInfo(version).size(), 44 + 2 * 2 * 500000);
    const QByteArray bytes = ReadAll(version);
    const TWavHeader h = TWavHeader::Parse(reinterpret_cast<const uint8_t*>(bytes.constData()));
    EXPECT_EQ(h.dataSize, 2u * 2 * 500000);
    EXPECT_TRUE(n.errors.empty());
    EXPECT_TRUE(n.warnings.empty());
    QFile::remove(version);
}

// --- undo and redo ---

TEST_F(Document, UndoRightAfterLoadDoesNothing) {
    LoadSamples(1, Ramp(1000));
    events.clear();
    doc.Undo();
    doc.Redo();
    EXPECT_FALSE(doc.Busy());
    EXPECT_TRUE(events.empty());
}

TEST_F(Document, TwoEditsUndoneReturnToTheLoadedVersion) {
    const std::vector<int16_t> original = Ramp(2 * 1500);
    LoadSamples(2, original);
    const QString loaded = doc.TempPath();
    doc.Delete(0, 500);
    Wait();
    doc.Reverse();
    Wait();
    EXPECT_EQ(doc.Frames(), 1000u);
    events.clear();
    doc.Undo();
    Wait();
    EXPECT_EQ(doc.Frames(), 1000u);
    doc.Undo();
    EXPECT_EQ(doc.Frames(), 1500u);  // the header is read before the rebuild runs
    Wait();
    EXPECT_EQ(doc.TempPath(), loaded);
    EXPECT_EQ(Samples(), original);
    EXPECT_TRUE(doc.UndoStack().IsEmpty());
    EXPECT_EQ(doc.RedoStack().Items().size(), 2);
    EXPECT_EQ(events.back(), "ready");
    EXPECT_EQ(events[events.size() - 2], "action 01");
    EXPECT_FALSE(doc.Modified());  // back on the version loaded from the file
    doc.Redo();
    Wait();
    doc.Redo();
    Wait();
    EXPECT_EQ(doc.Frames(), 1000u);
    EXPECT_EQ(events.back(), "ready");
    EXPECT_EQ(events[events.size() - 2], "action 10");
}

TEST_F(Document, ANewEditEndsTheRedoHistory) {
    LoadSamples(1, Ramp(1000));
    doc.Invert();
    Wait();
    doc.Undo();
    Wait();
    const QString undone = doc.RedoStack().Items().front();
    ASSERT_TRUE(QFileInfo::exists(undone));
    events.clear();
    doc.Reverse();
    Wait();
    EXPECT_FALSE(QFileInfo::exists(undone));
    EXPECT_FALSE(doc.CanRedo());
    EXPECT_EQ(events, (std::vector<std::string>{"action 10", "action 10", "ready"}));
}

TEST_F(Document, UndoRestoresLengthAndPeaks) {
    std::vector<int16_t> s(4000, 100);
    s[3500] = 30000;
    LoadSamples(1, s);
    const int level = doc.Level();
    doc.Delete(3000, 4000);
    Wait();
    EXPECT_EQ(doc.Peak(), 100);
    doc.Undo();
    Wait();
    EXPECT_EQ(doc.Frames(), 4000u);
    EXPECT_EQ(doc.Peak(), 30000);
    EXPECT_EQ(doc.Level(), level);
}

TEST_F(Document, AFailedEditCanBeUndone) {
    LoadSamples(2, Ramp(2 * 100000));
    TSmallDisk disk("300k");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    const QString saved = Settings.tempfolder;
    Settings.tempfolder = disk.path();
    doc.Reverse();
    Wait();
    Settings.tempfolder = saved;
    ASSERT_EQ(notifier.errors.size(), 1u);
    EXPECT_EQ(notifier.errors[0], Msg("outofmemory"));
    EXPECT_FALSE(doc.Ready());
    EXPECT_TRUE(doc.CanUndo());
    doc.Undo();
    Wait();
    EXPECT_TRUE(doc.Ready());
    EXPECT_EQ(Samples(), Ramp(2 * 100000));
    EXPECT_FALSE(doc.CanRedo());  // the broken version is not offered again
    EXPECT_TRUE(QDir(disk.path()).entryList(QDir::Files).isEmpty());
}

}  // namespace

namespace {

TEST_F(Document, SaveFailingAtTheLastStepLeavesNoPartialFile) {
    LoadSamples(1, Ramp(5000));
    // The target is a folder: everything is written, then the rename over it fails.
    QDir().mkpath(dir.path("target.wav/inside"));
    ASSERT_TRUE(doc.SaveRange(dir.path("target.wav"), 0, 5000));
    Wait();
    EXPECT_EQ(notifier.errors.size(), 1u);
    EXPECT_TRUE(QFileInfo(dir.path("target.wav/inside")).isDir());
    EXPECT_TRUE(QDir(dir.path()).entryList({".target*"}, QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace

namespace {

TEST_F(Document, AnEditThatCannotEvenNameItsFileCanBeUndone) {
    LoadSamples(1, Ramp(3000));
    const QString saved = Settings.tempfolder;
    Settings.tempfolder = dir.path("vanished/");
    doc.Invert();
    Wait();
    Settings.tempfolder = saved;
    ASSERT_EQ(notifier.errors.size(), 1u);
    EXPECT_NE(notifier.errors[0].find("vanished"), std::string::npos);
    EXPECT_FALSE(doc.Ready());
    doc.Undo();
    Wait();
    EXPECT_TRUE(doc.Ready());
    EXPECT_FALSE(doc.CanRedo());
    EXPECT_EQ(Samples(), Ramp(3000));
    EXPECT_EQ(dir.tempFiles().size(), 1);
    doc.Close();
    EXPECT_TRUE(dir.tempFiles().isEmpty());
}

}  // namespace
