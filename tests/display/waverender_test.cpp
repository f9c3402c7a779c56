// The drawing, checked pixel by pixel where the layout rules say what must be there.
#include <gtest/gtest.h>

#include "render_util.h"
#include "wavemath.h"

namespace {

// Full-scale DC keeps the waveform away from the centre line, so both can be seen.
std::vector<int16_t> Dc(size_t frames, uint16_t channels, int16_t value) {
    return std::vector<int16_t>(frames * channels, value);
}

// A label is there when some pixel of its text differs from the ruler's background.
bool HasText(const QImage& img, int x, int y, int w, int h) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            if (At(img, i, j) != Rgb(DisplayColors.ScaleColor)) return true;
    return false;
}

struct TBandCase {
    uint16_t channels;
    int height;
    std::vector<int> centres, zeroDb;
    int separator;  // -1: none
    std::string name;
};
class Bands : public ::testing::TestWithParam<TBandCase> {};

TEST_P(Bands, CentreZeroDbAndSeparatorRows) {
    TRenderFixture f;
    const TBandCase& c = GetParam();
    f.Show(c.channels, Dc(44100, c.channels, 30000));
    const QImage& img = f.Draw(698, c.height);
    const int x = 350;  // between two grid lines
    for (size_t i = 0; i < c.centres.size(); ++i) {
        EXPECT_EQ(f.renderer.channelCentre[i], c.centres[i]);
        EXPECT_EQ(At(img, x, c.centres[i]), Rgb(DisplayColors.CentreLineColor)) << i;
        // "-90dB" sits in the amplitude ruler, 4 rows above the line.
        EXPECT_TRUE(HasText(img, 698 - 27, c.centres[i] - 4, 24, 9)) << i;
        EXPECT_FALSE(HasText(img, 698 - 27, c.centres[i] - 12, 24, 6)) << i;
    }
    for (int y : c.zeroDb) EXPECT_EQ(At(img, x, y), Rgb(DisplayColors.ZeroDbColor)) << y;
    if (c.separator >= 0) {
        EXPECT_EQ(At(img, x, c.separator), Rgb(DisplayColors.SeparatorColor));
    }
    // The rows either side of each line are background.
    EXPECT_EQ(At(img, x, c.centres[0] + 1), Rgb(DisplayColors.BackColor));
}

INSTANTIATE_TEST_SUITE_P(Layouts, Bands,
                         ::testing::Values(
                             // (250 - 20) / 2 = 115; full scale 250 / 3 = 83 rows from the centre.
                             TBandCase{1, 250, {135}, {52, 218}, -1, "MonoAt250"},
                             // 140.5 rounds to the even 140.
                             TBandCase{1, 301, {160}, {60, 260}, -1, "MonoAt301"},
                             // 57.5 rounds to 58, 172.5 to 172; full scale 250 / 6 = 42.
                             TBandCase{2, 250, {78, 192}, {36, 120, 150, 234}, 135, "StereoAt250"},
                             TBandCase{
                                 2, 400, {115, 305}, {48, 182, 238, 372}, 210, "StereoAt400"}),
                         [](const auto& info) { return info.param.name; });

TEST(Render, WaveAreaRulersAndFrame) {
    TRenderFixture f;
    f.Show(1, Dc(44100, 1, 0));
    const QImage& img = f.Draw(698, 250);
    EXPECT_EQ(img.size(), QSize(698, 250));
    // Labels every 100 pixels (150 ms), each with a dotted grid line.
    EXPECT_EQ(At(img, 350, 18), Rgb(DisplayColors.ScaleColor));  // time ruler
    EXPECT_EQ(At(img, 350, 20), Rgb(DisplayColors.FrameColor));  // its border
    EXPECT_EQ(At(img, 300, 20), Rgb(DisplayColors.GridColor));   // a grid line's first dot
    EXPECT_EQ(At(img, 300, 21), Rgb(DisplayColors.BackColor));
    // Its label starts 10 pixels left of it, from row 6; above it only the ticks.
    EXPECT_TRUE(HasText(img, 290, 6, 30, 11));
    EXPECT_FALSE(HasText(img, 345, 6, 40, 11));  // the gap before the next label at 390
    EXPECT_EQ(At(img, 300, 5), Rgb(DisplayColors.ScaleTextColor));  // major tick, rows 0-5
    EXPECT_EQ(At(img, 310, 1), Rgb(DisplayColors.ScaleTextColor));  // minor tick, rows 0-1
    EXPECT_EQ(At(img, 310, 2), Rgb(DisplayColors.ScaleColor));
    EXPECT_EQ(At(img, 697, 20), Rgb(DisplayColors.FrameColor));   // across the whole width
    EXPECT_EQ(At(img, 668, 100), Rgb(DisplayColors.FrameColor));  // amplitude ruler border
    EXPECT_EQ(At(img, 690, 100), Rgb(DisplayColors.ScaleColor));  // amplitude ruler
    EXPECT_EQ(At(img, 350, 100), Rgb(DisplayColors.BackColor));   // wave area
    EXPECT_EQ(At(img, 350, 135), Rgb(DisplayColors.WaveColor));   // silence on the centre line
}

