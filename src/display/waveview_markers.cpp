// The view's part in markers: a marker's line grabbed and dragged, a double click on it, and a
// click on a region's band. The view only finds what is under the mouse; the receiver of
// OnMoveMarker and OnRenameMarker makes the marker step.
#include <QMouseEvent>
#include <cmath>
#include <utility>

#include "markerrender.h"
#include "waveview.h"
#include "wavfile.h"

namespace {

// How near a line the mouse must come to take it, in pixels.
constexpr int kGrabPixels = 3;

}  // namespace

TWaveView::TMarkerHit TWaveView::MarkerAt(int x) const {
    const int P = width() - TWaveRenderer::RightMargin;
    if (!document_ || P <= 0 || viewSpan <= 0) return {};
    const double k = double(P) / double(viewSpan);
    const auto xOf = [&](int64_t frame) {
        return int(std::floor(double(frame - viewStart) * k));
    };
    TMarkerHit best;
    int nearest = kGrabPixels + 1;
    const TMarkerList& marks = document_->Markers();
    for (size_t i = 0; i < marks.size(); ++i) {
        for (int edge = 0; edge < (marks[i].IsRegion() ? 2 : 1); ++edge) {
            const int d = std::abs(xOf(edge ? marks[i].end : marks[i].start) - x);
            if (d < nearest) {
                nearest = d;
                best = {int(i), edge};
            }
        }
    }
    return best;
}

bool TWaveView::PressOnMarker(int x, int y) {
    if (!document_) return false;
    const TMarkerHit hit = MarkerAt(x);
    if (hit.index >= 0 && OnMoveMarker) {
        markerDrag_ = hit;
        setCursor(Qt::SizeHorCursor);
        return true;
    }
    // The band a region draws under the ruler: a click there selects the region.
    const int top = TWaveRenderer::TopMargin;
    if (y < top || y > top + kRegionBandRows + 2) return false;
    const int64_t f = FrameAt(x);
    for (const TMarker& m : document_->Markers()) {
        if (m.IsRegion() && f >= m.start && f < m.end) {
            SetSelection(m.start, m.end, true);
            SetCursor(m.start);
            return true;
        }
    }
    return false;
}

bool TWaveView::ReleaseMarker(int x) {
    if (markerDrag_.index < 0) return false;
    const TMarkerHit drag = std::exchange(markerDrag_, TMarkerHit{});
    unsetCursor();
    const TMarkerList& marks = document_->Markers();
    if (size_t(drag.index) >= marks.size()) return true;
    const TMarker& m = marks[size_t(drag.index)];
    const int64_t f = std::min(FrameAt(std::max(x, 0)), document_->Frames());
    int64_t start = m.start, end = m.end;
    if (!m.IsRegion()) {
        start = end = f;
    } else if (drag.edge == 0) {
        start = std::min(f, end - 1);
    } else {
        end = std::max(f, start + 1);
    }
    if ((start != m.start || end != m.end) && OnMoveMarker) OnMoveMarker(size_t(drag.index), start, end);
    return true;
}

void TWaveView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (take_) return;
    if (event->button() != Qt::LeftButton || !Loaded()) return;
    const TMarkerHit hit = MarkerAt(LimitX(int(event->position().x())));
    if (hit.index >= 0 && OnRenameMarker) {
        markerDrag_ = {};
        unsetCursor();
        OnRenameMarker(size_t(hit.index));
        return;
    }
    mousePressEvent(event);
}
