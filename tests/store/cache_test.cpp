#include <gtest/gtest.h>
#include <cmath>
#include <vector>

#include "cache.h"
#include "largefile.h"
#include "testutil.h"

namespace {

std::vector<int16_t> Ramp(size_t n, int16_t start = 1) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = int16_t(start + int(i % 1000));
    return v;
}

struct Built {
    Tindexdata table;
    TLevels levels;
};

Built Accumulate(const std::vector<int16_t>& samples, int channels, size_t feedBytes = 10000) {
    TFilter f(channels);
    for (size_t off = 0; off < samples.size() * 2; off += feedBytes) {
        f.Feed(samples.data() + off / 2, std::min(feedBytes, samples.size() * 2 - off));
    }
    Built b;
    f.ExportPeaks(b.table);
    f.ExportLevels(b.levels.channelPeak, b.levels.peak, b.levels.level);
    return b;
}

Built Rebuild(const std::vector<int16_t>& samples, int channels) {
    TTempFolder dir;
    {
        TLargeFile w(dir.path("v.wav"), kWavHeaderBytes + 2 * samples.size());
        w.WriteSamples(samples.data(), 0, int64_t(samples.size()) - 1);
    }
    TLargeFile r(dir.path("v.wav"));
    std::atomic<int32_t> progress{55};
    Built b;
    RebuildPeaks(r, uint32_t(samples.size() / channels), channels, progress, b.table, b.levels);
    EXPECT_EQ(progress, 0);
    return b;
}

TEST(PeakLevel, DecibelsOfThePeak) {
    EXPECT_EQ(LevelFromPeak(16384), -6);
    EXPECT_EQ(LevelFromPeak(32767), 0);
    EXPECT_EQ(LevelFromPeak(0), -90);
    EXPECT_EQ(LevelFromPeak(1), -90);  // 20 log10(1/32768) = -90.3
}

TEST(PeakAccumulator, StereoThousandFramesGiveTwoBlocksAndASpare) {
    std::vector<int16_t> s(2000, 0);
    s[2 * 600] = 900;      // left, second block
    s[2 * 10 + 1] = -700;  // right, first block
    const Built b = Accumulate(s, 2, 4000);
    ASSERT_EQ(b.table.size(), 6u);
    EXPECT_EQ(b.table[0], (TPeakEntry{0, 0}));
    EXPECT_EQ(b.table[1], (TPeakEntry{0, -700}));
    EXPECT_EQ(b.table[2], (TPeakEntry{900, 0}));
    EXPECT_EQ(b.table[4], (TPeakEntry{0, 0}));
    EXPECT_EQ(b.levels.channelPeak[0], 900);
    EXPECT_EQ(b.levels.channelPeak[1], 0);  // negative samples never raise a peak
    EXPECT_EQ(b.levels.peak, 900);
}

TEST(PeakAccumulator, NothingFedGivesOneEmptyBlock) {
    const Built b = Accumulate({}, 1);
    ASSERT_EQ(b.table.size(), 2u);
    EXPECT_EQ(b.table[0], (TPeakEntry{0, 0}));
    EXPECT_EQ(b.levels.peak, 0);
    EXPECT_EQ(b.levels.level, -90);
}

TEST(PeakAccumulator, FeedSizesDoNotMatter) {
    const std::vector<int16_t> s = Ramp(2 * 5000 + 2);
    const Built a = Accumulate(s, 2, 2);
    const Built b = Accumulate(s, 2, 10000);
    const Built c = Accumulate(s, 2, 1 << 20);
    EXPECT_EQ(a.table, b.table);
    EXPECT_EQ(a.table, c.table);
    EXPECT_EQ(a.table.size(), size_t((5001 + 511) / 512 + 1) * 2);
}

