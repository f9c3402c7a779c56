#include "markerrender.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "waverender.h"

void DrawMarkers(QImage& image, const TWaveState& state, const TMarkerList& marks, int P, int top,
                 int H) {
    if (marks.empty() || state.viewSpan <= 0 || P <= 0) return;
    const double k = double(P) / double(state.viewEnd - state.viewStart);
    auto x = [&](int64_t frame) {
        return int(std::clamp<double>(std::floor(double(frame - state.viewStart) * k), -1, P));
    };
    QPainter p(&image);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(9);
    p.setFont(font);
    for (const TMarker& m : marks) {
        if (m.start > state.viewEnd || m.end < state.viewStart) continue;
        const int x1 = x(m.start);
        if (m.IsRegion()) {
            const int x2 = std::max(x(m.end), x1 + 1);
            p.fillRect(
                QRect(QPoint(std::max(x1, 0), top + 1), QPoint(x2 - 1, top + kRegionBandRows)),
                kRegionColor);
            p.setPen(kRegionColor);
        } else {
            p.setPen(kMarkerColor);
        }
        if (x1 >= 0 && x1 < P) p.drawLine(x1, top + 1, x1, H - 1);
        // The name goes just under the band, on a dark backing: over the ruler it would cover
        // the time labels, and over the waveform it must stay readable.
        if (!m.name.isEmpty() && x1 >= 0 && x1 < P) {
            const QFontMetrics metrics(font);
            const QRect box(x1 + 2, top + kRegionBandRows + 2, metrics.horizontalAdvance(m.name) + 4,
                            metrics.height());
            p.fillRect(box, QColor(0, 0, 0, 170));
            p.drawText(box.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, m.name);
        }
    }
}