// The time ruler's first label is drawn whole, from the view's left edge at the latest, however
// the view is zoomed, scrolled or scaled; every later label stays 10 pixels left of its tick.
TEST(Render, FirstTimeLabelLiesWhollyInsideTheView) {
    struct TCase {
        const char* name;
        int width;
        qreal dpr;
        int64_t start, end;
        bool ms;
    };
    const TCase cases[] = {
        {"from the start", 698, 1, 0, 44100, true},
        {"from the start at ratio 2", 698, 2, 0, 44100, true},
        {"a tick 5 pixels in", 698, 1, 6285, 50385, true},
        {"a tick just off the view", 698, 1, 6700, 50800, true},
        {"zoomed in", 698, 1, 20000, 20300, true},
        {"narrow", 240, 2, 0, 100000, true},
        {"frames from the start", 698, 1, 0, 44100, false},
        {"frames scrolled at ratio 2", 500, 2, 12345, 30000, false},
    };
    TRenderFixture f;
    f.Show(1, Dc(100000, 1, 0));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        f.View(uint32_t(c.start), uint32_t(c.end));
        f.state.msScale = c.ms;
        const QImage& img = f.Draw(c.width, 250, c.dpr);
        const int P = c.width - TWaveRenderer::RightMargin;
        const TRulerPlan plan = c.ms ? MsRulerPlan(c.start, c.end, 44100, P)
                                     : FrameRulerPlan(c.start, c.end, P);
        const std::vector<QRect>& labels = f.renderer.timeLabels;
        ASSERT_FALSE(labels.empty());
        const QRect first = labels[0];
        EXPECT_GE(first.left(), 0);
        EXPECT_LT(first.right(), P);
        EXPECT_GE(first.top(), 0);
        EXPECT_LT(first.bottom(), TWaveRenderer::TopMargin);
        // Its text is in the picture, and nothing of a cut one left of it.
        const int d = int(c.dpr);
        EXPECT_TRUE(HasText(img, first.left() * d, first.top() * d, first.width() * d,
                            first.height() * d));
        EXPECT_FALSE(HasText(img, 0, 6 * d, first.left() * d, first.height() * d));
        std::vector<int64_t> ticks;
        for (int64_t k = 0, t = plan.firstX; k < plan.labels && t < c.width + 16;
             ++k, t += plan.pixelStep)
            if (t >= 0) ticks.push_back(t);
        ASSERT_EQ(labels.size(), ticks.size());
        EXPECT_LE(ticks[0] - 10, first.left());
        EXPECT_LE(first.left(), ticks[0]);
        for (size_t i = 1; i < labels.size(); ++i) EXPECT_EQ(labels[i].left(), ticks[i] - 10) << i;
    }
}

TEST(Render, NoDocumentShowsTwoEmptyBandsAndElevenGridLines) {
    TRenderFixture f;
    DisplayColors.GridColor = QColor(200, 0, 0);  // black on black otherwise
    TWaveState state;
    f.renderer.RedrawAll(state, TWaveSource{}, 630, 250);
    const QImage& img = f.renderer.backBuffer;
    EXPECT_EQ(At(img, 1, 135), Rgb(DisplayColors.SeparatorColor));
    EXPECT_FALSE(HasText(img, 0, 0, 600, 20));  // no time labels
    for (int k = 0; k <= 10; ++k) {
        EXPECT_EQ(At(img, k * 60, 22), qRgb(200, 0, 0) & 0xFFFFFFu) << k;  // dotted
        // The last one lies on the amplitude ruler's border.
        EXPECT_EQ(At(img, k * 60, 23),
                  Rgb(k < 10 ? DisplayColors.BackColor : DisplayColors.FrameColor))
            << k;
    }
    EXPECT_EQ(At(img, 30, 22), Rgb(DisplayColors.BackColor));
}

struct TSelectionCase {
    uint32_t selStart, selStop;
    int x1, x2;  // inverted columns [x1, x2); x1 == x2: none
    std::string name;
};
class Selection : public ::testing::TestWithParam<TSelectionCase> {};

