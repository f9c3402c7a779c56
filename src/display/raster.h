#pragma once
// TRaster: the few raster operations the waveform drawing needs, on an RGB32 image, in logical
// pixels. Each logical pixel covers the device pixels [round(x * dpr), round((x + 1) * dpr)),
// so a one-pixel line stays one logical pixel wide and sharp at any device pixel ratio. Lines
// leave their end point unpainted. Everything is clipped to the image.
//
// The image must not be shared (no implicit copy alive) and no QPainter may be active on it
// while a TRaster writes.

#include <QImage>
#include <cstdint>

class TRaster {
public:
    explicit TRaster(QImage& image);

    // The rectangle [x1, x2) x [y1, y2); nothing when empty.
    void Fill(int64_t x1, int64_t y1, int64_t x2, int64_t y2, QRgb color);
    // From (x1, y) towards (x2, y), the end excluded.
    void HLine(int64_t x1, int64_t x2, int64_t y, QRgb color);
    // From (x, y1) towards (x, y2), the end excluded; a dotted line paints every other pixel,
    // starting with the first.
    void VLine(int64_t x, int64_t y1, int64_t y2, QRgb color, bool dotted = false);
    // Any straight line, the end excluded.
    void Line(int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb color);
    // Flips every colour bit of [x1, x2) x [y1, y2).
    void Invert(int64_t x1, int64_t y1, int64_t x2, int64_t y2);

private:
    int64_t Dev(int64_t v, int64_t limit) const;
    template <typename Op>
    void Apply(int64_t x1, int64_t y1, int64_t x2, int64_t y2, Op op);

    uint32_t* bits_;
    int64_t stride_;  // in pixels
    int64_t width_, height_;
    double dpr_;
    bool unit_;  // device pixel ratio 1: logical and device pixels are the same
};
