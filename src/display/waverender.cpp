#include "waverender.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "displaycolors.h"
#include "markerrender.h"
#include "raster.h"
#include "spectrogram.h"
#include "wavemath.h"
#include "wavfile.h"

namespace {

// Ruler text: "Arial" at 7 points, i.e. 9 pixels at the 96 dots per inch the layout assumes.
constexpr int kFontPixels = 9;

QRgb Rgb(const QColor& c) {
    return c.rgb();
}

// Ruler labels are gathered while the lines are drawn and painted in one pass afterwards: the
// raster writes and a QPainter never touch the image at the same time. Labels never overlap the
// lines drawn after them, so the picture is the same as drawing each at its turn.
class TLabels {
public:
    void Add(int64_t x, int64_t y, QString text) {
        if (x > -1000 && x < 100000) items_.push_back({int(x), int(y), std::move(text)});
    }
    // Paints the labels and gives each one's rectangle, in the order added.
    std::vector<QRect> Paint(QImage& image) {
        std::vector<QRect> rects;
        if (items_.empty()) return rects;
        QPainter p(&image);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(kFontPixels);
        p.setFont(font);
        p.setPen(DisplayColors.ScaleTextColor);
        const QFontMetrics fm(font);
        for (const auto& it : items_) {
            // An opaque background in the scale colour, the size of the text's cell.
            const QRect cell(it.x, it.y, fm.horizontalAdvance(it.text), fm.height());
            p.fillRect(cell, DisplayColors.ScaleColor);
            p.drawText(it.x, it.y + fm.ascent(), it.text);
            rects.push_back(cell);
        }
        items_.clear();
        return rects;
    }

private:
    struct TItem {
        int x, y;
        QString text;
    };
    std::vector<TItem> items_;
};

}  // namespace

TWaveSource TWaveSource::Of(const Twavefile* document) {
    TWaveSource s;
    if (!document || !document->Showable()) return s;
    s.ready = true;
    s.channels = document->Channels();
    s.rate = document->SampleRate();
    s.frames = document->Frames();
    s.peaks = &document->PeakTable();
    s.store = document->Store();
    s.markers = &document->Markers();
    return s;
}

TWaveRenderer::TWaveRenderer() {
    PrepareImages(kInitialWidth, kInitialHeight, 1.0);
}

void TWaveRenderer::PrepareImages(int width, int height, qreal dpr) {
    w_ = width;
    h_ = height;
    const QSize device(std::max(1, qRound(width * dpr)), std::max(1, qRound(height * dpr)));
    if (backBuffer.size() == device && backBuffer.devicePixelRatio() == dpr) return;
    // Two separate allocations: the images are never implicitly shared, so writing into one
    // never copies it.
    backBuffer = QImage(device, QImage::Format_RGB32);
    backBuffer.setDevicePixelRatio(dpr);
    cleanImage = QImage(device, QImage::Format_RGB32);
    cleanImage.setDevicePixelRatio(dpr);
}

static void CopyImage(const QImage& from, QImage& to) {
    std::memcpy(to.bits(), from.constBits(), size_t(from.sizeInBytes()));
}