TEST(PeakBuilders, DifferOnlyWhereTheyShould) {
    // 100, 200, -50: both builders store (200, -50); 100, 200: (200, 0) vs (200, 100).
    EXPECT_EQ(Accumulate({100, 200, -50}, 1).table[0], (TPeakEntry{200, -50}));
    EXPECT_EQ(Rebuild({100, 200, -50}, 1).table[0], (TPeakEntry{200, -50}));
    EXPECT_EQ(Accumulate({100, 200}, 1).table[0], (TPeakEntry{200, 0}));
    EXPECT_EQ(Rebuild({100, 200}, 1).table[0], (TPeakEntry{200, 100}));
}

TEST(PeakRebuild, MultipleOfTheBlockEndsWithAnEmptyBlock) {
    const Built b = Rebuild(std::vector<int16_t>(1024, 5), 1);
    ASSERT_EQ(b.table.size(), 3u);
    EXPECT_EQ(b.table[0], (TPeakEntry{5, 5}));
    EXPECT_EQ(b.table[2], (TPeakEntry{0, 32767}));
}

TEST(PeakRebuild, ShortVersionsAreRebuiltToo) {
    // 300 frames and none at all: the table and levels describe the new version.
    const Built b = Rebuild(std::vector<int16_t>(300, 16384), 1);
    ASSERT_EQ(b.table.size(), 1u);
    EXPECT_EQ(b.table[0], (TPeakEntry{16384, 16384}));
    EXPECT_EQ(b.levels.level, -6);
    const Built empty = Rebuild({}, 2);
    EXPECT_EQ(empty.levels.peak, 0);
    EXPECT_EQ(empty.levels.level, -90);
}

TEST(PeakBuilders, AgreeOnMaximaAndLevels) {
    std::vector<int16_t> s = Ramp(2 * 3000);
    s[2 * 2000 + 1] = 32767;
    const Built a = Accumulate(s, 2), r = Rebuild(s, 2);
    EXPECT_EQ(a.levels.channelPeak, r.levels.channelPeak);
    EXPECT_EQ(a.levels.level, 0);
    EXPECT_EQ(r.levels.level, 0);
    for (size_t i = 0; i < r.table.size() - 2; ++i) EXPECT_EQ(a.table[i].max, r.table[i].max) << i;
}

struct TStretchCase {
    const char* name;
    int channels;
    int64_t frames;
    std::vector<int64_t> cuts;  // frames where a stretch starts, ascending
    bool nested = false;        // the later stretches joined to each other first
};

// A known signal whose blocks all differ: a tone under an envelope that rises and falls, one
// full-scale sample late in the last channel, and a silent stretch that leaves some blocks'
// minima above zero.
std::vector<int16_t> Known(int channels, int64_t frames) {
    std::vector<int16_t> s(size_t(frames) * size_t(channels));
    for (int64_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const double envelope = 200 + double((f * 37 + c * 1000) % 20000);
            double v = envelope * std::sin(double(f) * (0.013 + 0.004 * c));
            if (f % 1500 < 300) v = 150 + double(f % 7);  // positive only
            s[size_t(f * channels + c)] = int16_t(std::lround(v));
        }
    }
    if (frames > 700) s[size_t((frames - 600) * channels + channels - 1)] = 32767;
    return s;
}

