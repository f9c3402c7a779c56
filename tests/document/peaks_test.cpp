// Peaks without a pass over the sound: every edit gathers its result's peaks while writing it,
// and undo and redo take them from the version's peak file. Whatever the route, the table and
// levels must be exactly what a rebuild from the samples gives.
#include <gtest/gtest.h>

#include <QFile>
#include <functional>
#include <random>

#include "doctest_util.h"
#include "peakfile.h"
#include "versionfiles.h"

namespace {

struct TPeaks {
    Tindexdata table;
    TLevels levels;
    bool operator==(const TPeaks& o) const {
        return table == o.table && levels.channelPeak == o.levels.channelPeak &&
               levels.peak == o.levels.peak && levels.level == o.levels.level;
    }
};

// Noise, with whole blocks of only positive and only negative samples, whose minima and maxima
// tell the two builders apart.
std::vector<int16_t> TestSound(int channels, int64_t frames, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-30000, 30000);
    std::vector<int16_t> s(size_t(frames * channels));
    for (auto& v : s) v = int16_t(noise(rng));
    for (int64_t f = 512; f < std::min<int64_t>(frames, 1024); ++f) {
        for (int c = 0; c < channels; ++c) s[size_t(f * channels + c)] = int16_t(100 + f % 50);
    }
    for (int64_t f = 1536; f < std::min<int64_t>(frames, 1800); ++f) {
        for (int c = 0; c < channels; ++c) s[size_t(f * channels + c)] = int16_t(-100 - f % 50);
    }
    return s;
}

struct TOpCase {
    const char* name;
    int channels;
    int64_t frames;
    std::function<void(Twavefile&)> op;
};
void PrintTo(const TOpCase& c, std::ostream* os) {
    *os << c.name;
}

class PeaksAfterEveryStep : public ::testing::TestWithParam<TOpCase>, public TDocFixture {
protected:
    TPeaks Held() { return {doc.PeakTable(), {doc.ChannelPeak(), doc.Peak(), doc.Level()}}; }
    TPeaks Rebuilt() {
        TPeaks p;
        std::atomic<int32_t> progress{0};
        TLargeFile reader(doc.TempPath());
        RebuildPeaks(reader, doc.Frames(), doc.Channels(), progress, p.table, p.levels);
        return p;
    }
    void Step(const char* what, const std::function<void()>& request) {
        request();
        Wait();
        ASSERT_TRUE(doc.Ready()) << what;
        ASSERT_TRUE(notifier.errors.empty()) << what << ": " << notifier.errors.front();
        EXPECT_EQ(Held(), Rebuilt()) << what;
    }
};

TEST_P(PeaksAfterEveryStep, EqualTheRebuildOfTheSamples) {
    const TOpCase& c = GetParam();
    LoadSamples(uint16_t(c.channels), TestSound(c.channels, c.frames, 7));
    // A clip for Paste, of the same channel count, a whole number of blocks long.
    clipboard.SetWave(QByteArray());
    doc.Copy(512, 1536);
    Wait();
    // The first edit starts from the loaded version, the second from an edited one.
    Step("first", [&] { c.op(doc); });
    Step("second", [&] { c.op(doc); });
    Step("undo", [&] { doc.Undo(); });
    Step("undo to the loaded version", [&] { doc.Undo(); });
    Step("redo", [&] { doc.Redo(); });
    Step("redo", [&] { doc.Redo(); });
    EXPECT_EQ(dir.peakFiles().size(), 3);
}

const auto kBlock = int64_t(kPeakBlockFrames);

