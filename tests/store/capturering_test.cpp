// The capture ring on one thread, step by step: what fits, where a gap goes, the limit.
#include <gtest/gtest.h>

#include <numeric>

#include "capturering.h"

namespace {
std::vector<int16_t> Count(int64_t first, int64_t frames, int channels) {
    std::vector<int16_t> v(size_t(frames * channels));
    std::iota(v.begin(), v.end(), int16_t(first * channels));
    return v;
}
}  // namespace

// Pushes of device frames and what the consumer then takes: runs of samples (as the first
// sample's value and the frame count) and gaps (as a negative count).
TEST(CaptureRingTest, OverflowBecomesAGapInPlaceAndTheLimitEndsTheTake) {
    struct TRow {
        const char* name;
        int64_t limit;
        std::vector<int64_t> pushes;  // frames per push, counting on from the last
        std::vector<int64_t> pops;    // taken before each push (empty: only at the end)
        std::vector<int64_t> taken;   // frames per Pop; negative: a gap of that many
        int64_t dropouts, lastDropout;
    };
    const TRow rows[] = {
        {"fits", 0, {600, 400}, {}, {1000}, 0, -1},
        {"overflow", 0, {1000, 100, 50}, {}, {1024, -126}, 1, 1024},
        {"overflow then more", 0, {1000, 100, 50, 30}, {0, 0, 0, 2000}, {1024, -126, 30}, 1, 1024},
        {"two gaps", 0, {1024, 10, 1024, 10}, {0, 0, 2000, 0}, {1024, -10, 1024, -10}, 2, 2058},
        {"limit", 1500, {1000, 1000, 1000}, {0, 2000, 0}, {1000, 500}, 0, -1},
    };
    for (const TRow& r : rows) {
        SCOPED_TRACE(r.name);
        TCaptureRing ring(2, 1000, r.limit);
        ASSERT_EQ(ring.CapacityFrames(), 1024);
        std::vector<int64_t> taken;
        std::vector<int16_t> out(2 * 4096);
        int64_t next = 0;  // the device frame the next sample taken must carry
        auto take = [&](int64_t upTo) {
            for (int64_t got = 0; got < upTo;) {
                int64_t gap = 0;
                const int64_t n = ring.Pop(out.data(), 4096, gap);
                if (n == 0 && gap == 0) break;
                if (gap) {
                    taken.push_back(-gap);
                    next += gap;
                    continue;
                }
                taken.push_back(n);
                EXPECT_EQ(out[0], int16_t(next * 2));
                EXPECT_EQ(out[size_t(2 * n - 1)], int16_t((next + n) * 2 - 1));
                next += n;
                got += n;
            }
        };
        int64_t device = 0;
        for (size_t i = 0; i < r.pushes.size(); ++i) {
            if (i < r.pops.size()) take(r.pops[i]);
            const std::vector<int16_t> s = Count(device, r.pushes[i], 2);
            ring.Push(s.data(), r.pushes[i]);
            device += r.pushes[i];
        }
        ring.Close();
        take(INT64_MAX);
        EXPECT_EQ(taken, r.taken);
        EXPECT_EQ(ring.Dropouts(), r.dropouts);
        EXPECT_EQ(ring.LastDropoutFrame(), r.lastDropout);
        EXPECT_EQ(ring.DeviceFrames(), r.limit ? r.limit : device);
        EXPECT_TRUE(ring.Ended());
    }
}
