// The vector scan of the peak table against the plain loop, on lengths around its 16-sample
// step and on the extremes of the range.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "peakscan.h"

namespace {

struct TScanCase {
    int channels;
    size_t frames;
};

class PeakScanTest : public ::testing::TestWithParam<TScanCase> {};

TEST_P(PeakScanTest, VectorAndPlainLoopAgree) {
    const auto [channels, frames] = GetParam();
    std::vector<int16_t> s(frames * size_t(channels) + 1);
    uint32_t seed = uint32_t(frames * 7 + size_t(channels));
    for (auto& v : s) {
        seed = seed * 1664525u + 1013904223u;
        // Mostly quiet, with the odd full-scale sample, so each lane's extremes differ.
        v = int16_t(int32_t(seed >> 16) % ((seed & 0x100) ? 32768 : 300));
    }
    if (frames > 5) {
        s[size_t(channels) * (frames - 1)] = INT16_MIN;  // the very last frame counts
        s[3] = INT16_MAX;
    }
    // Starting at an odd sample: the loads must not need alignment.
    const int16_t* start = s.data() + 1;
    std::array<int16_t, 8> vx{}, vn{}, px{}, pn{};
    vx.fill(INT16_MIN);
    px.fill(INT16_MIN);
    vn.fill(INT16_MAX);
    pn.fill(INT16_MAX);
    ScanExtremes(start, frames, channels, vx.data(), vn.data());
    ScanExtremesScalar(start, frames, channels, px.data(), pn.data());
    EXPECT_EQ(vx, px);
    EXPECT_EQ(vn, pn);
}

INSTANTIATE_TEST_SUITE_P(Lengths, PeakScanTest,
                         ::testing::Values(TScanCase{1, 0}, TScanCase{1, 15}, TScanCase{1, 16},
                                           TScanCase{1, 17}, TScanCase{2, 7}, TScanCase{2, 8},
                                           TScanCase{2, 9}, TScanCase{2, 512}, TScanCase{2, 1001},
                                           TScanCase{3, 512}),
                         [](const auto& info) {
                             return std::to_string(info.param.channels) + "Channels" +
                                    std::to_string(info.param.frames) + "Frames";
                         });

// Extremes only ever widen what the caller passes in.
TEST(PeakScan, KeepsWhatIsAlreadyWider) {
    const std::vector<int16_t> s(64, 5);
    int16_t mx[2] = {100, 1}, mn[2] = {-100, 9};
    ScanExtremes(s.data(), 32, 2, mx, mn);
    EXPECT_EQ(mx[0], 100);
    EXPECT_EQ(mx[1], 5);
    EXPECT_EQ(mn[0], -100);
    EXPECT_EQ(mn[1], 5);
}

}  // namespace
