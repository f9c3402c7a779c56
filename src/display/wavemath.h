#pragma once
// The arithmetic of the waveform view as plain functions: rounding, the two time rulers' label
// plans, the zoom steps, the scroll bar steps and the per-column extremes of the waveform.
// Positions are frame numbers; x values are logical pixels.

#include <QString>
#include <cstdint>

#include "cache.h"

class TLargeFile;

// Rounds to the nearest integer, exact halves to the even neighbour.
int64_t RoundEven(double v);

// Where the labels of a time ruler go: `labels` labels, the first at x = firstX with the value
// firstValue, each next one pixelStep pixels and valueStep units (milliseconds or frames) on.
struct TRulerPlan {
    int64_t firstX = 0;
    int64_t pixelStep = 0;
    int64_t firstValue = 0;
    int64_t valueStep = 0;
    int64_t labels = 0;
};

// The minutes/seconds ruler over the frames [viewStart, viewEnd) at `rate` frames per second on
// a wave area of `columns` pixels.
TRulerPlan MsRulerPlan(int64_t viewStart, int64_t viewEnd, uint32_t rate, int columns);
// The frame-number ruler.
TRulerPlan FrameRulerPlan(int64_t viewStart, int64_t viewEnd, int columns);
// A label of the minutes/seconds ruler: minutes ":" two-digit seconds "." two characters.
QString MsRulerLabel(int64_t ms);

// Zoom: the next smaller and larger visible span, and the range of a span centred on the
// cursor within a document of `length` frames.
int64_t ZoomInSpan(int64_t span);
int64_t ZoomOutSpan(int64_t span, int64_t length);
struct TViewRange {
    int64_t start = 0, end = 0;
};
TViewRange CentreOnCursor(int64_t cursor, int64_t span, int64_t length);

// The scroll bar's small step, (2 * span) div columns (at least 1 when asked), held within what
// a scroll bar takes; the large step is 50 small steps, held likewise.
int32_t ScrollSmallStep(int64_t span, int columns, bool atLeastOne);
int32_t ScrollLargeStep(int32_t smallStep);
// The cursor keys' step: the frames under one pixel column, at least 1.
int64_t ArrowStep(int64_t span, int columns);

// The two extremes drawn for one pixel column of one channel, in drawing order.
struct TColumnPair {
    int16_t first = 0, second = 0;
};
// Peak mode (samplesPerPixel >= 512): the column's extremes from the peak table, earlier one
// first. Blocks beyond the table are not read.
void PeakColumn(const Tindexdata& peaks, int channels, double samplesPerPixel, int64_t viewStart,
                int col, TColumnPair* out);
// Sample mode (1 <= samplesPerPixel < 512): (maximum, minimum) of the column's samples; frames
// at or beyond `frames` are not read. `scratch` holds at least
// (Trunc(samplesPerPixel) + 1) * channels samples.
void SampleColumn(TLargeFile& store, int64_t frames, int channels, double samplesPerPixel,
                  int64_t viewStart, int col, int16_t* scratch, TColumnPair* out);
