// The view driven as a user drives it: mouse and keys through QTest, playback on the
// manual-clock device.
#include <gtest/gtest.h>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <map>

#include "doctest_util.h"
#include "manualbackend.h"
#include "playback_util.h"
#include "player.h"
#include "render_util.h"
#include "settings.h"
#include "spectrum.h"
#include "waveview.h"
#include "wavfile.h"

namespace {

// A view 630 pixels wide: a wave area of 600 columns.
class View : public ::testing::Test, public TDocFixture {
protected:
    void SetUp() override {
        DisplayColors = TDisplayColors{};
        view = std::make_unique<TWaveView>(nullptr, backend);
        view->resize(630, 250);
        view->show();
        view->OnSelect = [this](TWaveView*, uint32_t a, uint32_t b, uint32_t am, uint32_t bm,
                                bool sel) {
            selects.push_back({a, b, am, bm, sel ? 1u : 0u});
        };
        view->OnCursor = [this](TWaveView*, uint32_t f, uint32_t ms) {
            cursors.push_back({f, ms});
        };
        view->OnPlayStatus = [this](bool a) { statuses.push_back(a); };
    }
    void TearDown() override { view.reset(); }
    void Attach(uint32_t frames, uint16_t channels = 1) {
        LoadSamples(channels, std::vector<int16_t>(size_t(frames) * channels, 0));
        view->AttachDocument(&doc);
        selects.clear();
        cursors.clear();
        statuses.clear();
    }
    void Press(int x) { QTest::mousePress(view.get(), Qt::LeftButton, {}, QPoint(x, 100)); }
    void Move(int x) {
        // QTest::mouseMove carries no buttons; a real drag does.
        QMouseEvent e(QEvent::MouseMove, QPointF(x, 100), view->mapToGlobal(QPointF(x, 100)),
                      Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(view.get(), &e);
    }
    void Release(int x) { QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(x, 100)); }
    void Key(Qt::Key k) { QTest::keyClick(view.get(), k); }

