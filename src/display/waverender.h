#pragma once
// TWaveRenderer: the drawing half of the waveform view. It paints the time ruler, the amplitude
// ruler, the waveform, the inverted selection and the cursor into an off-screen image
// (backBuffer) and keeps a copy without the cursor (cleanImage), so the cursor can move without
// redrawing the waveform. It needs no widget (Qt Gui only): the view and orvane-cli's --render
// both draw through it.
//
// Units: positions are frame numbers; coordinates are logical pixels. The images are allocated
// in device pixels (size x device pixel ratio), so lines and text stay sharp on HiDPI screens.
// Thread: user-interface thread (or the one thread of orvane-cli).

#include <QImage>
#include <QRect>
#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include "markers.h"
#include "cache.h"

class Twavefile;
class TLargeFile;
class TSpectrogram;

// The navigation and selection fields that drawing reads. The view holds them; the main window
// reads and writes some of them directly (cursor, selection, msScale, the visible range).
struct TWaveState {
    int64_t viewStart = 0;   // first visible frame
    int64_t viewEnd = 0;     // frame after the last visible frame
    int64_t viewSpan = 0;    // visible frames, normally viewEnd - viewStart
    int64_t cursor = 0;      // cursor frame
    int64_t selStart = 0;    // selection [selStart, selStop)
    int64_t selStop = 0; 
    bool selected = false;  // a selection exists
    bool msScale = true;    // time ruler in minutes/seconds (true) or frame numbers (false)
};

// What the renderer reads of a document. Not owned; valid for one drawing call.
struct TWaveSource {
    bool ready = false;  // a document is loaded
    uint16_t channels = 0;
    uint32_t rate = 0;
    int64_t frames = 0;
    const Tindexdata* peaks = nullptr;  // (max, min) per 512-frame block and channel
    TLargeFile* store = nullptr;        // individual samples, interleaved
    const TMarkerList* markers = nullptr;  // drawn over the wave when given

    // The document's current values; not ready when document is null or not loaded.
    static TWaveSource Of(const Twavefile* document);
};

class TWaveRenderer {
public:
    static constexpr int TopMargin = 20;    // rows 0-19: the time ruler
    static constexpr int RightMargin = 30;  // columns W-30 .. W-1: the amplitude ruler
    static constexpr int kInitialWidth = 698;
    static constexpr int kInitialHeight = 250;
    static constexpr int kMaxChannels = 8;

    TWaveRenderer();

    // The full redraw into backBuffer (steps 1-9 of the view's redraw; the caller then shows
    // backBuffer). May clip state's visible range to the document's length. A control of 30
    // pixels width or less, or 20 height or less, gets only its background.
    void RedrawAll(TWaveState& state, const TWaveSource& source, int width, int height,
                   qreal dpr = 1.0);

    // Moves the drawn cursor to state.cursor: restores cleanImage and draws the cursor again.
    // Returns whether backBuffer changed (false when the cursor's column is unchanged).
    bool UpdateCursor(const TWaveState& state, const TWaveSource& source, int width, int height);

    // Inverts every colour bit of a logical rectangle of an image drawn by this renderer.
    static void InvertRect(QImage& image, int x1, int y1, int x2, int y2);

    // When set, the wave area shows this spectrogram instead of the waveform and the right
    // margin its dB legend; rulers, selection and cursor are drawn alike. Not owned.
    TSpectrogram* spectrogram = nullptr;

    // Fields the view's navigation reads and writes.
    double samplesPerPixel = 0;  // frames per pixel column of the last waveform drawing
    std::array<int32_t, kMaxChannels> channelCentre{};  // y of each channel's centre line
    int32_t cursorX = 0;                                // x of the cursor as last computed
    int32_t lastCursorX = 0;                            // x at which the cursor was last drawn
    QImage backBuffer;                                  // everything is drawn here, then shown
    QImage cleanImage;  // backBuffer as it was just before the cursor was drawn
    std::vector<QRect> timeLabels;  // the time ruler's labels as last drawn, left to right

    int Width() const { return w_; }
    int Height() const { return h_; }

private:
    void PrepareImages(int width, int height, qreal dpr);
    void DrawAmplitudeScale(int channels);
    void DrawTimeRuler(TWaveState& state, const TWaveSource& source);
    void DrawWave(const TWaveState& state, const TWaveSource& source);
    void DrawSpectrogram(const TWaveState& state, const TWaveSource& source);
    void DrawSpectrumScale(const TWaveSource& source);
    // Returns whether the cursor was drawn (it lies strictly inside the view).
    bool DrawCursor(const TWaveState& state, const TWaveSource& source);
    static constexpr int32_t kNoColumn = INT32_MIN;

    int w_ = kInitialWidth;  // logical size cached by the last full redraw
    int h_ = kInitialHeight;
};
