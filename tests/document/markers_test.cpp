// Markers move with the sound: every edit that adds or removes frames, taken back by Undo and
// given again by Redo; a marker step makes no version of its own and comes back from the
// journal of a killed run.
#include <gtest/gtest.h>

#include <QDir>
#include <functional>

#include "doctest_util.h"
#include "filtereffects.h"
#include "session.h"
#include "versionfiles.h"

namespace {

// "name@start" for a marker, "name@start-end" for a region, in the list's order.
std::string Text(const TMarkerList& marks) {
    std::string out;
    for (const TMarker& m : marks) {
        if (!out.empty()) out += ' ';
        out += m.name.toStdString() + '@' + std::to_string(m.start);
        if (m.IsRegion()) out += '-' + std::to_string(m.end);
    }
    return out;
}

TMarkerList Marks(std::initializer_list<TMarker> list) {
    TMarkerList out(list);
    SortMarkers(out);
    return out;
}

// 10000 mono frames: silent, loud from 1000 to 9000, silent.
std::vector<int16_t> Sound() {
    std::vector<int16_t> s(10000, 0);
    for (size_t i = 1000; i < 9000; ++i) s[i] = i % 2 ? 12000 : -12000;
    return s;
}

const TMarkerList kStart = Marks({{0, 0, "p0"},
                                  {500, 500, "p500"},
                                  {1500, 1500, "p1500"},
                                  {3000, 3000, "p3000"},
                                  {5000, 5000, "p5000"},
                                  {9500, 9500, "p9500"},
                                  {200, 800, "intro"},
                                  {2000, 4000, "a"},
                                  {2500, 6000, "b"},
                                  {8500, 9800, "tail"}});

struct TEditCase {
    const char* name;
    std::function<void(Twavefile&, TMemoryClipboard&)> edit;
    const char* after;
};

class MarkerArithmetic : public ::testing::TestWithParam<TEditCase>, public TDocFixture {};

TEST_P(MarkerArithmetic, MovesWithTheEditAndComesBackWithUndo) {
    LoadSamples(1, Sound(), 44100);
    const QString loaded = doc.TempPath();
    ASSERT_TRUE(doc.SetMarkers(kStart));
    // A marker step: no new version, but an undo step and a modified document.
    EXPECT_EQ(doc.TempPath(), loaded);
    EXPECT_TRUE(doc.CanUndo());
    EXPECT_TRUE(doc.Modified());
    const std::string start = Text(kStart);
    // 100 frames of another sound for Paste.
    QByteArray clip(44, '\0');
    TWavHeader::Pcm16(1, 44100, 200).WriteTo(reinterpret_cast<uint8_t*>(clip.data()));
    clip.append(QByteArray(200, '\x01'));
    clipboard.SetWave(clip);

    GetParam().edit(doc, clipboard);
    Wait();
    ASSERT_TRUE(doc.Ready());
    EXPECT_EQ(Text(doc.Markers()), GetParam().after);
    doc.Undo();
    Wait();
    EXPECT_EQ(Text(doc.Markers()), start);
    doc.Undo();
    Wait();
    EXPECT_EQ(Text(doc.Markers()), "");
    EXPECT_EQ(doc.TempPath(), loaded);
    // Back to the version and markers the file holds.
    EXPECT_FALSE(doc.Modified());
    doc.Redo();
    Wait();
    EXPECT_EQ(Text(doc.Markers()), start);
    EXPECT_EQ(doc.TempPath(), loaded);
    doc.Redo();
    Wait();
    EXPECT_EQ(Text(doc.Markers()), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    EveryLengthChange, MarkerArithmetic,
    ::testing::Values(
        // Inside a deleted range a marker goes, a region is shortened; at its start it stays.
        TEditCase{"Delete", [](Twavefile& d, TMemoryClipboard&) { d.Delete(2500, 3500); },
                  "p0@0 intro@200-800 p500@500 p1500@1500 a@2000-3000 b@2500-5000 p5000@4000 "
                  "tail@7500-8800 p9500@8500"},
        TEditCase{"Cut", [](Twavefile& d, TMemoryClipboard&) { d.Cut(2500, 3500); },
                  "p0@0 intro@200-800 p500@500 p1500@1500 a@2000-3000 b@2500-5000 p5000@4000 "
                  "tail@7500-8800 p9500@8500"},
        TEditCase{"DeleteEverything", [](Twavefile& d, TMemoryClipboard&) { d.Delete(0, 10000); },
                  "p0@0"},
        TEditCase{"DeleteAcrossARegionsStart",
                  [](Twavefile& d, TMemoryClipboard&) { d.Delete(1800, 2200); },
                  "p0@0 intro@200-800 p500@500 p1500@1500 a@1800-3600 b@2100-5600 p3000@2600 "
                  "p5000@4600 tail@8100-9400 p9500@9100"},
        // What lies after the paste point moves on; a region holding it grows; a marker at it
        // stays before what came in.
        TEditCase{"Paste", [](Twavefile& d, TMemoryClipboard&) { d.Paste(3000); },
                  "p0@0 intro@200-800 p500@500 p1500@1500 a@2000-4100 b@2500-6100 p3000@3000 "
                  "p5000@5100 tail@8600-9900 p9500@9600"},
        TEditCase{"InsertSilence",
                  [](Twavefile& d, TMemoryClipboard&) { d.InsertSilence(1500, 250); },
                  "p0@0 intro@200-800 p500@500 p1500@1500 a@2250-4250 b@2750-6250 p3000@3250 "
                  "p5000@5250 tail@8750-10050 p9500@9750"},
        // The silent head [0, 1000) and tail [9000, 10000) go.
        TEditCase{"TrimSilence", [](Twavefile& d, TMemoryClipboard&) { d.TrimSilence(-40, 0); },
                  "p0@0 p1500@500 a@1000-3000 b@1500-5000 p3000@2000 p5000@4000 tail@7500-8000"},
        // A change of speed moves everything in proportion.
        TEditCase{"Speed200",
                  [](Twavefile& d, TMemoryClipboard&) {
                      d.ApplyFilter(TFilterSettings{"speed", {200}}, 0, 0);
                  },
                  "p0@0 intro@100-400 p500@250 p1500@750 a@1000-2000 b@1250-3000 p3000@1500 "
                  "p5000@2500 tail@4250-4900 p9500@4750"},
        // An effect that keeps the length keeps the markers.
        TEditCase{"Invert", [](Twavefile& d, TMemoryClipboard&) { d.Invert(); },
                  "p0@0 intro@200-800 p500@500 p1500@1500 a@2000-4000 b@2500-6000 p3000@3000 "
                  "p5000@5000 tail@8500-9800 p9500@9500"}),
    [](const auto& info) { return std::string(info.param.name); });

// A killed run's marker steps come back with its history: the markers of the current state,
// and those Undo and Redo give back, on the same versions.
TEST(RecoveredMarkers, ComeBackWithTheirHistory) {
    const auto wait = [](Twavefile& d) {
        while (d.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    TTempFolder dir;
    TEnv state{"XDG_STATE_HOME", QFile::encodeName(dir.path("state")).toStdString()};
    const QString song = dir.path("song.wav");
    WriteWav(song, 1, 44100, Sound());
    TKilledRun run;
    TMarkerList renamed = MarkersAfterDelete(kStart, 2500, 1000);
    renamed[0].name = "opening";
    {
        TRecordingNotifier notifier;
        Twavefile doc(&notifier);
        doc.LoadFile(song);
        wait(doc);
        ASSERT_TRUE(doc.SetMarkers(kStart));
        doc.Delete(2500, 3500);
        wait(doc);
        ASSERT_TRUE(doc.SetMarkers(renamed));
        doc.Undo();  // the rename is on the redo side
        ASSERT_TRUE(run.Keep(doc));
    }
    // A document destroyed without Close leaves its session as a killed run would.
    run.PutBack();
    TRecordingNotifier notifier;
    Twavefile back(&notifier);
    ASSERT_TRUE(back.Recover(run.id));
    wait(back);
    ASSERT_TRUE(back.Ready());
    const std::string deleted = Text(MarkersAfterDelete(kStart, 2500, 1000));
    EXPECT_EQ(Text(back.Markers()), deleted);
    EXPECT_TRUE(back.Modified());
    back.Redo();
    wait(back);
    EXPECT_EQ(Text(back.Markers()), Text(renamed));
    back.Undo();
    wait(back);
    back.Undo();
    wait(back);
    EXPECT_EQ(Text(back.Markers()), Text(kStart));
    EXPECT_EQ(back.Frames(), 10000);
    back.Undo();
    wait(back);
    EXPECT_EQ(Text(back.Markers()), "");
    EXPECT_FALSE(back.Modified());
    back.Close();
}

}  // namespace
