#include <gtest/gtest.h>
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

}  // namespace
