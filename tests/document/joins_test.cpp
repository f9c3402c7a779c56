// Smooth edit joins (cut, delete and paste cross-faded at each join) and the zero crossings
// mouse selections snap to.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "doctest_util.h"

namespace {

constexpr uint32_t kRate = 44100;

// A 440 Hz sine at half of full scale; the second channel a quarter period later.
std::vector<int16_t> Sine440(int channels, int64_t frames, double phase = 0) {
    std::vector<int16_t> s(size_t(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double t = 2 * M_PI * 440.0 * double(i) / kRate + phase + c * M_PI / 2;
            s[size_t(i * channels + c)] = int16_t(std::lround(16384 * std::sin(t)));
        }
    }
    return s;
}

int LargestStep(const std::vector<int16_t>& s, int channels) {
    int step = 0;
    for (size_t i = size_t(channels); i < s.size(); ++i)
        step = std::max(step, std::abs(int(s[i]) - int(s[i - size_t(channels)])));
    return step;
}

class Joins : public ::testing::Test, public TDocFixture {
protected:
    void PutOnClipboard(int channels, const std::vector<int16_t>& samples) {
        const QString path = dir.path("clip.wav");
        WriteWav(path, uint16_t(channels), kRate, samples);
        clipboard.SetWave(ReadAll(path));
    }
};

TEST_F(Joins, SmoothJoinsHaveNoStepLargerThanTheSinesOwn) {
    enum Op { kDelete, kCut, kPaste };
    struct Case {
        Op op;
        int channels;
        int32_t ms;
        bool atEdge;  // paste at the start or the end, delete up to a few frames from an end
    };
    const Case cases[] = {{kDelete, 1, 5, false}, {kDelete, 2, 5, false}, {kCut, 2, 20, false},
                          {kPaste, 1, 5, false},  {kPaste, 2, 5, false},  {kPaste, 2, 5, true},
                          {kDelete, 1, 5, true}};
    std::mt19937 random(22);
    for (const Case& c : cases) {
        const int64_t frames = kRate;
        const std::vector<int16_t> sine = Sine440(c.channels, frames);
        const int own = LargestStep(sine, c.channels);
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(::testing::Message() << "op " << c.op << " channels " << c.channels
                                              << " edge " << c.atEdge << " round " << round);
            int64_t a = std::uniform_int_distribution<int64_t>(1, frames - 1)(random);
            int64_t b = std::uniform_int_distribution<int64_t>(1, frames - 1)(random);
            if (a > b) std::swap(a, b);
            if (a == b) ++b;
            if (c.atEdge && c.op != kPaste) {
                if (round % 2) {
                    a = 3;
                    b = std::max(b, a + 1);
                } else {
                    b = frames - 3;
                    a = std::min(a, b - 1);
                }
            }
            LoadSamples(uint16_t(c.channels), sine, kRate);
            doc.SetJoinFade(c.ms);
            int64_t expected = frames - (b - a);
            if (c.op == kPaste) {
                // Another sine, in another phase, of a random length.
                const std::vector<int16_t> clip =
                    Sine440(c.channels, 2000 + (b - a) / 4, 1.0 + round);
                PutOnClipboard(c.channels, clip);
                const int64_t at = c.atEdge ? (round % 2 ? 0 : frames) : a;
                doc.Paste(at);
                expected = frames + int64_t(clip.size()) / c.channels;
            } else if (c.op == kCut) {
                doc.Cut(a, b);
            } else {
                doc.Delete(a, b);
            }
            Wait();
            ASSERT_TRUE(doc.Ready());
            EXPECT_EQ(int64_t(doc.Frames()), expected);
            EXPECT_LE(LargestStep(Samples(), c.channels), own * 1.5);
        }
    }
}

TEST_F(Joins, ExactJoinsAreTheEditsBitForBit) {
    std::mt19937 random(5);
    const int64_t frames = 30000;
    const std::vector<int16_t> sine = Sine440(2, frames);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        int64_t a = std::uniform_int_distribution<int64_t>(0, frames)(random);
        int64_t b = std::uniform_int_distribution<int64_t>(0, frames)(random);
        if (a > b) std::swap(a, b);
        LoadSamples(2, sine, kRate);
        // The default, and 0 set explicitly, are the same exact edit.
        if (round % 2) doc.SetJoinFade(0);
        doc.Delete(a, b);
        Wait();
        std::vector<int16_t> cut(sine.begin(), sine.begin() + a * 2);
        cut.insert(cut.end(), sine.begin() + b * 2, sine.end());
        EXPECT_EQ(Samples(), cut);

        const std::vector<int16_t> clip = Sine440(2, 777, 2.0);
        PutOnClipboard(2, clip);
        doc.Paste(a);
        Wait();
        std::vector<int16_t> pasted(cut.begin(), cut.begin() + a * 2);
        pasted.insert(pasted.end(), clip.begin(), clip.end());
        pasted.insert(pasted.end(), cut.begin() + a * 2, cut.end());
        EXPECT_EQ(Samples(), pasted);
        // Undo gives the exact version before.
        doc.Undo();
        Wait();
        EXPECT_EQ(Samples(), cut);
    }
}

TEST_F(Joins, NearestZeroCrossing) {
    // Sum of the two channels: 0 at frame 2, from -3 to 4 between frames 5 and 6, and no
    // crossing after that.
    const std::vector<int16_t> s = {5, 5, 3, 3, -2, 2, -1, -1, -2, -2,
                                    -1, -2, 2, 2, 9, 9, 9, 9, 9, 9};
    LoadSamples(2, s, kRate);
    struct Case {
        uint32_t at, radius, expected;
    };
    for (const Case c : {Case{2, 0, 2}, Case{0, 1, 0}, Case{1, 1, 2}, Case{0, 2, 2},
                         Case{5, 1, 6}, Case{4, 2, 2}, Case{9, 2, 9}, Case{9, 3, 6},
                         Case{8, 2, 6}, Case{10, 10, 6}}) {
        SCOPED_TRACE(::testing::Message() << c.at << " within " << c.radius);
        EXPECT_EQ(doc.NearestZeroCrossing(c.at, c.radius), c.expected);
    }
}

}  // namespace