    std::shared_ptr<TManualClockBackend> backend = std::make_shared<TManualClockBackend>();
    std::unique_ptr<TWaveView> view;
    std::vector<std::vector<uint32_t>> selects, cursors;
    std::vector<bool> statuses;
};

TEST_F(View, AttachShowsTheWholeDocumentWithTheCursorAtZero) {
    QScrollBar bar(Qt::Horizontal);
    view->SetScrollBar(&bar);
    Attach(44100);
    EXPECT_EQ(view->viewStart, 0u);
    EXPECT_EQ(view->viewEnd, 44100u);
    EXPECT_EQ(view->viewSpan, 44100u);
    EXPECT_EQ(view->cursor, 0u);
    EXPECT_FALSE(view->selected);
    EXPECT_EQ(bar.pageStep(), 44100);
    EXPECT_EQ(bar.maximum(), 0);
    // The back buffer is what the window shows, at the window's size.
    EXPECT_EQ(view->grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(350, 135),
              view->Renderer().backBuffer.pixel(350, 135));
}

TEST_F(View, ClickWithoutMovingClearsTheSelectionAndPlacesTheCursor) {
    Attach(60000);
    view->SetSelection(100, 200, true);
    Press(150);
    Release(150);
    const std::vector<uint32_t> cleared{0, 0, 0, 0, 0};
    EXPECT_EQ(selects, (std::vector<std::vector<uint32_t>>{cleared, cleared}));
    ASSERT_EQ(cursors.size(), 1u);
    EXPECT_EQ(cursors[0], (std::vector<uint32_t>{15000, 340}));
    EXPECT_FALSE(view->selected);
    EXPECT_EQ(view->cursor, 15000u);
    EXPECT_TRUE(view->hasFocus());
}

TEST_F(View, DragToTheLeftOfThePressEndsTheSelectionAtTheAnchor) {
    Attach(60000);
    Press(300);
    Move(250);
    Move(100);
    Release(100);
    EXPECT_EQ(view->anchor, 30000u);
    EXPECT_EQ(view->selStart, 10000u);
    EXPECT_EQ(view->selStop, 30000u);
    EXPECT_TRUE(view->selected);
    ASSERT_EQ(selects.size(), 2u);
    EXPECT_EQ(selects[1], (std::vector<uint32_t>{10000, 30000, 227, 680, 1}));
    // The band (columns 100 ... 299) is inverted on screen and kept for later cursor moves,
    // without the cursor drawn at the press.
    const QImage& clean = view->Renderer().cleanImage;
    EXPECT_EQ(At(clean, 100, 60), Inverted(DisplayColors.BackColor));
    EXPECT_EQ(At(clean, 299, 60), Inverted(DisplayColors.BackColor));
    EXPECT_EQ(At(clean, 300, 60), Rgb(DisplayColors.BackColor));
    EXPECT_EQ(At(clean, 99, 60), Rgb(DisplayColors.BackColor));
}

TEST_F(View, DragOutsideTheWaveAreaIsHeldAtItsEdges) {
    Attach(60000);
    Press(200);
    Move(-40);
    EXPECT_EQ(view->selStart, 0u);
    Move(900);
    Release(900);
    EXPECT_EQ(view->selStart, 20000u);
    EXPECT_EQ(view->selStop, 60000u);
}

TEST_F(View, PressOverTheAmplitudeRulerActsAtTheViewsEnd) {
    Attach(60000);
    Press(620);
    EXPECT_EQ(view->cursor, 60000u);
    Release(620);
}

TEST_F(View, EndThenRightStaysAtTheLength) {
    Attach(44100);
    Key(Qt::Key_End);
    EXPECT_EQ(view->cursor, 44100u);
    Key(Qt::Key_Right);
    EXPECT_EQ(view->cursor, 44100u);
    Key(Qt::Key_Home);
    EXPECT_EQ(view->cursor, 0u);
    Key(Qt::Key_Left);
    EXPECT_EQ(view->cursor, 0u);
    Key(Qt::Key_A);  // every key reports the cursor
    EXPECT_EQ(cursors.size(), 5u);
    EXPECT_EQ(cursors[0], (std::vector<uint32_t>{44100, 1000}));
}

struct TArrowCase {
    uint32_t span, step;
};
class Arrows : public View, public ::testing::WithParamInterface<TArrowCase> {};
TEST_P(Arrows, StepIsTheFramesUnderOneColumn) {
    Attach(200000);
    view->SetCursor(50000);
    view->ZoomFull();
    view->viewSpan = GetParam().span;  // as the main window sets it after an edit
    view->viewEnd = view->viewStart + view->viewSpan;
    Key(Qt::Key_Right);
    EXPECT_EQ(view->cursor, 50000 + GetParam().step);
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    EXPECT_EQ(view->cursor, 50000 - GetParam().step);
    // The keys never move the visible range.
    EXPECT_EQ(view->viewStart, 0u);
}
INSTANTIATE_TEST_SUITE_P(Spans, Arrows,
                         ::testing::Values(TArrowCase{1000, 1}, TArrowCase{100000, 166},
                                           TArrowCase{10, 1}),
                         [](const auto& info) { return "Span" + std::to_string(info.param.span); });

TEST_F(View, ZoomInAndOutAroundTheCursor) {
    QScrollBar bar(Qt::Horizontal);
    view->SetScrollBar(&bar);
    Attach(44100);
    std::vector<uint32_t> spans;
    for (int i = 0; i < 3; ++i) {
        view->ZoomIn();
        spans.push_back(view->viewSpan);
    }
    EXPECT_EQ(spans, (std::vector<uint32_t>{29400, 19600, 13067}));
    EXPECT_EQ(bar.pageStep(), 13067);
    EXPECT_EQ(bar.singleStep(), 2 * 13067 / 600);
    view->ZoomOut();
    EXPECT_EQ(view->viewSpan, 19600u);
    view->ZoomOut();
    view->ZoomOut();
    EXPECT_EQ(view->viewSpan, 44100u);
    view->ZoomOut();  // already whole
    EXPECT_EQ(view->viewSpan, 44100u);
}

TEST_F(View, ZoomCentresOnTheCursorWithinTheDocument) {
    Attach(44100);
    view->SetCursor(100);
    view->ZoomIn();
    EXPECT_EQ(view->viewStart, 0u);
    EXPECT_EQ(view->viewEnd, 29400u);
    view->ZoomFull();
    view->SetCursor(44000);
    view->ZoomIn();
    EXPECT_EQ(view->viewStart, 14700u);
    EXPECT_EQ(view->viewEnd, 44100u);
}

TEST_F(View, ZoomStopsAtFiftyFrames) {
    Attach(44100);
    for (int i = 0; i < 40; ++i) view->ZoomIn();
    EXPECT_LE(view->viewSpan, 50u);
    EXPECT_GT(view->viewSpan, 50u / 1.5);
}

TEST_F(View, ScrollBarMovesTheView) {
    QScrollBar bar(Qt::Horizontal);
    view->SetScrollBar(&bar);
    Attach(44100);
    view->ZoomIn();
    bar.setValue(10000);
    EXPECT_EQ(view->viewStart, 10000u);
    EXPECT_EQ(view->viewEnd, 39400u);
    bar.setValue(bar.maximum());
    EXPECT_EQ(view->viewEnd, 44100u);
}

TEST_F(View, SelectionInMillisecondsAndTheConversions) {
    Attach(88200);
    view->SetSelectionMs(500, 1500, true);
    EXPECT_EQ(view->selStart, 22050u);
    EXPECT_EQ(view->selStop, 66150u);
    EXPECT_TRUE(selects.empty());  // no event from outside
    EXPECT_EQ(view->SamplesToMs(22050), 500u);
    EXPECT_EQ(view->SamplesToMs(22), 0u);  // 0.4988...
    EXPECT_EQ(view->SamplesToMs(66), 1u);  // 1.4966...
    EXPECT_EQ(view->MsToSamples(1), 44u);  // 44.1
}

TEST_F(View, PressDuringPlaybackRestartsItAtThePress) {
    Attach(60000);
    view->Play();
    ASSERT_TRUE(view->Player().Playing());
    backend->Advance(4410);
    statuses.clear();
    Press(300);
    EXPECT_TRUE(view->Player().Playing());
    EXPECT_EQ(view->playBase, 30000u);
    // Stopped, then started again (the player may report its stop more than once).
    ASSERT_FALSE(statuses.empty());
    EXPECT_FALSE(statuses.front());
    EXPECT_TRUE(statuses.back());
    Move(400);  // a drag pauses playback
    EXPECT_FALSE(view->Player().Playing());
    Release(400);  // and the release plays the new selection
    EXPECT_TRUE(view->Player().Playing());
    EXPECT_EQ(view->playBase, 30000u);
    EXPECT_EQ(view->Player().Length(), 10000u * 2);
    view->Stop();
    EXPECT_EQ(view->playBase, 0u);
    EXPECT_EQ(statuses.back(), false);
}

TEST_F(View, PlaybackMovesTheCursor) {
    Attach(60000, 2);
    view->SetCursor(1000);
    cursors.clear();
    view->Play();
    backend->Advance(4410);
    ASSERT_TRUE(PumpUntil([&] { return !cursors.empty(); }));
    EXPECT_GT(view->cursor, 1000u);
    EXPECT_EQ(view->cursor, cursors.back()[0]);
    view->Stop();
}

TEST_F(View, CloseStopsPlaybackAndClosesWhateverTheChanges) {
    // The questions belong to whoever closes; the view only lets go of the sound.
    for (const bool modified : {false, true}) {
        Attach(1000);
        if (modified) {
            doc.Reverse();
            Wait();
            ASSERT_TRUE(doc.Modified());
        }
        view->Play();
        statuses.clear();
        view->CloseDocument();
        EXPECT_FALSE(doc.Ready()) << modified;
        EXPECT_FALSE(doc.Modified()) << modified;
        EXPECT_FALSE(view->Playing()) << modified;
        ASSERT_FALSE(statuses.empty()) << modified;
        EXPECT_FALSE(statuses.back()) << modified;
    }
    view->CloseDocument();  // nothing loaded
    EXPECT_FALSE(doc.Ready());
}

TEST_F(View, AnEditThatShortensTheDocumentKeepsTheViewInside) {
    QScrollBar bar(Qt::Horizontal);
    view->SetScrollBar(&bar);
    Attach(44100);
    view->SetCursor(44000);
    view->ZoomIn();
    doc.Delete(0, 30000);
    Wait();
    view->RedrawAll();
    EXPECT_EQ(view->viewEnd, 14100u);
    EXPECT_LE(view->viewStart, view->viewEnd);
    EXPECT_EQ(bar.maximum(), int(14100 - view->viewSpan));
}

TEST_F(View, MouseSelectionsSnapToTheNearestZeroCrossingWithinTenMilliseconds) {
    // The sound changes sign every 1000 frames; 10 ms at 44100 Hz is 441 frames.
    std::vector<int16_t> s(60000);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(i / 1000 % 2 ? -1000 : 1000);
    struct Case {
        int snap, from, to;  // the setting; the press and release columns (100 frames each)
        uint32_t start, stop;
    };
    for (const Case c : {Case{0, 123, 287, 12300, 28700}, Case{1, 123, 287, 12000, 29000},
                         Case{1, 287, 123, 12000, 29000}, Case{1, 155, 298, 15500, 30000}}) {
        SCOPED_TRACE(c.from * 10 + c.snap);
        Settings.snapzero = c.snap;
        LoadSamples(1, s);
        view->AttachDocument(&doc);
        selects.clear();
        Press(c.from);
        Move(c.to);
        Release(c.to);
        EXPECT_EQ(view->selStart, c.start);
        EXPECT_EQ(view->selStop, c.stop);
        ASSERT_FALSE(selects.empty());
        EXPECT_EQ(selects.back()[0], c.start);
        EXPECT_EQ(selects.back()[1], c.stop);
    }
    Settings.snapzero = 0;
}

struct TConversionCase {
    const char* name;
    uint32_t rate;
    uint32_t ms;
    int64_t frames;  // single precision, as the view converts
};

void PrintTo(const TConversionCase& c, std::ostream* out) {
    *out << c.name;
}

class Conversions : public View, public ::testing::WithParamInterface<TConversionCase> {};

TEST_P(Conversions, MillisecondsToFramesPassTwoToThe32) {
    const TConversionCase& c = GetParam();
    LoadSamples(1, std::vector<int16_t>(100, 0), c.rate);
    view->AttachDocument(&doc);
    EXPECT_EQ(view->MsToSamples(c.ms), c.frames);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Conversions,
    ::testing::Values(TConversionCase{"OneMs", 44100, 1, 44},
                      // 4,295,340,000 exactly; a float keeps 24 bits of it.
                      TConversionCase{"JustPast32Bits", 44100, 97400000, 4295340032},
                      TConversionCase{"LargestAtHighRate", 192000, UINT32_MAX, 824633720832}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(View, FramesToMillisecondsAreHeldAtTheLargestTime) {
    LoadSamples(1, std::vector<int16_t>(100, 0), 100);
    view->AttachDocument(&doc);
    EXPECT_EQ(view->SamplesToMs(100), 1000);
    // 42,949,672.95 s: more milliseconds than 32 bits hold, now told as they are (in single
    // precision, 2^32 frames at 100 Hz).
    EXPECT_EQ(view->SamplesToMs(UINT32_MAX), int64_t(42949672960));
}

struct TRestoreCase {
    const char* name;
    TViewState state;
    std::vector<int64_t> shown;  // cursor, selStart, selStop, selected, viewStart, viewEnd, span
    std::vector<uint32_t> told;  // the OnSelect raised
};

void PrintTo(const TRestoreCase& c, std::ostream* out) {
    *out << c.name;
}

class Restore : public View, public ::testing::WithParamInterface<TRestoreCase> {};

TEST_P(Restore, ShowsTheStateInsideTheDocumentAndTellsIt) {
    const TRestoreCase& c = GetParam();
    Attach(1000);
    view->RestoreView(c.state);
    const std::vector<int64_t> shown = {view->cursor,    view->selStart, view->selStop,
                                        view->selected,  view->viewStart, view->viewEnd,
                                        view->viewSpan};
    EXPECT_EQ(shown, c.shown);
    ASSERT_EQ(selects.size(), 1u);
    EXPECT_EQ(selects[0], c.told);
    ASSERT_EQ(cursors.size(), 1u);
    EXPECT_EQ(int64_t(cursors[0][0]), c.shown[0]);
}

INSTANTIATE_TEST_SUITE_P(
    States, Restore,
    ::testing::Values(
        TRestoreCase{"AsLeft", {500, 100, 300, true, 50, 800}, {500, 100, 300, 1, 50, 800, 750},
                     {100, 300, 2, 7, 1}},
        // Left on a longer version: everything is held at the end; an empty range shows all.
        TRestoreCase{"PastTheEnd", {5000, 900, 3000, true, 2000, 4000},
                     {1000, 900, 1000, 1, 0, 1000, 1000}, {900, 1000, 20, 23, 1}},
        TRestoreCase{"EmptyRangeNoSelection", {0, 0, 0, false, 0, 0}, {0, 0, 0, 0, 0, 1000, 1000},
                     {0, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(View, ASelectionEndedByItsFieldIsToldByTheNextCursorMoveOnce) {
    Attach(44100);
    view->SetSelection(100, 2000, true);
    EXPECT_TRUE(selects.empty());
    // What an edit command does: the selection is gone with the part it removed.
    view->selected = false;
    view->SetCursor(100);
    ASSERT_EQ(selects.size(), 1u);
    EXPECT_EQ(selects[0], (std::vector<uint32_t>{0, 0, 0, 0, 0}));
    view->RedrawAll();
    view->SetCursor(50);
    EXPECT_EQ(selects.size(), 1u);
}

}  // namespace

// The spectrogram replaces the waveform in the same layout: the mouse selects, the selection
// inverts, the cursor is drawn, and the waveform comes back when it is turned off.
TEST_F(View, SpectrogramShowsColumnsAsTheyArriveAndSelectsAlike) {
    std::vector<int16_t> tone(88200);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = int16_t(std::lround(16000 * std::sin(2 * M_PI * 1000 * double(i) / 44100)));
    LoadSamples(1, tone);
    view->AttachDocument(&doc);
    view->ShowSpectrogram(true, {});
    ASSERT_TRUE(view->SpectrogramShown());
    std::map<QRgb, int> map;
    for (int i = 0; i < kLevels; ++i) map[SpectrumColor(uint8_t(i)) & 0xFFFFFFu] = i;
    const QImage& img = view->Renderer().backBuffer;
    const int top = TWaveRenderer::TopMargin + 1, rows = 250 - top;
    const int toneY = top + int(std::lround(FrequencyRow(1000, rows, 44100, false)));
    const int highY = top + int(std::lround(FrequencyRow(15000, rows, 44100, false)));
    auto level = [&](int x, int y) {
        const auto it = map.find(At(img, x, y));
        return it == map.end() ? -1 : it->second;
    };
    for (int i = 0; i < 500 && level(599, toneY) < 0; ++i) QTest::qWait(20);
    for (int x : {100, 300, 599}) {
        EXPECT_GT(level(x, toneY), level(x, highY) + 100) << x;
        EXPECT_GE(level(x, highY), 0) << x;
    }
    Press(100);
    Move(200);
    Release(200);
    ASSERT_TRUE(view->HasSelection());
    EXPECT_EQ(view->OrderedSelection(), std::make_pair(int64_t(14700), int64_t(29400)));
    // Inside the selection every colour is inverted, outside none is.
    EXPECT_EQ(map.count(~img.pixel(150, highY) & 0xFFFFFFu), 1u);
    EXPECT_EQ(map.count(At(img, 150, highY)), 0u);
    EXPECT_EQ(map.count(At(img, 250, highY)), 1u);
    view->SetCursor(44100);
    EXPECT_EQ(At(img, 300, 120), Rgb(DisplayColors.CursorColor));
    // Zoomed in, the columns are computed afresh and the tone stays on its row.
    view->ZoomIn();
    for (int i = 0; i < 500 && level(599, toneY) < 0; ++i) QTest::qWait(20);
    EXPECT_GT(level(450, toneY), level(450, highY) + 100);
    view->ShowSpectrogram(false, {});
    EXPECT_FALSE(view->SpectrogramShown());
    EXPECT_EQ(At(img, 450, 30), Rgb(DisplayColors.BackColor));  // above the wave
}
