#pragma once
// Markers and regions over the waveform: a region is a band under the time ruler from its start
// to its end, a marker a line through the wave area; each name is written along the ruler's
// lower half. Drawn after the wave and before the selection, so a selection inverts them too.

#include <QColor>
#include <QImage>

#include "markers.h"

struct TWaveState;

// Fixed colours that read on the light and the dark scheme alike.
inline const QColor kMarkerColor{255, 140, 0};
inline const QColor kRegionColor{70, 150, 255};
constexpr int kRegionBandRows = 6;

// `P` is the wave area's width, `top` its first row, `H` the image's logical height.
void DrawMarkers(QImage& image, const TWaveState& state, const TMarkerList& marks, int P, int top,
                 int H);
