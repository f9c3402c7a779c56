#include "waveview.h"

#include <QPainter>
#include <QScrollBar>

#include "player.h"
#include "wavfile.h"

TWaveView::TWaveView(QWidget* parent, std::shared_ptr<TAudioBackend> backend)
    : QWidget(parent), player_(std::make_unique<TPlayer>()) {
    resize(TWaveRenderer::kInitialWidth, TWaveRenderer::kInitialHeight);
    player_->Init(std::move(backend));
}

TWaveView::~TWaveView() { player_->Shutdown(); }

void TWaveView::AttachDocument(Twavefile* document) { document_ = document; }
bool TWaveView::CloseDocument() { return true; }
void TWaveView::ZoomIn() {}
void TWaveView::ZoomOut() {}
void TWaveView::ZoomFull() {}
void TWaveView::SetScrollBar(QScrollBar* bar) { scrollBar_ = bar; }
void TWaveView::ScrollToBar() {}
void TWaveView::SetCursor(uint32_t frame) { cursor = frame; }
void TWaveView::SetSelection(uint32_t start, uint32_t stop, bool sel) {
    selStart = start;
    selStop = stop;
    selected = sel;
}
void TWaveView::SetSelectionMs(uint32_t, uint32_t, bool) {}
void TWaveView::Play() {}
void TWaveView::Stop() {}
void TWaveView::GetLevels(std::span<int16_t>) {}
uint32_t TWaveView::SamplesToMs(uint32_t) const { return 0; }
uint32_t TWaveView::MsToSamples(uint32_t) const { return 0; }
void TWaveView::RedrawAll() {}
void TWaveView::UpdateCursor() {}
void TWaveView::paintEvent(QPaintEvent*) {}
void TWaveView::resizeEvent(QResizeEvent*) {}
void TWaveView::changeEvent(QEvent* e) { QWidget::changeEvent(e); }
void TWaveView::keyPressEvent(QKeyEvent*) {}
void TWaveView::mousePressEvent(QMouseEvent*) {}
void TWaveView::mouseMoveEvent(QMouseEvent*) {}
void TWaveView::mouseReleaseEvent(QMouseEvent*) {}
bool TWaveView::event(QEvent* e) { return QWidget::event(e); }
