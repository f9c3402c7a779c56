// Filter effects over a range of the document: what lies outside the range is kept bit for bit,
// a stretch moves what follows it and says so, Undo brings the sound back, and values the table
// refuses start nothing.
#include <gtest/gtest.h>
#include <cmath>
#include <numbers>

#include "doctest_util.h"
#include "filtereffects.h"

namespace {

class Filters : public ::testing::Test, public TDocFixture {};

std::vector<int16_t> Stereo(size_t frames) {
    std::vector<int16_t> s(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        s[2 * i] = int16_t(8000 * std::sin(2 * std::numbers::pi * 440.0 * double(i) / 44100));
        s[2 * i + 1] = int16_t(i % 4000) - 2000;
    }
    return s;
}

TEST_F(Filters, RangeKeepsTheRestAndStretchesMoveIt) {
    struct TRow {
        TFilterSettings settings;
        int64_t start, end, newEnd;
    };
    const int64_t frames = 44100;
    for (const TRow& row : {TRow{{"lowpass", {500, 24}}, 10000, 20000, 20000},
                            TRow{{"compress", {-30, 8, 5, 50, 0}}, 0, 30000, 30000},
                            TRow{{"tempo", {50}}, 10000, 20000, 30000},
                            TRow{{"speed", {200}}, 20000, frames, 32050}}) {
        const std::vector<int16_t> s = Stereo(size_t(frames));
        LoadSamples(2, s, 44100);
        std::vector<int64_t> stretched;
        doc.OnStretched = [&](Twavefile*, int64_t a, int64_t b, int64_t c) {
            stretched = {a, b, c};
        };
        ASSERT_TRUE(doc.ApplyFilter(row.settings, row.start, row.end));
        Wait();
        const std::vector<int16_t> r = Samples();
        const int64_t added = row.newEnd - row.end;
        ASSERT_EQ(int64_t(r.size()), 2 * (frames + added)) << row.settings.effect;
        EXPECT_TRUE(std::equal(s.begin(), s.begin() + 2 * row.start, r.begin())) << row.settings.effect;
        EXPECT_TRUE(std::equal(s.begin() + 2 * row.end, s.end(), r.begin() + 2 * row.newEnd))
            << row.settings.effect;
        EXPECT_FALSE(std::equal(s.begin() + 2 * row.start, s.begin() + 2 * row.end, r.begin() + 2 * row.start,
                                 r.begin() + 2 * row.newEnd))
            << row.settings.effect;
        const std::vector<int64_t> expected =
            added ? std::vector<int64_t>{row.start, row.end, row.newEnd} : std::vector<int64_t>{};
        EXPECT_EQ(stretched, expected) << row.settings.effect;
        doc.Undo();
        Wait();
        EXPECT_EQ(Samples(), s) << row.settings.effect;
    }
}

// A stretcher's delay is probed on one channel with a short tail of silence: it must be what
// the full probe (both channels, half a second of tail) finds, at any value.
TEST(DelayProbe, CheapProbeFindsWhatTheFullOneFinds) {
    struct TRow {
        const char* effect;
        double value;
    };
    for (const TRow& row :
         {TRow{"tempo", 25}, TRow{"tempo", 42}, TRow{"tempo", 50}, TRow{"tempo", 99},
          TRow{"tempo", 101}, TRow{"tempo", 121}, TRow{"tempo", 200}, TRow{"tempo", 400},
          TRow{"pitch", -24}, TRow{"pitch", -7}, TRow{"pitch", -1}, TRow{"pitch", 0.5},
          TRow{"pitch", 5}, TRow{"pitch", 12}, TRow{"pitch", 24}, TRow{"speed", 37},
          TRow{"speed", 250}}) {
        for (const int rate : {22050, 44100, 48000}) {
            const TFilterRun run = BuildFilterRun({row.effect, {row.value}}, rate);
            EXPECT_EQ(MeasureDelay(run, 2, rate), ProbeDelay(run, 2, rate, rate / 2))
                << row.effect << " " << row.value << " at " << rate;
        }
    }
}

TEST_F(Filters, RefusedValuesStartNothing) {
    LoadSamples(2, Stereo(1000), 44100);
    for (const TFilterSettings& bad : {TFilterSettings{"lowpass", {5, 12}},
                                       TFilterSettings{"lowpass", {1000}},
                                       TFilterSettings{"eq", {1000, 6}},
                                       TFilterSettings{"tempo", {0}},
                                       TFilterSettings{"reverb", {1}}}) {
        EXPECT_FALSE(doc.ApplyFilter(bad, 0, 0)) << bad.effect;
        EXPECT_FALSE(doc.Busy());
    }
    EXPECT_FALSE(doc.ReduceNoise(0, 0, 12, 0.3));  // no profile yet
    EXPECT_FALSE(doc.CanUndo());
}

}  // namespace