TEST(PeakStretches, JoinedGiveTheOneFeedTableAndLevels) {
    const TStretchCase kCases[] = {
        {"CutAtZero", 2, 5 * 512 + 37, {0}},
        {"CutAtOne", 2, 5 * 512 + 37, {0, 1}},
        {"CutBeforeABoundary", 2, 5 * 512 + 37, {0, 511}},
        {"CutOnABoundary", 2, 5 * 512 + 37, {0, 512}},
        {"CutAfterABoundary", 1, 5 * 512 + 37, {0, 513}},
        {"CutAtTheLastFrame", 2, 5 * 512 + 37, {0, 5 * 512 + 36}},
        {"CutAtTheEnd", 2, 5 * 512 + 37, {0, 5 * 512 + 37}},
        {"SoundEndsOnABoundary", 2, 4 * 512, {0, 513, 4 * 512 - 1}},
        {"ManyCuts", 2, 9 * 512 + 300, {0, 1, 511, 512, 513, 1030, 4000, 9 * 512 + 299}},
        {"ManyCutsJoinedFromTheEnd", 1, 9 * 512 + 300, {0, 1, 511, 512, 513, 1030, 4000}, true},
        {"TwoCutsInOneBlock", 2, 3 * 512, {0, 600, 700}, true},
        {"CutsInTheFirstBlock", 2, 3 * 512 + 5, {0, 3, 200, 511}, true},
        {"ShorterThanABlock", 1, 300, {0, 100, 299}},
        {"EightChannels", 8, 2 * 512 + 9, {0, 511, 1025}},
    };
    for (const TStretchCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::vector<int16_t> s = Known(c.channels, c.frames);
        const auto feed = [&](TFilter& f, int64_t from, int64_t to) {
            // Odd-sized pieces, one cutting a frame in two.
            for (int64_t at = from * c.channels, end = to * c.channels; at < end;) {
                const int64_t n = std::min<int64_t>(end - at, 777);
                f.Feed(s.data() + at, size_t(n) * 2);
                at += n;
            }
        };
        TFilter one(c.channels);
        feed(one, 0, c.frames);

        std::vector<TFilter> part;
        for (size_t k = 0; k < c.cuts.size(); ++k) {
            const int64_t to = k + 1 < c.cuts.size() ? c.cuts[k + 1] : c.frames;
            part.emplace_back(c.channels, c.cuts[k]);
            feed(part.back(), c.cuts[k], to);
        }
        if (c.nested) {
            for (size_t k = part.size() - 1; k > 0; --k) {
                ASSERT_TRUE(part[k - 1].Append(part[k]));
            }
        } else {
            for (size_t k = 1; k < part.size(); ++k) {
                ASSERT_TRUE(part[0].Append(part[k]));
            }
        }
        TFilter& joined = part[0];
        EXPECT_EQ(joined.ClosedEntries(), one.ClosedEntries());
        // Fed further, the joined filter goes on as the one feed does.
        const int16_t more[] = {-5, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        for (TFilter* f : {&one, &joined}) f->Feed(more, size_t(c.channels) * 2 * 2);

        Built a, b;
        Tindexdata ra, rb;
        one.ExportPeaks(a.table);
        joined.ExportPeaks(b.table);
        one.ExportRebuiltPeaks(ra);
        joined.TakeRebuiltPeaks(rb);  // what a load hands over
        one.ExportLevels(a.levels.channelPeak, a.levels.peak, a.levels.level);
        joined.ExportLevels(b.levels.channelPeak, b.levels.peak, b.levels.level);
        EXPECT_EQ(b.table, a.table);
        EXPECT_EQ(rb, ra);
        EXPECT_EQ(b.levels.channelPeak, a.levels.channelPeak);
        EXPECT_EQ(b.levels.peak, a.levels.peak);
        EXPECT_EQ(b.levels.level, a.levels.level);
    }
}

TEST(PeakStretches, OnlyTheNextStretchIsTaken) {
    const std::vector<int16_t> s = Known(2, 2000);
    TFilter a(2), gap(2, 1001), other(1, 1000), next(2, 1000);
    a.Feed(s.data(), 1000 * 2 * 2);
    gap.Feed(s.data() + 2002, 4);
    other.Feed(s.data(), 4);
    next.Feed(s.data() + 2000, 1000 * 2 * 2);
    EXPECT_FALSE(a.Append(gap));
    EXPECT_FALSE(a.Append(other));
    EXPECT_EQ(a.ClosedEntries(), 2u * 1);  // unchanged, the second block still open
    ASSERT_TRUE(a.Append(next));
    EXPECT_EQ(a.ClosedEntries(), 2u * 3);
    // The stretch taken over is left empty, for the frames after it.
    EXPECT_EQ(next.ClosedEntries(), 0u);
    ASSERT_TRUE(a.Append(next));
    Tindexdata table;
    a.ExportPeaks(table);
    EXPECT_EQ(table.size(), 2u * 5);
}

}  // namespace
