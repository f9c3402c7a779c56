#include "framejoiner.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace {

struct TJoinCase {
    const char* name;
    size_t frameBytes;
    std::vector<size_t> pieces;  // sizes of the pieces the stream comes in
};

void PrintTo(const TJoinCase& c, std::ostream* os) {
    *os << c.name;
}

class FrameJoinerTest : public ::testing::TestWithParam<TJoinCase> {};

// However the stream is cut, the frames come out whole, in order, and only the bytes of a last
// unfinished frame stay behind.
TEST_P(FrameJoinerTest, WholeFramesInOrderWhateverThePieces) {
    const TJoinCase& c = GetParam();
    const size_t total = std::accumulate(c.pieces.begin(), c.pieces.end(), size_t(0));
    std::vector<uint8_t> stream(total);
    std::iota(stream.begin(), stream.end(), uint8_t(1));
    TFrameJoiner joiner(c.frameBytes);
    std::vector<uint8_t> out;
    size_t at = 0;
    for (size_t size : c.pieces) {
        joiner.Push(stream.data() + at, size, [&](const uint8_t* data, size_t frames) {
            ASSERT_GT(frames, 0u);
            out.insert(out.end(), data, data + frames * c.frameBytes);
        });
        at += size;
    }
    const size_t whole = total / c.frameBytes * c.frameBytes;
    EXPECT_EQ(out, std::vector<uint8_t>(stream.begin(), stream.begin() + whole));
    EXPECT_EQ(joiner.Carried(), total - whole);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, FrameJoinerTest,
    ::testing::Values(TJoinCase{"AlignedPieces", 4, {8, 4, 16}},
                      TJoinCase{"OneByteAtATime", 4, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
                      TJoinCase{"FrameSplitOverThreePieces", 4, {3, 0, 1, 2, 1, 1, 4}},
                      TJoinCase{"OddPiecesOfStereo", 4, {5, 7, 3, 9, 1}},
                      TJoinCase{"MonoOddPieces", 2, {3, 3, 1, 5}},
                      TJoinCase{"EmptyPiecesOnly", 4, {0, 0}},
                      TJoinCase{"EndsInAPartialFrame", 4, {6, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
