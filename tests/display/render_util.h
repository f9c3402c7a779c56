#pragma once
// Rendering a document in tests, and reading back the pixels the drawing rules predict.
#include <QImage>

#include "displaycolors.h"
#include "doctest_util.h"
#include "waverender.h"

inline QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFFu;
}
inline QRgb Rgb(const QColor& c) {
    return c.rgb() & 0xFFFFFFu;
}
inline QRgb Inverted(const QColor& c) {
    return ~c.rgb() & 0xFFFFFFu;
}

// A document loaded from samples, with a renderer and the view's fields for it.
class TRenderFixture : public TDocFixture {
public:
    TRenderFixture() { DisplayColors = TDisplayColors{}; }
    ~TRenderFixture() { DisplayColors = TDisplayColors{}; }
    void Show(uint16_t channels, const std::vector<int16_t>& samples) {
        LoadSamples(channels, samples);
        state = TWaveState{};
        state.viewEnd = state.viewSpan = doc.Frames();
    }
    void View(uint32_t start, uint32_t end) {
        state.viewStart = start;
        state.viewEnd = end;
        state.viewSpan = end - start;
    }
    const QImage& Draw(int w, int h, qreal dpr = 1) {
        renderer.RedrawAll(state, TWaveSource::Of(&doc), w, h, dpr);
        return renderer.backBuffer;
    }
    TWaveState state;
    TWaveRenderer renderer;
};