TEST_P(Selection, InvertsTheWaveAreaOnly) {
    TRenderFixture f;
    f.Show(1, Dc(10000, 1, 0));
    f.View(1000, 7000);  // 10 frames per column on 600 columns
    const TSelectionCase& c = GetParam();
    f.state.selected = true;
    f.state.selStart = c.selStart;
    f.state.selStop = c.selStop;
    const QImage& img = f.Draw(630, 250);
    const int y = 60;  // background row of the wave area
    for (int x = 0; x < 600; ++x) {
        const bool in = x >= c.x1 && x < c.x2;
        ASSERT_EQ(At(img, x, y),
                  in ? Inverted(DisplayColors.BackColor) : Rgb(DisplayColors.BackColor))
            << "column " << x;
        // The rulers are never inverted.
        ASSERT_EQ(At(img, x, 19), Rgb(DisplayColors.ScaleColor)) << "column " << x;
    }
    EXPECT_EQ(At(img, 615, y), Rgb(DisplayColors.ScaleColor));
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, Selection,
    ::testing::Values(TSelectionCase{2000, 3000, 100, 200, "Inside"},
                      TSelectionCase{0, 3000, 0, 200, "FromLeftOfTheView"},
                      TSelectionCase{6000, 9000, 500, 600, "BeyondTheRightEdge"},
                      TSelectionCase{0, 9000, 0, 600, "AroundTheView"},
                      TSelectionCase{8000, 9000, 0, 0, "WhollyRightOfTheView"},
                      TSelectionCase{0, 500, 0, 0, "WhollyLeftOfTheView"},
                      TSelectionCase{2005, 2015, 100, 102, "RoundedHalvesToEven"}),
    [](const auto& info) { return info.param.name; });

bool HasColor(const QImage& img, QRgb c) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (At(img, x, y) == c) return true;
    return false;
}

TEST(Render, NoCursorOnTheFirstVisibleFrame) {
    TRenderFixture f;
    f.Show(2, Dc(44100, 2, 0));
    f.state.cursor = 0;
    EXPECT_FALSE(HasColor(f.Draw(698, 250), Rgb(DisplayColors.CursorColor)));
    f.state.cursor = 44100;  // viewEnd: not drawn either
    EXPECT_FALSE(HasColor(f.Draw(698, 250), Rgb(DisplayColors.CursorColor)));
}

TEST(Render, UpdateCursorMovesItOverTheCleanImage) {
    TRenderFixture f;
    f.Show(1, Dc(60000, 1, 0));
    f.state.cursor = 10000;  // column 100 of 600 at 100 frames per column
    f.Draw(630, 250);
    const QImage clean = f.renderer.cleanImage.copy();
    const QRgb yellow = Rgb(DisplayColors.CursorColor);
    EXPECT_EQ(At(f.renderer.backBuffer, 100, 20), yellow);
    // The top triangle's outline: (98, 20) - (102, 20) - (100, 22).
    EXPECT_EQ(At(f.renderer.backBuffer, 98, 20), yellow);
    EXPECT_EQ(At(f.renderer.backBuffer, 101, 20), yellow);
    EXPECT_EQ(At(f.renderer.backBuffer, 101, 21), yellow);
    EXPECT_EQ(At(f.renderer.backBuffer, 99, 21), yellow);
    EXPECT_EQ(At(f.renderer.backBuffer, 100, 22), yellow);
    EXPECT_EQ(At(f.renderer.backBuffer, 100, 60), yellow);  // dotted: even rows from 20
    EXPECT_EQ(At(f.renderer.backBuffer, 100, 61), Rgb(DisplayColors.BackColor));
    EXPECT_EQ(At(f.renderer.backBuffer, 100, 248), yellow);  // the bottom triangle

    f.state.cursor = 30040;  // 300.4 -> column 300
    EXPECT_TRUE(f.renderer.UpdateCursor(f.state, TWaveSource::Of(&f.doc), 630, 250));
    EXPECT_EQ(f.renderer.lastCursorX, 300);
    EXPECT_EQ(At(f.renderer.backBuffer, 300, 60), yellow);
    // The old column is as the clean image has it.
    for (int y = 20; y < 250; ++y)
        ASSERT_EQ(At(f.renderer.backBuffer, 100, y), At(clean, 100, y)) << y;
    // Same column again: nothing to do.
    f.state.cursor = 30010;
    EXPECT_FALSE(f.renderer.UpdateCursor(f.state, TWaveSource::Of(&f.doc), 630, 250));
    EXPECT_EQ(f.renderer.cleanImage, clean);
}

TEST(Render, CursorMovedBackToAnEarlierColumnAfterARedrawIsDrawnThere) {
    TRenderFixture f;
    f.Show(1, Dc(60000, 1, 0));
    const QRgb yellow = Rgb(DisplayColors.CursorColor);
    auto update = [&](uint32_t frame) {
        f.state.cursor = frame;
        f.renderer.UpdateCursor(f.state, TWaveSource::Of(&f.doc), 630, 250);
    };
    f.Draw(630, 250);
    update(5000);           // column 50
    f.state.cursor = 5100;  // a key moves it one column on and redraws everything
    f.Draw(630, 250);
    EXPECT_EQ(At(f.renderer.backBuffer, 51, 60), yellow);
    update(5000);  // and back
    EXPECT_EQ(At(f.renderer.backBuffer, 50, 60), yellow);
    EXPECT_EQ(At(f.renderer.backBuffer, 51, 60), Rgb(DisplayColors.BackColor));
}