void TWaveRenderer::RedrawAll(TWaveState& state, const TWaveSource& source, int width, int height,
                              qreal dpr) {
    // 1. The document may have become shorter through an edit.
    if (source.ready) {
        if (source.frames < state.viewStart) {
            // Keep the span where possible and show the document's end.
            const int64_t span = std::min(state.viewSpan, source.frames);
            state.viewStart = source.frames - span;
            state.viewEnd = source.frames;
            state.viewSpan = span;
        } else if (source.frames < state.viewEnd) {
            state.viewEnd = source.frames;
            state.viewSpan = source.frames - state.viewStart;
        }
    }
    // 2.
    PrepareImages(width, height, dpr);
    const int W = w_, H = h_;
    TRaster r(backBuffer);
    // 3.
    r.Fill(0, 0, W, H, Rgb(DisplayColors.ScaleColor));
    if (W <= RightMargin || H <= TopMargin) {
        // No wave area: the quotients of the layout would divide by zero or less.
        CopyImage(backBuffer, cleanImage);
        lastCursorX = kNoColumn;
        return;
    }
    const int P = W - RightMargin;
    r.Fill(P, TopMargin, W, H, Rgb(DisplayColors.ScaleColor));
    r.Fill(0, TopMargin, P, H, Rgb(DisplayColors.BackColor));
    // 4.
    r.HLine(0, W, TopMargin, Rgb(DisplayColors.FrameColor));
    r.VLine(P, TopMargin, H, Rgb(DisplayColors.FrameColor));
    if (!source.ready) {
        // 5.
        DrawAmplitudeScale(2);
        const int g = P / 10;
        TRaster grid(backBuffer);
        for (int k = 0; k <= 10; ++k)
            grid.VLine(k * g, TopMargin, H, Rgb(DisplayColors.GridColor), true);
    } else {
        // 6.
        const int n = std::clamp<int>(source.channels, 1, kMaxChannels);
        DrawAmplitudeScale(n);
        DrawTimeRuler(state, source);
        if (spectrogram) {
            DrawSpectrogram(state, source);
            DrawSpectrumScale(source);
        } else {
            DrawWave(state, source);
        }
        if (source.markers) DrawMarkers(backBuffer, state, *source.markers, P, TopMargin, H);
        // 7.
        const bool overlaps =
            (state.selStart >= state.viewStart && state.selStart <= state.viewEnd) ||
            (state.selStop >= state.viewStart && state.selStop <= state.viewEnd) ||
            (state.selStart < state.viewStart && state.selStop > state.viewEnd);
        if (state.selected && overlaps && state.viewSpan > 0) {
            const double k = double(P) / state.viewSpan;
            const int64_t x1 = state.selStart < state.viewStart
                                   ? 0
                                   : RoundEven((int64_t(state.selStart) - state.viewStart) * k);
            const int64_t x2 = state.selStop > state.viewEnd
                                   ? P
                                   : RoundEven((int64_t(state.selStop) - state.viewStart) * k);
            InvertRect(backBuffer, int(std::clamp<int64_t>(x1, 0, P)), TopMargin,
                       int(std::clamp<int64_t>(x2, 0, P)), H);
        }
    }
    // 8, 9.
    CopyImage(backBuffer, cleanImage);
    // What UpdateCursor compares with is where the cursor is drawn now: a column left over from
    // an earlier update would make it skip a move back to that column.
    lastCursorX = DrawCursor(state, source) ? cursorX : kNoColumn;
}

void TWaveRenderer::InvertRect(QImage& image, int x1, int y1, int x2, int y2) {
    TRaster(image).Invert(x1, y1, x2, y2);
}

void TWaveRenderer::DrawAmplitudeScale(int n) {
    const int W = w_, H = h_, P = W - RightMargin;
    TRaster r(backBuffer);
    TLabels labels;
    const int64_t e = RoundEven(32768.0 / (32768.0 / H * 3 * n));
    const double band = double(H - TopMargin) / (2 * n);
    for (int i = 0; i < n; ++i) {
        channelCentre[size_t(i)] = int32_t(RoundEven(band * (2 * i + 1)) + TopMargin);
        const int64_t c = channelCentre[size_t(i)];
        for (int64_t y : {c + e, c - e}) {
            r.HLine(0, P, y, Rgb(DisplayColors.ZeroDbColor));
            labels.Add(P + 3, y - 4, QStringLiteral("0dB"));
        }
        if (n > 1 && i < n - 1)
            r.HLine(0, P, RoundEven(band * (2 * i + 2)) + TopMargin,
                    Rgb(DisplayColors.SeparatorColor));
        r.HLine(0, P, c, Rgb(DisplayColors.CentreLineColor));
        labels.Add(P + 3, c - 4, QStringLiteral("-90dB"));
    }
    labels.Paint(backBuffer);
}

void TWaveRenderer::DrawTimeRuler(TWaveState& state, const TWaveSource& source) {
    const int H = h_, P = w_ - RightMargin;
    TRulerPlan plan;
    if (state.msScale) {
        plan = MsRulerPlan(state.viewStart, state.viewEnd, source.rate, P);
    } else {
        state.viewSpan = state.viewEnd - state.viewStart;
        plan = FrameRulerPlan(state.viewStart, state.viewEnd, P);
    }
    TLabels labels;
    {
        TRaster r(backBuffer);
        int64_t t = plan.firstX, o = plan.firstValue;
        // Labels wholly left of the view draw nothing visible: start at the first that may.
        int64_t k = 0;
        if (plan.pixelStep > 0 && t < -plan.pixelStep) {
            k = std::min(plan.labels, (-t) / plan.pixelStep - 1);
            t += k * plan.pixelStep;
            o += k * plan.valueStep;
        }
        for (; k < plan.labels && t < int64_t(w_) + 16; ++k) {
            const double minor = plan.pixelStep / 10.0;
            for (int j = 1; j <= 9; ++j)
                r.VLine(RoundEven(j * minor + double(t)), 0, 2, Rgb(DisplayColors.ScaleTextColor));
            r.VLine(t, 0, 6, Rgb(DisplayColors.ScaleTextColor));
            r.VLine(t, TopMargin, H, Rgb(DisplayColors.GridColor), true);
            // A label starts a little left of its tick; one whose tick is off the view would be
            // cut by the edge and name a tick not shown, and one near the edge starts at it.
            if (t >= 0)
                labels.Add(std::max<int64_t>(t - 10, 0), 6,
                           state.msScale ? MsRulerLabel(o) : QString::number(o));
            t += plan.pixelStep;
            o += plan.valueStep;
        }
    }
    timeLabels = labels.Paint(backBuffer);
}

