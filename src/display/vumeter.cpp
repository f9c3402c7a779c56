#include "vumeter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

TVUMeter::TVUMeter(QWidget* parent) : QWidget(parent) {
    // The image covers every pixel.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(127, 38);
    FitImage();
}

void TVUMeter::FitImage() {
    // One image pixel per device pixel: at a scale of 2 the bars stay sharp. Drawing into it
    // stays in the widget's own units.
    const qreal ratio = devicePixelRatioF();
    const QSize size(std::max(int(std::ceil(width() * ratio)), 1),
                     std::max(int(std::ceil(height() * ratio)), 1));
    if (image_.size() != size || image_.devicePixelRatio() != ratio) {
        image_ = QImage(size, QImage::Format_RGB32);
        image_.setDevicePixelRatio(ratio);
    }
}

void TVUMeter::ClearMeter() {
    fromSetLevels_ = false;
    FitImage();
    image_.fill(backcolor);
}

void TVUMeter::SetLevels(std::span<const int16_t> levels) {
    if (!isVisible()) return;
    FitImage();
    const int W = width(), H = height();
    image_.fill(backcolor);
    levels_.fill(0);
    const int count = int(std::min<size_t>(levels.size(), kMaxChannels));
    if (count > 0) {
        count_ = count;
        std::copy_n(levels.begin(), count, levels_.begin());
        const int b = H / count;
        QPainter p(&image_);
        const QColor fore = forecolor;
        for (int i = 0; i < count; ++i) {
            const int32_t target = levels_[size_t(i)] * W / 128;
            int32_t& bar = bar_[size_t(i)];
            if (target > bar)
                bar = target;  // a louder level shows at once
            else
                bar = bar < kBarFall ? 0 : bar - kBarFall;
            // From (1, i*b + 1) to (bar, i*b + b), right and bottom edges exclusive.
            if (bar > 1) p.fillRect(QRect(1, i * b + 1, bar - 1, b - 1), fore);
        }
        for (int i = 0; i < count; ++i) {
            const int32_t c = levels_[size_t(i)] * W / 128;
            int32_t& peak = peak_[size_t(i)];
            int32_t& age = age_[size_t(i)];
            if (c >= peak) {
                peak = c;
                age = 0;
            }
            if (age > kHoldTime) peak -= kPeakFall;
            if (peak > 0) p.fillRect(QRect(peak - 2, i * b + 1, 2, b - 1), fore);
            ++age;
        }
    }
    // The next paint shows this image (at once where the platform allows); an expose of its own
    // shows a blank meter.
    fromSetLevels_ = true;
    repaint();
}

void TVUMeter::ResetMeter() {
    ClearMeter();
    levels_.fill(0);
    bar_.fill(0);
    peak_.fill(0);
    age_.fill(0);
    update();
}

void TVUMeter::paintEvent(QPaintEvent*) {
    if (!fromSetLevels_) ClearMeter();
    fromSetLevels_ = false;
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void TVUMeter::resizeEvent(QResizeEvent*) {
    FitImage();
    bar_.fill(0);
    peak_.fill(0);
    age_.fill(0);
}
