#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <functional>

#include "doctest_util.h"

namespace {

class Effects : public ::testing::Test, public TDocFixture {
protected:
    std::vector<int16_t> Apply(uint16_t channels, const std::vector<int16_t>& in,
                               const std::function<void()>& effect) {
        LoadSamples(channels, in);
        events.clear();
        effect();
        Wait();
        EXPECT_TRUE(doc.Ready());
        EXPECT_TRUE(doc.Modified());
        EXPECT_EQ(doc.UndoStack().Items().size(), 1);
        EXPECT_EQ(events, (std::vector<std::string>{"action 10", "action 10", "ready"}));
        return Samples();
    }
};

TEST_F(Effects, FadeGainsOverTwoFrames) {
    const double in = std::sin(45 * M_PI / 200), out = std::cos(45 * M_PI / 200);
    EXPECT_EQ(Apply(1, {1000, 1000}, [&] { doc.FadeIn(0, 2); }),
              (std::vector<int16_t>{0, int16_t(std::nearbyint(1000 * in))}));
    EXPECT_EQ(Apply(1, {1000, 1000}, [&] { doc.FadeOut(0, 2); }),
              (std::vector<int16_t>{1000, int16_t(std::nearbyint(1000 * out))}));
    EXPECT_EQ(int16_t(std::nearbyint(1000 * out)), 760);
}

TEST_F(Effects, FadeOnStereoRangeUsesOneGainPerFrameAndLeavesTheRest) {
    const std::vector<int16_t> s = {500, -500, 1000, 2000, 1000, 2000, 3000, 4000, 7, 8};
    const std::vector<int16_t> r = Apply(2, s, [&] { doc.FadeIn(3, 1); });  // reversed bounds
    const double g = std::sin(45 * M_PI / 200);
    EXPECT_EQ(r, (std::vector<int16_t>{500, -500, 0, 0, int16_t(std::nearbyint(1000 * g)),
                                       int16_t(std::nearbyint(2000 * g)), 3000, 4000, 7, 8}));
}

TEST_F(Effects, EmptyFadeStillMakesAnUndoStep) {
    EXPECT_EQ(Apply(1, {1, 2, 3}, [&] { doc.FadeOut(2, 2); }), (std::vector<int16_t>{1, 2, 3}));
}

TEST_F(Effects, NormalizeScalesThePositivePeak) {
    EXPECT_EQ(Apply(1, {16384, -20000, 100, -1}, [&] { doc.Normalize(100); }),
              (std::vector<int16_t>{32767, -32767, 200, -2}));
    // 50 % of a peak of 1000: factor 16.384.
    EXPECT_EQ(Apply(1, {1000, 500, -3}, [&] { doc.Normalize(50); }),
              (std::vector<int16_t>{16384, 8192, -49}));
}

TEST_F(Effects, NormalizeOfASoundWithoutPositiveSamplesLeavesIt) {
    EXPECT_EQ(Apply(1, {-5, -7, 0}, [&] { doc.Normalize(100); }),
              (std::vector<int16_t>{-5, -7, 0}));
    EXPECT_EQ(Apply(2, {}, [&] { doc.Normalize(100); }), (std::vector<int16_t>{}));
}

TEST_F(Effects, AmplifyTruncatesWithASinglePrecisionFactor) {
    EXPECT_EQ(Apply(1, {100, 1000, -1000}, [&] { doc.Amplify(101); }),
              (std::vector<int16_t>{100, 1009, -1009}));
    EXPECT_EQ(Apply(1, {20000, -20000, -32768}, [&] { doc.Amplify(200); }),
              (std::vector<int16_t>{32767, -32767, -32767}));
    EXPECT_EQ(Apply(2, {123, -456}, [&] { doc.Amplify(0); }), (std::vector<int16_t>{0, 0}));
}

TEST_F(Effects, ReverseKeepsChannelOrder) {
    EXPECT_EQ(Apply(2, {1, -1, 2, -2, 3, -3}, [&] { doc.Reverse(); }),
              (std::vector<int16_t>{3, -3, 2, -2, 1, -1}));
    EXPECT_EQ(Apply(1, {1, 2, 3, 4, 5}, [&] { doc.Reverse(); }),
              (std::vector<int16_t>{5, 4, 3, 2, 1}));
}

TEST_F(Effects, InvertInTwosComplement) {
    EXPECT_EQ(Apply(1, {32767, -32768, 0, -5}, [&] { doc.Invert(); }),
              (std::vector<int16_t>{-32767, -32768, 0, 5}));
}

TEST_F(Effects, SilenceAtTheStartTheEndAndOfNoLength) {
    EXPECT_EQ(Apply(2, {1, 2, 3, 4}, [&] { doc.InsertSilence(0, 2); }),
              (std::vector<int16_t>{0, 0, 0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(doc.Frames(), 4u);
    EXPECT_EQ(Apply(1, {1, 2}, [&] { doc.InsertSilence(2, 3); }),
              (std::vector<int16_t>{1, 2, 0, 0, 0}));
    EXPECT_EQ(Apply(1, {1, 2}, [&] { doc.InsertSilence(1, 0); }), (std::vector<int16_t>{1, 2}));
}

TEST_F(Effects, NegativeSilenceIsRefusedBeforeAnythingChanges) {
    LoadSamples(1, {1, 2});
    EXPECT_FALSE(doc.InsertSilence(1, -1));
    EXPECT_FALSE(doc.Busy());
    EXPECT_FALSE(doc.CanUndo());
}

TEST_F(Effects, ReverseOfSeveralRunsIsTheFramesBackwards) {
    // Not a whole number of the effect's runs, so the last run read (the start) is short.
    const size_t frames = 3 * 32768 + 17;
    for (uint16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        std::vector<int16_t> s(frames * channels);
        for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(i * 7919 % 65536 - 32768);
        std::vector<int16_t> expected(s.size());
        for (size_t f = 0; f < frames; ++f)
            for (size_t c = 0; c < channels; ++c)
                expected[(frames - 1 - f) * channels + c] = s[f * channels + c];
        EXPECT_EQ(Apply(channels, s, [&] { doc.Reverse(); }), expected);
    }
}

TEST_F(Effects, LongSoundsAcrossWindowsStreamCorrectly) {
    // More than one 32 MiB window: 9 million stereo frames.
    const size_t frames = 9'000'000;
    std::vector<int16_t> s(2 * frames);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(i % 65521 - 32760);
    const std::vector<int16_t> r = Apply(2, s, [&] { doc.Reverse(); });
    ASSERT_EQ(r.size(), s.size());
    for (size_t f = 0; f < frames; f += 999'983) {
        EXPECT_EQ(r[2 * (frames - 1 - f)], s[2 * f]);
        EXPECT_EQ(r[2 * (frames - 1 - f) + 1], s[2 * f + 1]);
    }
    EXPECT_EQ(r.front(), s[2 * frames - 2]);
}

TEST_F(Effects, PassesCutIntoStretchesMatchTheirDefinitions) {
    // Long enough to be cut into stretches run side by side, and not a whole number of blocks.
    const int64_t frames = (int64_t(1) << 21) + 517;
    std::vector<int16_t> s(size_t(2 * frames));
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(i * 40503 % 65536 - 32768);
    struct Case {
        const char* name;
        std::function<void()> run;
        std::function<std::vector<int16_t>()> expected;
    };
    auto each = [&](int channels, const std::function<int16_t(int64_t f, int c)>& value) {
        std::vector<int16_t> e(size_t(frames * channels));
        for (int64_t f = 0; f < frames; ++f)
            for (int c = 0; c < channels; ++c) e[size_t(f * channels + c)] = value(f, c);
        return e;
    };
    auto in = [&](int64_t f, int c) { return s[size_t(2 * f + c)]; };
    const Case cases[] = {
        {"reverse", [&] { doc.Reverse(); }, [&] { return each(2, [&](int64_t f, int c) { return in(frames - 1 - f, c); }); }},
        {"invert", [&] { doc.Invert(); }, [&] { return each(2, [&](int64_t f, int c) { return int16_t(-in(f, c)); }); }},
        {"swap", [&] { doc.SwapChannels(); }, [&] { return each(2, [&](int64_t f, int c) { return in(f, 1 - c); }); }},
        {"mono", [&] { doc.ToMono(); }, [&] { return each(1, [&](int64_t f, int) {
             return int16_t(std::nearbyint((in(f, 0) + in(f, 1)) / 2.0)); }); }},
        {"amplify", [&] { doc.Amplify(250); }, [&] { return each(2, [&](int64_t f, int c) {
             return int16_t(std::clamp<int64_t>(int64_t(in(f, c) * double(2.5f)), -32767, 32767)); }); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadSamples(2, s);
        c.run();
        Wait();
        EXPECT_TRUE(Samples() == c.expected());
    }
}

}  // namespace

namespace {

TEST_F(Effects, LongFadesFollowTheExactCurve) {
    const size_t frames = 100000;
    for (uint16_t channels : {1, 2}) {
        std::vector<int16_t> s(frames * channels);
        for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(32767 - int(i % 7) - 9 * int(i % 2));
        for (bool in : {true, false}) {
            const std::vector<int16_t> r = Apply(channels, s, [&] {
                if (in) doc.FadeIn(0, frames);
                else doc.FadeOut(0, frames);
            });
            const double step = 90.0 / frames;
            size_t off = 0;
            for (size_t i = 0; i < s.size(); ++i) {
                const double a = double(i / channels) * step * M_PI / 200.0;
                const double g = in ? std::sin(a) : std::cos(a);
                off += r[i] != int16_t(std::nearbyint(s[i] * g));
            }
            EXPECT_EQ(off, 0u) << (in ? "fade in, " : "fade out, ") << channels << " channels";
        }
    }
}

}  // namespace