void TWaveRenderer::DrawWave(const TWaveState& state, const TWaveSource& source) {
    if (state.viewSpan == 0) return;
    const int H = h_, P = w_ - RightMargin;
    const int n = std::clamp<int>(source.channels, 1, kMaxChannels);
    const double D = 32768.0 / H * 3 * n;
    auto yOf = [&](int i, int32_t s) { return channelCentre[size_t(i)] - RoundEven(s / D); };
    std::array<int64_t, kMaxChannels> prevY{}, prevX{};
    for (int i = 0; i < kMaxChannels; ++i) prevY[size_t(i)] = channelCentre[size_t(i)];
    samplesPerPixel = double(state.viewSpan) / P;
    const QRgb wave = Rgb(DisplayColors.WaveColor);
    TRaster r(backBuffer);
    if (samplesPerPixel >= 1) {
        const bool peakMode = samplesPerPixel / kPeakBlockFrames >= 1;
        if (!peakMode && !source.store) return;
        // During a load the store holds only the frames from 0 that have come.
        const int64_t stored =
            source.store ? std::min(source.frames, source.store->SampleCount() / n) : 0;
        std::vector<int16_t> scratch(peakMode ? 0 : (size_t(samplesPerPixel) + 1) * size_t(n));
        TColumnPair pair[kMaxChannels];
        for (int col = 0; col < P; ++col) {
            if (peakMode)
                PeakColumn(*source.peaks, n, samplesPerPixel, state.viewStart, col, pair);
            else
                SampleColumn(*source.store, stored, n, samplesPerPixel, state.viewStart, col,
                             scratch.data(), pair);
            for (int i = 0; i < n; ++i) {
                const int64_t y1 = yOf(i, pair[i].first), y2 = yOf(i, pair[i].second);
                r.Line(col, prevY[size_t(i)], col + 1, y1, wave);
                r.Line(col + 1, y1, col + 1, y2, wave);
                prevY[size_t(i)] = y2;
            }
        }
    } else if (samplesPerPixel != 0 && source.store) {
        const bool markers = RoundEven(1 / samplesPerPixel) > 6;
        const QRgb fill = Rgb(DisplayColors.ScaleColor);
        for (int64_t k = 0; k <= state.viewSpan; ++k) {
            const int64_t f = state.viewStart + k;
            if (f >= source.frames || f >= source.store->SampleCount() / n) break;
            const int64_t x = RoundEven(k / samplesPerPixel);
            for (int i = 0; i < n; ++i) {
                const int64_t y = yOf(i, source.store->ReadSample(int64_t(f * n + i)));
                r.Line(prevX[size_t(i)], prevY[size_t(i)], x, y, wave);
                prevX[size_t(i)] = x;
                prevY[size_t(i)] = y;
                if (markers) {
                    // A 5 x 5 square outlined in the wave colour.
                    r.Fill(x - 2, y - 2, x + 3, y + 3, wave);
                    r.Fill(x - 1, y - 1, x + 2, y + 2, fill);
                }
            }
        }
    }
}

bool TWaveRenderer::DrawCursor(const TWaveState& state, const TWaveSource& source) {
    if (!source.ready || !(state.viewStart < state.cursor && state.cursor < state.viewEnd))
        return false;
    const int H = h_, P = w_ - RightMargin;
    if (P <= 0 || H <= TopMargin) return false;
    cursorX = int32_t(RoundEven((state.cursor - state.viewStart) * (double(P) / state.viewSpan)));
    const QRgb c = Rgb(DisplayColors.CursorColor);
    TRaster r(backBuffer);
    const int64_t x = cursorX;
    r.VLine(x, TopMargin, H, c, true);
    auto triangle = [&](int64_t base, int64_t tip) {
        r.Line(x - 2, base, x + 2, base, c);
        r.Line(x + 2, base, x, tip, c);
        r.Line(x, tip, x - 2, base, c);
    };
    triangle(TopMargin, TopMargin + 2);
    triangle(H - 1, H - 3);
    return true;
}

