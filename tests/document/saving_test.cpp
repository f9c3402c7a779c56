// Saving the document: where it checks for room, which file it writes, when it counts as saved.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "doctest_util.h"
#include "messages.h"

namespace {

std::vector<int16_t> Ramp(size_t n) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = int16_t((i * 37) % 20000 - 10000);
    return v;
}

class Saving : public ::testing::Test, public TDocFixture {
protected:
    bool SaveAndWait(const QString& path, int64_t start, int64_t end) {
        if (!doc.SaveRange(path, start, end)) return false;
        Wait();
        return true;
    }
};

TEST_F(Saving, AFullTemporaryFolderDoesNotStopASaveElsewhere) {
    TSmallDisk disk("1m");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    LoadSamples(2, Ramp(2 * 400000));
    const QString saved = Settings.tempfolder;
    Settings.tempfolder = disk.path();
    const bool started = SaveAndWait(dir.path("out.wav"), 0, doc.Frames());
    Settings.tempfolder = saved;
    ASSERT_TRUE(started);
    EXPECT_TRUE(notifier.errors.empty()) << notifier.errors[0];
    EXPECT_EQ(QFileInfo(dir.path("out.wav")).size(), 44 + 1600000);
}

TEST_F(Saving, AnEditKeepsTheTemporaryFolderItWasStartedWith) {
    LoadSamples(1, Ramp(3000));
    QTemporaryDir elsewhere;
    const QString saved = Settings.tempfolder;
    // The settings dialog changes the folder while the edit runs (after it has begun, before it
    // names its new version).
    doc.OnAction = [&](Twavefile*, bool, bool) { Settings.tempfolder = elsewhere.path() + "/"; };
    doc.Invert();
    Wait();
    Settings.tempfolder = saved;
    EXPECT_TRUE(doc.Ready());
    EXPECT_EQ(QFileInfo(doc.TempPath()).absolutePath(), QFileInfo(dir.path()).absolutePath());
    EXPECT_TRUE(QDir(elsewhere.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(Saving, RefusedWhileTheDocumentIsNotReady) {
    TSmallDisk disk("300k");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    LoadSamples(2, Ramp(2 * 100000));
    const QString saved = Settings.tempfolder;
    Settings.tempfolder = disk.path();
    doc.Reverse();  // fails for want of room: the document is left not ready
    Wait();
    Settings.tempfolder = saved;
    ASSERT_FALSE(doc.Ready());
    EXPECT_FALSE(doc.SaveRange(dir.path("out.wav"), 0, doc.Frames()));
    doc.SetFileName(dir.path("own.wav"));
    EXPECT_FALSE(doc.Save());
    EXPECT_FALSE(QFileInfo::exists(dir.path("out.wav")));
    EXPECT_FALSE(QFileInfo::exists(dir.path("own.wav")));
}

struct TModifiedCase {
    const char* name;
    bool ownName;
    bool whole;
    bool modifiedAfter;
};

void PrintTo(const TModifiedCase& c, std::ostream* os) {
    *os << c.name;
}

class SavingModified : public Saving, public ::testing::WithParamInterface<TModifiedCase> {};

TEST_P(SavingModified, OnlyTheWholeDocumentUnderItsOwnNameCountsAsSaved) {
    LoadSamples(1, Ramp(3000));
    doc.SetFileName(dir.path("own.wav"));
    doc.Invert();
    Wait();
    ASSERT_TRUE(doc.Modified());
    const QString path = GetParam().ownName ? doc.FileName() : dir.path("other.wav");
    ASSERT_TRUE(SaveAndWait(path, 0, GetParam().whole ? doc.Frames() : 100));
    EXPECT_TRUE(notifier.errors.empty());
    EXPECT_EQ(doc.Modified(), GetParam().modifiedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, SavingModified,
    ::testing::Values(TModifiedCase{"WholeUnderItsOwnName", true, true, false},
                      TModifiedCase{"RangeUnderItsOwnName", true, false, true},
                      TModifiedCase{"WholeUnderAnotherName", false, true, true},
                      TModifiedCase{"RangeUnderAnotherName", false, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Steps: i invert, r reverse, s save under the document's own name, u undo, d redo, t a new
// title. Modified tells whether the sound or the tags shown differ from what the file holds.
struct TSavedVersionCase {
    const char* name;
    const char* steps;
    bool modified;
};

void PrintTo(const TSavedVersionCase& c, std::ostream* os) {
    *os << c.name;
}

class SavedVersion : public Saving, public ::testing::WithParamInterface<TSavedVersionCase> {};

TEST_P(SavedVersion, UndoAndRedoAwayFromTheSavedVersionMakeTheDocumentModified) {
    WriteWav(dir.path("own.wav"), 1, 44100, Ramp(3000));
    Load(dir.path("own.wav"));
    for (const char* c = GetParam().steps; *c; ++c) {
        switch (*c) {
            case 'i':
                doc.Invert();
                break;
            case 'r':
                doc.Reverse();
                break;
            case 's':
                ASSERT_TRUE(doc.Save());
                break;
            case 'u':
                doc.Undo();
                break;
            case 'd':
                doc.Redo();
                break;
            case 't': {
                TTags tags = doc.Tags();
                tags.values["title"] += "x";
                ASSERT_TRUE(doc.SetTags(tags));
                continue;  // no operation to wait for
            }
        }
        Wait();
    }
    EXPECT_TRUE(notifier.errors.empty());
    EXPECT_EQ(doc.Modified(), GetParam().modified);
    // Whatever the flag, a save writes the sound shown.
    const std::vector<int16_t> shown = Samples();
    ASSERT_TRUE(SaveAndWait(doc.FileName(), 0, doc.Frames()));
    EXPECT_EQ(ReadWavSamples(dir.path("own.wav")), shown);
    EXPECT_EQ(ReadTags(dir.path("own.wav")), doc.Tags());
    EXPECT_FALSE(doc.Modified());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SavedVersion,
    ::testing::Values(TSavedVersionCase{"EditUndoneToTheLoadedVersion", "iu", false},
                      TSavedVersionCase{"SaveThenUndo", "isu", true},
                      TSavedVersionCase{"SaveThenUndoRedo", "isud", false},
                      TSavedVersionCase{"SaveUndoneThenRedoneTwice", "irsuud", true},
                      TSavedVersionCase{"SavedVersionEndedByANewEdit", "isuru", true},
                      // Tags are not in the history: undo gives back no old title.
                      TSavedVersionCase{"NewTitle", "t", true},
                      TSavedVersionCase{"NewTitleThenAnEditUndone", "tiu", true},
                      TSavedVersionCase{"NewTitleSavedThenAnEditUndone", "tsiu", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Saving, ThroughASymbolicLinkWritesTheFileItNames) {
    LoadSamples(1, Ramp(300));
    QDir().mkpath(dir.path("real"));
    WriteWav(dir.path("real/song.wav"), 1, 8000, Ramp(10));
    ::chmod(QFile::encodeName(dir.path("real/song.wav")).constData(), 0640);
    ASSERT_TRUE(QFile::link("real/song.wav", dir.path("link.wav")));
    ASSERT_TRUE(SaveAndWait(dir.path("link.wav"), 0, 300));
    EXPECT_TRUE(notifier.errors.empty());
    EXPECT_TRUE(QFileInfo(dir.path("link.wav")).isSymLink());
    EXPECT_EQ(ReadWavSamples(dir.path("real/song.wav")), Ramp(300));
    EXPECT_EQ(QFileInfo(dir.path("real/song.wav")).permissions() & 0x7777,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser | QFileDevice::ReadGroup);
    // Nothing pending is left in either folder.
    EXPECT_TRUE(QDir(dir.path()).entryList({".*.wav*"}, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(QDir(dir.path("real")).entryList({".*"}, QDir::Files | QDir::Hidden).isEmpty());
}

// A save is copied in blocks of millions of samples; a range that starts off a block boundary
// and spans several blocks must come out whole, in order, with nothing of its edges lost.
TEST_F(Saving, ARangeAcrossManyCopyBlocksIsExact) {
    std::vector<int16_t> samples(2 * 4500000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t((i * 2654435761u) >> 16);
    LoadSamples(2, samples);
    const int64_t start = 12345, end = doc.Frames() - 7;
    ASSERT_TRUE(SaveAndWait(dir.path("part.wav"), start, end));
    EXPECT_TRUE(notifier.errors.empty());
    const std::vector<int16_t> saved = ReadWavSamples(dir.path("part.wav"));
    ASSERT_EQ(saved.size(), size_t(2 * (end - start)));
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), samples.begin() + 2 * start));
}

}  // namespace
