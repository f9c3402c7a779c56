// The level meter's bars and markers, row by row and column by column.
#include <gtest/gtest.h>
#include <QTest>

#include "render_util.h"
#include "vumeter.h"

namespace {

class Meter : public ::testing::Test {
protected:
    void SetUp() override {
        meter.backcolor = QColor(0, 0, 0);
        meter.forecolor = QColor(99, 197, 84);
        meter.resize(270, 24);
        meter.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&meter));
    }
    void Levels(std::initializer_list<int16_t> l) {
        meter.SetLevels(std::span<const int16_t>(l.begin(), l.size()));
    }
    bool Lit(int x, int y) const { return At(meter.Image(), x, y) == Rgb(meter.forecolor); }
    // The lit columns of a row, as [first, last].
    std::pair<int, int> Span(int y) const {
        int first = -1, last = -1;
        for (int x = 0; x < meter.width(); ++x)
            if (Lit(x, y)) {
                if (first < 0) first = x;
                last = x;
            }
        return {first, last};
    }
    TVUMeter meter;
};

TEST(VUMeter, StartsAtItsInitialSizeInBlack) {
    TVUMeter meter;
    EXPECT_EQ(meter.size(), QSize(127, 38));
    EXPECT_EQ(meter.backcolor, QColor(0, 0, 0));
    EXPECT_EQ(meter.forecolor, QColor(0, 0, 0));
}

TEST_F(Meter, FullScaleReachesTheRightEdgeAndHalfScaleTheMiddle) {
    Levels({128});
    EXPECT_EQ(meter.Bar(0), 270);
    EXPECT_EQ(Span(12), std::make_pair(1, 269));
    Levels({64});  // lower: the bar falls by 3 only
    EXPECT_EQ(meter.Bar(0), 267);
    meter.ResetMeter();
    Levels({64});
    EXPECT_EQ(meter.Bar(0), 135);
    EXPECT_EQ(Span(12).second, 134);
}

TEST_F(Meter, TwoChannelsShareTheHeightInBandsOfTwelve) {
    Levels({64, 32});
    for (int y = 0; y < 24; ++y) {
        const bool band0 = y >= 1 && y <= 11, band1 = y >= 13 && y <= 23;
        EXPECT_EQ(Lit(10, y), band0 || band1) << "row " << y;
        EXPECT_EQ(Lit(100, y), band0) << "row " << y;
    }
    // Each band has its peak marker, two pixels wide at the bar's end.
    EXPECT_EQ(Span(5), std::make_pair(1, 134));
    EXPECT_EQ(Span(18), std::make_pair(1, 66));  // 32 * 270 div 128 = 67, exclusive
}

TEST_F(Meter, AfterABurstTheBarFallsByThreeAndThePeakHoldsThenFallsByOne) {
    Levels({128});
    std::vector<int32_t> bars, peaks;
    for (int i = 0; i < 14; ++i) {
        Levels({1});
        bars.push_back(meter.Bar(0));
        peaks.push_back(meter.PeakPos(0));
    }
    EXPECT_EQ(bars[0], 267);
    EXPECT_EQ(bars[1], 264);
    EXPECT_EQ(bars[13], 270 - 3 * 14);
    // Ages 1 ... 10 keep it; from age 11 on it moves left a pixel per update.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(peaks[size_t(i)], 270) << i;
    EXPECT_EQ(peaks[10], 269);
    EXPECT_EQ(peaks[13], 266);
    // The bar ends at 227 (exclusive); the marker covers 264 and 265.
    EXPECT_FALSE(Lit(230, 12));
    EXPECT_TRUE(Lit(264, 12));
    EXPECT_EQ(Span(12).second, 265);
}

TEST_F(Meter, EqualLevelsAlternateBetweenTheLevelAndThreeLess) {
    std::vector<int32_t> bars;
    for (int i = 0; i < 4; ++i) {
        Levels({64});
        bars.push_back(meter.Bar(0));
    }
    EXPECT_EQ(bars, (std::vector<int32_t>{135, 132, 135, 132}));
}

TEST_F(Meter, ExposeWhileStoppedShowsABlankMeter) {
    Levels({100});
    const QImage shown = meter.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(At(shown, 5, 12), Rgb(meter.backcolor));
    EXPECT_EQ(Span(12).first, -1);
    EXPECT_EQ(meter.Bar(0), 210);  // the state stays until the next update or reset
}

TEST_F(Meter, ResizeAndResetForgetBarsAndPeaks) {
    Levels({100});
    meter.resize(300, 24);
    EXPECT_EQ(meter.Bar(0), 0);
    EXPECT_EQ(meter.PeakPos(0), 0);
    Levels({100});
    meter.ResetMeter();
    EXPECT_EQ(meter.Bar(0), 0);
    EXPECT_EQ(Span(12).first, -1);
}

TEST_F(Meter, HiddenMeterAndEmptyLevelsDrawNothing) {
    Levels({});
    EXPECT_EQ(Span(12).first, -1);
    meter.hide();
    Levels({128});
    EXPECT_EQ(meter.Bar(0), 0);
}

}  // namespace