// One spike in block 1 (frames 512 ... 1023): a column of the first 512 frames shows it only
// when the peak table is read, which covers blocks 0 and 1.
struct TModeCase {
    uint32_t span;  // on 600 columns
    bool spikeInColumnZero;
    std::string name;
};
class Mode : public ::testing::TestWithParam<TModeCase> {};
TEST_P(Mode, PeakTableFromExactly512FramesPerColumn) {
    TRenderFixture f;
    std::vector<int16_t> s(400000, 0);
    s[800] = 30000;
    f.Show(1, s);
    f.View(0, GetParam().span);
    const QImage& img = f.Draw(630, 250);
    // 30000 / (32768 / 250 * 3) = 76.3 rows above the centre, 135.
    const int spikeY = 135 - 76;
    EXPECT_EQ(At(img, 1, spikeY) == Rgb(DisplayColors.WaveColor), GetParam().spikeInColumnZero);
    EXPECT_EQ(At(img, 2, spikeY), Rgb(DisplayColors.WaveColor));  // column 1 has it either way
}
INSTANTIATE_TEST_SUITE_P(Spans, Mode,
                         ::testing::Values(TModeCase{307200, true, "Exactly512PeakMode"},
                                           TModeCase{307140, false, "Below512SampleMode"}),
                         [](const auto& info) { return info.param.name; });

TEST(Render, SampleModeMarksEveryPointAboveSixPixelsPerFrame) {
    TRenderFixture f;
    f.Show(1, Dc(1000, 1, 0));
    auto markerAt = [&](uint32_t span, int x) {
        f.View(100, 100 + span);
        const QImage& img = f.Draw(630, 250);
        return At(img, x, 134) == Rgb(DisplayColors.ScaleColor);
    };
    // 85 frames: 7.06 pixels per frame; frame 3 at x = 21.2 -> 21.
    EXPECT_TRUE(markerAt(85, 21));
    EXPECT_NEAR(f.renderer.samplesPerPixel, 85.0 / 600, 1e-12);
    // 100 frames: exactly 6 pixels per frame: no markers.
    EXPECT_FALSE(markerAt(100, 18));
}

TEST(Render, EditThatShortensTheDocumentClipsTheView) {
    TRenderFixture f;
    f.Show(1, Dc(5000, 1, 0));
    f.View(1000, 9000);
    f.Draw(630, 250);
    EXPECT_EQ(f.state.viewEnd, 5000u);
    EXPECT_EQ(f.state.viewSpan, 4000u);
    // Shorter than viewStart: the view moves to show the end.
    f.View(7000, 9000);
    f.Draw(630, 250);
    EXPECT_EQ(f.state.viewStart, 3000u);
    EXPECT_EQ(f.state.viewEnd, 5000u);
}

TEST(Render, TinyControlsGetOnlyTheirBackground) {
    TRenderFixture f;
    f.Show(2, Dc(5000, 2, 1000));
    for (QSize s : {QSize(30, 250), QSize(698, 20), QSize(1, 1)}) {
        const QImage& img = f.Draw(s.width(), s.height());
        EXPECT_EQ(img.size(), s);
        EXPECT_EQ(At(img, s.width() - 1, s.height() - 1), Rgb(DisplayColors.ScaleColor));
    }
}

TEST(Render, DevicePixelsAtRatioTwo) {
    TRenderFixture f;
    f.Show(1, Dc(44100, 1, 30000));
    const QImage& img = f.Draw(698, 250, 2);
    EXPECT_EQ(img.size(), QSize(1396, 500));
    // The centre line, row 135, covers device rows 270 and 271 only.
    EXPECT_EQ(At(img, 600, 270), Rgb(DisplayColors.CentreLineColor));
    EXPECT_EQ(At(img, 600, 271), Rgb(DisplayColors.CentreLineColor));
    EXPECT_EQ(At(img, 600, 269), Rgb(DisplayColors.BackColor));
    EXPECT_EQ(At(img, 600, 272), Rgb(DisplayColors.BackColor));
}

TEST(Render, ColoursComeFromTheSettingsAtTheNextRedraw) {
    TRenderFixture f;
    f.Show(1, Dc(44100, 1, 0));
    TSettings s;
    s.backcolor = 0x102030;  // blue 0x10, green 0x20, red 0x30
    LoadDisplayColors(s);
    EXPECT_EQ(At(f.Draw(698, 250), 350, 60), qRgb(0x30, 0x20, 0x10) & 0xFFFFFFu);
}

}  // namespace