namespace {

// A preview is the step's result on the range, in a file of its own: no step, no version, and
// the file goes with the next preview, a cancel or Close.
TEST_F(Filters, PreviewIsTheStepsResultAndChangesNothing) {
    struct TRow {
        TPreviewEffect effect;
        int64_t start, end, outFrames;
    };
    TPreviewEffect amplify;
    amplify.kind = TPreviewEffect::kAmplify;
    amplify.percent = 150;
    TPreviewEffect tempo;
    tempo.filter = {"tempo", {50}};
    TPreviewEffect lowpass;
    lowpass.filter = {"lowpass", {500, 24}};
    const int64_t frames = 44100;
    const std::vector<int16_t> s = Stereo(size_t(frames));
    for (const TRow& row : {TRow{amplify, 0, frames, frames}, TRow{tempo, 10000, 20000, 20000},
                            TRow{lowpass, 30000, 40000, 10000}}) {
        const std::string name = row.effect.kind == TPreviewEffect::kAmplify
                                     ? "amplify"
                                     : row.effect.filter.effect;
        LoadSamples(2, s, 44100);
        const QStringList versions = dir.tempFiles();
        ASSERT_TRUE(doc.Preview(row.effect, row.start, row.end)) << name;
        Wait();
        ASSERT_FALSE(doc.PreviewPath().isEmpty()) << name;
        EXPECT_FALSE(doc.CanUndo()) << name;
        EXPECT_FALSE(doc.Modified()) << name;
        EXPECT_EQ(Samples(), s) << name;
        EXPECT_EQ(dir.tempFiles().size(), versions.size() + 1) << name;
        const std::vector<int16_t> heard = ReadWavSamples(doc.PreviewPath());
        ASSERT_EQ(int64_t(heard.size()), 2 * row.outFrames) << name;

        if (row.effect.kind == TPreviewEffect::kAmplify) {
            doc.Amplify(row.effect.percent);
        } else {
            ASSERT_TRUE(doc.ApplyFilter(row.effect.filter, row.start, row.end)) << name;
        }
        Wait();
        const std::vector<int16_t> r = Samples();
        EXPECT_TRUE(std::equal(heard.begin(), heard.end(), r.begin() + 2 * row.start)) << name;

        const QString file = doc.PreviewPath();
        doc.Close();
        EXPECT_TRUE(doc.PreviewPath().isEmpty()) << name;
        EXPECT_FALSE(QFile::exists(file)) << name;
        EXPECT_TRUE(dir.tempFiles().isEmpty()) << name;
    }
}

TEST_F(Filters, CancelledPreviewLeavesNoFile) {
    LoadSamples(2, Stereo(44100 * 20), 44100);
    TPreviewEffect pitch;
    pitch.filter = {"pitch", {5}};
    ASSERT_TRUE(doc.Preview(pitch, 0, 0));
    doc.Cancel();
    Wait();
    EXPECT_TRUE(doc.PreviewPath().isEmpty());
    EXPECT_EQ(dir.tempFiles().size(), 1);  // the sound's own version
    EXPECT_FALSE(doc.CanUndo());
}

}  // namespace
