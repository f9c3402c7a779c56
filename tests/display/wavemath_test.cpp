// The view's arithmetic: rulers, zoom, steps and the column walk, against worked examples.
#include <gtest/gtest.h>

#include "doctest_util.h"
#include "wavemath.h"

namespace {

TEST(WaveMath, RoundsHalvesToEven) {
    EXPECT_EQ(RoundEven(0.5), 0);
    EXPECT_EQ(RoundEven(1.5), 2);
    EXPECT_EQ(RoundEven(2.5), 2);
    EXPECT_EQ(RoundEven(-2.5), -2);
    EXPECT_EQ(RoundEven(13066.67), 13067);
}

TEST(WaveMath, OneSecondAtFortyFourKiloHertzLabelsEvery150Ms) {
    const TRulerPlan p = MsRulerPlan(0, 44100, 44100, 600);
    EXPECT_EQ(p.valueStep, 150);
    EXPECT_EQ(p.pixelStep, 90);  // Trunc(150 / (1000 / 600))
    EXPECT_EQ(p.firstValue, 0);
    EXPECT_EQ(p.firstX, 0);
    EXPECT_EQ(p.labels, 7);  // 0, 90, ... 540
}

TEST(WaveMath, MsRulerStartsAtOrLeftOfTheView) {
    // 1.5 s to 2.5 s: the first label is 1.50 at x 0; with a start of 1.51 s it lies left of it.
    EXPECT_EQ(MsRulerPlan(66150, 110250, 44100, 600).firstX, 0);
    const TRulerPlan p = MsRulerPlan(66591, 110691, 44100, 600);
    EXPECT_EQ(p.firstValue, 1500);
    EXPECT_LT(p.firstX, 0);
    EXPECT_GT(p.firstX, -p.pixelStep);
}

TEST(WaveMath, LongViewsUseMinuteBases) {
    EXPECT_EQ(MsRulerPlan(0, 44100 * 3600, 44100, 600).valueStep, 600000);  // base 300
    EXPECT_EQ(MsRulerPlan(0, 44100 * 600, 44100, 600).valueStep, 60000);    // base 60
}

TEST(WaveMath, EmptyViewDrawsAtMostOneLabel) {
    const TRulerPlan p = MsRulerPlan(1000, 1000, 44100, 600);
    EXPECT_LE(p.labels, 1);
}

struct TFrameRulerCase {
    uint32_t span;
    int64_t step;
};
class FrameRuler : public ::testing::TestWithParam<TFrameRulerCase> {};
TEST_P(FrameRuler, StepFollowsTheUnit) {
    const TRulerPlan p = FrameRulerPlan(0, GetParam().span, 600);
    EXPECT_EQ(p.valueStep, GetParam().step);
    EXPECT_EQ(p.labels, GetParam().span / GetParam().step + 1);
}
INSTANTIATE_TEST_SUITE_P(Spans, FrameRuler,
                         ::testing::Values(TFrameRulerCase{10000, 2000},
                                           TFrameRulerCase{10001, 2000},
                                           TFrameRulerCase{60000, 10000}, TFrameRulerCase{4, 1},
                                           TFrameRulerCase{7, 1}, TFrameRulerCase{2000, 400}),
                         [](const auto& info) { return "Span" + std::to_string(info.param.span); });

TEST(WaveMath, FrameRulerFirstLabelLeftOfAnOddStart) {
    const TRulerPlan p = FrameRulerPlan(2500, 12500, 500);  // step 2000, 20 frames per pixel
    EXPECT_EQ(p.firstValue, 2000);
    EXPECT_EQ(p.firstX, -25);
    EXPECT_EQ(p.pixelStep, 100);
}

struct TLabelCase {
    int64_t ms;
    const char* text;
    const char* name;
};
class MsLabel : public ::testing::TestWithParam<TLabelCase> {};
TEST_P(MsLabel, Reads) {
    EXPECT_EQ(MsRulerLabel(GetParam().ms).toStdString(), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Values, MsLabel,
                         ::testing::Values(TLabelCase{0, "0:00.00", "Zero"},
                                           TLabelCase{150, "0:00.15", "Hundredths"},
                                           TLabelCase{999, "0:00.99", "HundredthsTruncated"},
                                           TLabelCase{50, "0:00.50", "TwoDigitRemainder"},
                                           TLabelCase{5, "0:00.50", "OneDigitRemainderGetsAZero"},
                                           TLabelCase{61005, "1:01.50", "MinutesAndSeconds"},
                                           TLabelCase{3600000, "60:00.00", "MinutesBeyondAnHour"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WaveMath, ZoomInSequenceRoundsHalvesToEven) {
    uint32_t span = 44100;
    std::vector<uint32_t> seen;
    for (int i = 0; i < 3; ++i) seen.push_back(span = ZoomInSpan(span));
    EXPECT_EQ(seen, (std::vector<uint32_t>{29400, 19600, 13067}));
}

TEST(WaveMath, ZoomOutStopsAtTheLength) {
    EXPECT_EQ(ZoomOutSpan(13067, 44100), 19600u);  // 19600.5 to even
    EXPECT_EQ(ZoomOutSpan(29400, 44100), 44100u);
    EXPECT_EQ(ZoomOutSpan(40000, 44100), 44100u);
    EXPECT_EQ(ZoomOutSpan(0, 44100), 2u);  // 1 * 1.5 rounds to 2
}

TEST(WaveMath, CentringOnTheCursor) {
    using TPair = std::pair<int64_t, int64_t>;
    auto range = [](int64_t cursor) {
        const TViewRange r = CentreOnCursor(cursor, 29400, 44100);
        return std::make_pair(r.start, r.end);
    };
    EXPECT_EQ(range(100), TPair(0, 29400));
    EXPECT_EQ(range(44000), TPair(14700, 44100));
    EXPECT_EQ(range(20000), TPair(5300, 34700));
}

TEST(WaveMath, Steps) {
    EXPECT_EQ(ArrowStep(1000, 600), 1u);
    EXPECT_EQ(ArrowStep(100000, 600), 166u);
    EXPECT_EQ(ArrowStep(10, 600), 1u);
    EXPECT_EQ(ScrollSmallStep(100, 600, true), 1);
    EXPECT_EQ(ScrollSmallStep(100, 600, false), 0);
    // Beyond 16 bits the step still fits the scroll bar, and so do 50 of them.
    EXPECT_EQ(ScrollSmallStep(9830400, 600, true), 32768);
    const int32_t huge = ScrollSmallStep(UINT32_MAX, 1, true);
    EXPECT_GT(ScrollLargeStep(huge), 0);
}

// Frames 0 .. 3071 of one channel: silence, with one spike per test.
Tindexdata PeaksOf(const std::vector<int16_t>& s, int channels) {
    const size_t blocks = (s.size() / size_t(channels) + 511) / 512;
    Tindexdata t(blocks * size_t(channels), TPeakEntry{-32768, 32767});
    for (size_t i = 0; i < s.size(); ++i) {
        TPeakEntry& e = t[(i / size_t(channels)) / 512 * size_t(channels) + i % size_t(channels)];
        e.max = std::max(e.max, s[i]);
        e.min = std::min(e.min, s[i]);
    }
    return t;
}

TEST(WaveMath, PeakColumnPutsTheEarlierExtremeFirst) {
    std::vector<int16_t> s(2 * 4096, 0);
    s[2 * 600] = -9000;     // channel 0, block 1: the minimum first
    s[2 * 1100] = 12000;    // channel 0, block 2: then the maximum
    s[2 * 600 + 1] = 7000;  // channel 1, block 1: the maximum first
    s[2 * 1100 + 1] = -5000;
    const Tindexdata t = PeaksOf(s, 2);
    TColumnPair pair[2];
    PeakColumn(t, 2, 1024, 0, 0, pair);  // blocks 0, 1, 2
    EXPECT_EQ(pair[0].first, -9000);
    EXPECT_EQ(pair[0].second, 12000);
    EXPECT_EQ(pair[1].first, 7000);
    EXPECT_EQ(pair[1].second, -5000);
}

// The column walk as the drawing rules state it, one block at a time.
TColumnPair ReferencePeakPair(const Tindexdata& t, int n, int c, int64_t b0, int64_t count) {
    int16_t hi = -32768, lo = 32767;
    int64_t hiAt = 0, loAt = 0;
    for (int64_t k = 0; k < count; ++k) {
        const TPeakEntry& e = t[size_t((b0 + k) * n + c)];
        if (e.max > hi) hi = e.max, hiAt = k;
        if (e.min < lo) lo = e.min, loAt = k;
    }
    return hiAt > loAt ? TColumnPair{lo, hi} : TColumnPair{hi, lo};
}

class PeakWalk : public ::testing::TestWithParam<int> {};
TEST_P(PeakWalk, AgreesWithTheBlockByBlockRuleIncludingTies) {
    const int n = GetParam();
    uint32_t seed = 12345;
    auto rnd = [&] { return seed = seed * 1664525u + 1013904223u, seed >> 16; };
    for (int trial = 0; trial < 400; ++trial) {
        Tindexdata t(size_t(200 * n));
        // Few distinct values, so that equal extremes in several blocks are common; now and
        // then the extremes of the 16-bit range.
        for (TPeakEntry& e : t) {
            const int r = int(rnd() % 7);
            e.max = int16_t(r == 6 ? 32767 : r * 1000);
            e.min = int16_t(r == 0 ? -32768 : -r * 900);
        }
        const double spp = 512.0 * (rnd() % 60) + rnd() % 512;
        const uint32_t start = uint32_t(rnd() % (100 * 512));
        const int col = int(rnd() % 4);
        TColumnPair got[8];
        PeakColumn(t, n, spp, start, col, got);
        const int64_t b0 = int64_t((col * spp + start) / 512);
        const int64_t count = std::min<int64_t>(b0 + int64_t(spp / 512) + 1, 200) - b0;
        for (int c = 0; c < n; ++c) {
            const TColumnPair want = ReferencePeakPair(t, n, c, b0, count);
            ASSERT_EQ(got[c].first, want.first) << "trial " << trial << " channel " << c;
            ASSERT_EQ(got[c].second, want.second) << "trial " << trial << " channel " << c;
        }
    }
}
INSTANTIATE_TEST_SUITE_P(Channels, PeakWalk, ::testing::Values(1, 2, 3, 4),
                         [](const auto& info) { return std::to_string(info.param) + "Channels"; });

TEST(WaveMath, PeakColumnDoesNotReadPastTheTable) {
    std::vector<int16_t> s(1024, 100);
    const Tindexdata t = PeaksOf(s, 1);
    TColumnPair pair[1];
    PeakColumn(t, 1, 4096, 0, 0, pair);  // would visit nine blocks; the table has two
    EXPECT_EQ(pair[0].first, 100);
    EXPECT_EQ(pair[0].second, 100);
}

TEST(WaveMath, SampleColumnReadsItsFramesOnly) {
    TTempFolder dir;
    std::vector<int16_t> s(2000, 0);
    s[511] = 3000;    // the last frame of column 0 at 511.9 frames per column is 511
    s[1023] = -4000;  // column 1 covers 511 ... 1022; column 2 starts at 1023
    WriteWav(dir.path("a.wav"), 1, 44100, s);
    TLargeFile store(dir.path("a.wav"));
    std::vector<int16_t> scratch(600);
    TColumnPair pair[1];
    SampleColumn(store, 2000, 1, 511.9, 0, 0, scratch.data(), pair);
    EXPECT_EQ(pair[0].first, 3000);
    EXPECT_EQ(pair[0].second, 0);
    SampleColumn(store, 2000, 1, 511.9, 0, 1, scratch.data(), pair);
    EXPECT_EQ(pair[0].first, 3000);
    EXPECT_EQ(pair[0].second, 0);
    SampleColumn(store, 2000, 1, 511.9, 0, 2, scratch.data(), pair);
    EXPECT_EQ(pair[0].second, -4000);
    // Frames at or beyond the length are not read.
    SampleColumn(store, 1500, 1, 511.9, 0, 2, scratch.data(), pair);
    EXPECT_EQ(pair[0].first, 0);
}

}  // namespace