bool TWaveRenderer::UpdateCursor(const TWaveState& state, const TWaveSource& source, int width,
                                 int height) {
    w_ = width;
    h_ = height;
    const int64_t P = w_ - RightMargin;
    if (state.viewSpan != 0)
        cursorX = int32_t(RoundEven(double((int64_t(state.cursor) - int64_t(state.viewStart)) * P) /
                                    state.viewSpan));
    else
        cursorX = 0;
    if (cursorX == lastCursorX) return false;
    CopyImage(cleanImage, backBuffer);
    DrawCursor(state, source);
    lastCursorX = cursorX;
    return true;
}

void TWaveRenderer::DrawSpectrogram(const TWaveState& state, const TWaveSource& source) {
    const int H = h_, P = w_ - RightMargin;
    samplesPerPixel = state.viewSpan > 0 ? double(state.viewSpan) / P : 0;
    if (state.viewSpan == 0) return;
    // In device pixels, below the frame line: a spectrum per device column keeps HiDPI sharp.
    const qreal dpr = backBuffer.devicePixelRatio();
    const int top = qRound((TopMargin + 1) * dpr);
    const QRect area(0, top, qRound(P * dpr), qRound(H * dpr) - top);
    spectrogram->Draw(backBuffer, area, source, double(state.viewStart),
                      double(state.viewSpan) / area.width(), Rgb(DisplayColors.BackColor));
    // Frequency labels down the left edge, at round values far enough apart to read.
    const double rows = H - TopMargin - 1;
    const bool logAxis = spectrogram->Settings().logFrequency;
    const double nyquist = source.rate / 2.0;
    std::vector<double> marks;
    if (logAxis) {
        for (double decade = 10; decade < nyquist; decade *= 10)
            for (double m : {1.0, 2.0, 5.0}) marks.push_back(decade * m);
    } else {
        for (double step : {100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
            if (step / nyquist * rows < 28) continue;
            for (double f = step; f < nyquist; f += step) marks.push_back(f);
            break;
        }
    }
    TLabels labels;
    TRaster r(backBuffer);
    double lastY = 1e9;
    for (double f : marks) {
        if (f >= nyquist || (logAxis && f < LogFloorHz(source.rate))) continue;
        const double y = TopMargin + 1 + FrequencyRow(f, int(rows), source.rate, logAxis);
        if (y < TopMargin + 8 || y > H - 6 || lastY - y < 24) continue;
        lastY = y;
        r.HLine(0, 4, RoundEven(y), Rgb(DisplayColors.ScaleTextColor));
        labels.Add(6, RoundEven(y) - 5,
                   f >= 1000 ? QString::number(f / 1000) + QStringLiteral("k")
                             : QString::number(f));
    }
    labels.Paint(backBuffer);
}

void TWaveRenderer::DrawSpectrumScale(const TWaveSource&) {
    const int W = w_, H = h_, P = W - RightMargin;
    TRaster r(backBuffer);
    r.Fill(P + 1, TopMargin + 1, W, H, Rgb(DisplayColors.ScaleColor));
    // A colour bar from 0 dB at the top to the floor at the bottom, labelled every 20 dB.
    const int y0 = TopMargin + 6, y1 = H - 6;
    if (y1 - y0 < 10) return;
    for (int y = y0; y < y1; ++y) {
        const double level = double(y1 - 1 - y) / (y1 - 1 - y0) * (kLevels - 1);
        r.HLine(P + 3, P + 8, y, SpectrumColor(uint8_t(std::lround(level))));
    }
    TLabels labels;
    for (int db = 0; db >= int(kFloorDb); db -= 20) {
        const int64_t y = RoundEven(y0 + (y1 - 1 - y0) * (db / kFloorDb));
        r.HLine(P + 8, P + 10, y, Rgb(DisplayColors.ScaleTextColor));
        labels.Add(P + 11, y - 4, db == 0 ? QStringLiteral("0dB") : QString::number(db));
    }
    labels.Paint(backBuffer);
}