INSTANTIATE_TEST_SUITE_P(
    Operations, PeaksAfterEveryStep,
    ::testing::Values(
        TOpCase{"DeleteOnBlocks", 2, 5000, [](Twavefile& d) { d.Delete(kBlock, 3 * kBlock); }},
        TOpCase{"DeleteOffBlocks", 2, 5000, [](Twavefile& d) { d.Delete(300, 1337); }},
        TOpCase{"DeleteTheTail", 1, 4096, [](Twavefile& d) { d.Delete(1000, d.Frames()); }},
        TOpCase{"CutOnBlocks", 1, 4096, [](Twavefile& d) { d.Cut(0, kBlock); }},
        TOpCase{"PasteOnABlock", 2, 4096, [](Twavefile& d) { d.Paste(2 * kBlock); }},
        TOpCase{"PasteOffBlocks", 1, 5000, [](Twavefile& d) { d.Paste(77); }},
        TOpCase{"PasteAtTheEnd", 2, 5000, [](Twavefile& d) { d.Paste(d.Frames()); }},
        TOpCase{"SilenceOfBlocks", 2, 5000,
                [](Twavefile& d) { d.InsertSilence(kBlock, 2 * kBlock); }},
        TOpCase{"SilenceOffBlocks", 1, 4096, [](Twavefile& d) { d.InsertSilence(700, 100); }},
        TOpCase{"FadeIn", 2, 5000, [](Twavefile& d) { d.FadeIn(100, 2900); }},
        TOpCase{"FadeOut", 1, 4096, [](Twavefile& d) { d.FadeOut(1024, 4096); }},
        TOpCase{"Normalize", 2, 5000, [](Twavefile& d) { d.Normalize(90); }},
        TOpCase{"Amplify", 1, 5000, [](Twavefile& d) { d.Amplify(250); }},
        TOpCase{"Reverse", 2, 5000, [](Twavefile& d) { d.Reverse(); }},
        TOpCase{"Invert", 1, 4096, [](Twavefile& d) { d.Invert(); }},
        TOpCase{"DeleteEverything", 2, 600, [](Twavefile& d) { d.Delete(0, d.Frames()); }},
        // Long enough to be written in stretches side by side.
        TOpCase{"ReverseInStretches", 2, (1 << 21) + 777, [](Twavefile& d) { d.Reverse(); }},
        TOpCase{"AmplifyInStretches", 1, (1 << 21) + 777, [](Twavefile& d) { d.Amplify(150); }},
        TOpCase{"SwapInStretches", 2, (1 << 21) + 777, [](Twavefile& d) { d.SwapChannels(); }}),
    [](const auto& info) { return std::string(info.param.name); });

// A peak file that is gone or does not belong to its version is never taken as it is: undo
// rebuilds, and writes a good one for next time.
struct TDamage {
    const char* name;
    std::function<void(const QString& peakFile, const QString& otherPeakFile)> apply;
};
void PrintTo(const TDamage& d, std::ostream* os) {
    *os << d.name;
}

class DamagedPeakFile : public ::testing::TestWithParam<TDamage>, public TDocFixture {};

TEST_P(DamagedPeakFile, UndoFallsBackToTheRebuild) {
    const std::vector<int16_t> sound = TestSound(2, 3000, 11);
    LoadSamples(2, sound);
    doc.Delete(0, 700);
    Wait();
    const QString loaded = doc.UndoStack().Items().front();
    const QString edited = doc.TempPath();
    // A truthful table for comparison, and the loaded version's peak file spoiled.
    TPeaks truth;
    {
        std::atomic<int32_t> progress{0};
        TLargeFile reader(loaded);
        RebuildPeaks(reader, 3000, 2, progress, truth.table, truth.levels);
    }
    GetParam().apply(PeakFilePath(loaded), PeakFilePath(edited));
    doc.Undo();
    Wait();
    ASSERT_TRUE(doc.Ready());
    EXPECT_EQ(doc.PeakTable(), truth.table);
    EXPECT_EQ(doc.ChannelPeak(), truth.levels.channelPeak);
    EXPECT_EQ(doc.Level(), truth.levels.level);
    Tindexdata again;
    TLevels levels;
    EXPECT_TRUE(ReadPeakFile(loaded, 3000, 2, again, levels));
    EXPECT_EQ(again, truth.table);
}

void Rewrite(const QString& path, const std::function<void(QByteArray&)>& change) {
    QByteArray bytes = ReadAll(path);
    change(bytes);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedPeakFile,
    ::testing::Values(
        TDamage{"Deleted", [](const QString& p, const QString&) { QFile::remove(p); }},
        TDamage{"Truncated", [](const QString& p,
                                const QString&) { Rewrite(p, [](QByteArray& b) { b.chop(9); }); }},
        TDamage{"Empty", [](const QString& p,
                            const QString&) { Rewrite(p, [](QByteArray& b) { b.clear(); }); }},
        TDamage{"AnEntryChanged",
                [](const QString& p, const QString&) {
                    Rewrite(p, [](QByteArray& b) { b[60] = char(b[60] ^ 0x40); });
                }},
        TDamage{"ALevelChanged",
                [](const QString& p, const QString&) {
                    Rewrite(p, [](QByteArray& b) { b[22] = char(b[22] + 1); });
                }},
        TDamage{"BadMagic", [](const QString& p,
                               const QString&) { Rewrite(p, [](QByteArray& b) { b[0] = 'X'; }); }},
        // Whole and checksummed, but another version's: wrong frame count.
        TDamage{"AnotherVersions",
                [](const QString& p, const QString& other) {
                    QFile::remove(p);
                    QFile::copy(other, p);
                }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
