#include "raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

TRaster::TRaster(QImage& image)
    : bits_(reinterpret_cast<uint32_t*>(image.bits())),
      stride_(image.bytesPerLine() / 4),
      width_(image.width()),
      height_(image.height()),
      dpr_(image.devicePixelRatio()),
      unit_(image.devicePixelRatio() == 1.0) {}

int64_t TRaster::Dev(int64_t v, int64_t limit) const {
    const int64_t d = unit_ ? v : std::llround(double(v) * dpr_);
    return std::clamp<int64_t>(d, 0, limit);
}

template <typename Op>
void TRaster::Apply(int64_t x1, int64_t y1, int64_t x2, int64_t y2, Op op) {
    if (x1 >= x2 || y1 >= y2) return;
    const int64_t dx1 = Dev(x1, width_), dx2 = Dev(x2, width_);
    const int64_t dy1 = Dev(y1, height_), dy2 = Dev(y2, height_);
    for (int64_t y = dy1; y < dy2; ++y) {
        uint32_t* row = bits_ + y * stride_;
        for (int64_t x = dx1; x < dx2; ++x) op(row[x]);
    }
}

void TRaster::Fill(int64_t x1, int64_t y1, int64_t x2, int64_t y2, QRgb color) {
    const uint32_t c = color | 0xFF000000u;
    Apply(x1, y1, x2, y2, [c](uint32_t& p) { p = c; });
}

void TRaster::Invert(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    Apply(x1, y1, x2, y2, [](uint32_t& p) { p ^= 0x00FFFFFFu; });
}

void TRaster::HLine(int64_t x1, int64_t x2, int64_t y, QRgb color) {
    if (x1 <= x2)
        Fill(x1, y, x2, y + 1, color);
    else
        Fill(x2 + 1, y, x1 + 1, y + 1, color);
}

void TRaster::VLine(int64_t x, int64_t y1, int64_t y2, QRgb color, bool dotted) {
    if (!dotted) {
        if (y1 <= y2)
            Fill(x, y1, x + 1, y2, color);
        else
            Fill(x, y2 + 1, x + 1, y1 + 1, color);
        return;
    }
    const int64_t step = y1 <= y2 ? 1 : -1;
    for (int64_t y = y1; y != y2; y += step)
        if ((y - y1) % 2 == 0) Fill(x, y, x + 1, y + 1, color);
}

void TRaster::Line(int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb color) {
    if (y0 == y1) return HLine(x0, x1, y0, color);
    if (x0 == x1) return VLine(x0, y0, y1, color);
    // Bresenham; pixels that follow each other in one column are filled as one run, which is
    // what the waveform's steep strokes are made of.
    const int64_t dx = std::llabs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int64_t dy = -std::llabs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int64_t err = dx + dy;
    int64_t runX = x0, runFrom = y0, runTo = y0;  // the run covers runFrom..runTo in column runX
    auto flush = [&] {
        Fill(runX, std::min(runFrom, runTo), runX + 1, std::max(runFrom, runTo) + 1, color);
    };
    int64_t x = x0, y = y0;
    for (;;) {
        const int64_t e2 = 2 * err;
        if (e2 >= dy) err += dy, x += sx;
        if (e2 <= dx) err += dx, y += sy;
        if (x == x1 && y == y1) break;
        if (x == runX && y == runTo + sy) {
            runTo = y;
        } else {
            flush();
            runX = x, runFrom = y, runTo = y;
        }
    }
    flush();
}
