#include "waveview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>

#include "player.h"
#include "settings.h"
#include "spectrogram.h"
#include "waveaccessible.h"
#include "wavemath.h"
#include "wavfile.h"

TWaveView::TWaveView(QWidget* parent, std::shared_ptr<TAudioBackend> backend)
    : QWidget(parent), player_(std::make_unique<TPlayer>()) {
    // Every pixel comes from the back buffer: nothing to erase, nothing to flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::ClickFocus);
    resize(TWaveRenderer::kInitialWidth, TWaveRenderer::kInitialHeight);
    player_->OnPosition = [this](int64_t bytes) { PlayerPosition(bytes); };
    player_->OnStatus = [this](bool action) {
        if (OnPlayStatus) OnPlayStatus(action);
        AnnounceWaveState(*this);
    };
    InstallWaveAccessible();
    player_->Init(std::move(backend));
}

TWaveView::~TWaveView() {
    // The receivers of our events may already be gone.
    player_->OnPosition = nullptr;
    player_->OnStatus = nullptr;
    player_->Shutdown();
    spectrogram_.reset();  // its workers may still report to this view
    if (document_) document_->DetachStoreListener(this);
}

TWaveSource TWaveView::Source() const {
    return take_ ? *take_ : TWaveSource::Of(document_);
}

bool TWaveView::Loaded() const {
    return document_ && document_->Showable();
}

bool TWaveView::Playing() const {
    return player_->Playing();
}

// --- frames and milliseconds, in single precision both ways ---

int64_t TWaveView::SamplesToMs(int64_t frames) const {
    const uint32_t rate = document_ ? document_->SampleRate() : 0;
    if (rate == 0) return 0;
    const float ms = float(double(float(frames)) / rate * 1000);
    return int64_t(std::nearbyint(double(ms)));
}

int64_t TWaveView::MsToSamples(int64_t ms) const {
    const uint32_t rate = document_ ? document_->SampleRate() : 0;
    const float frames = float(double(float(ms)) / 1000 * rate);
    return int64_t(std::nearbyint(double(frames)));
}

// --- drawing ---

void TWaveView::ShowSpectrogram(bool on, const TSpectrumSettings& settings) {
    if (on && !spectrogram_) {
        spectrogram_ = std::make_unique<TSpectrogram>();
        spectrumRedraw_ = new QTimer(this);
        spectrumRedraw_->setSingleShot(true);
        // Columns arrive in a stream; a redraw every few frames shows them without redrawing
        // for each.
        spectrumRedraw_->setInterval(30);
        connect(spectrumRedraw_, &QTimer::timeout, this, [this] {
            if (SpectrogramShown()) RedrawAll();
        });
        spectrogram_->onReady = [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!spectrumRedraw_->isActive()) spectrumRedraw_->start();
                },
                Qt::QueuedConnection);
        };
    }
    if (spectrogram_) spectrogram_->SetSettings(settings);
    renderer_.spectrogram = on ? spectrogram_.get() : nullptr;
    RedrawAll();
}

void TWaveView::RedrawAll() {
    // A take's view has no selection of its own: the document's stays as told.
    if (!take_) FollowSelection();
    renderer_.RedrawAll(*this, Source(), width(), height(), devicePixelRatioF());
    // The scroll bar stays the document's while a take is shown.
    if (!take_) SetScrollPage();
    update();
}

void TWaveView::UpdateCursor() {
    const bool sameGeometry = renderer_.Width() == width() && renderer_.Height() == height() &&
                              renderer_.backBuffer.devicePixelRatio() == devicePixelRatioF();
    if (!sameGeometry) return RedrawAll();
    if (renderer_.UpdateCursor(*this, Source(), width(), height())) update();
}

void TWaveView::paintEvent(QPaintEvent*) {
    // A move to a screen of another pixel ratio needs images of that ratio.
    if (renderer_.backBuffer.devicePixelRatio() != devicePixelRatioF())
        renderer_.RedrawAll(*this, Source(), width(), height(), devicePixelRatioF());
    QPainter p(this);
    p.drawImage(0, 0, renderer_.backBuffer);
}

void TWaveView::resizeEvent(QResizeEvent*) {
    if (OnResize) OnResize();
    RedrawAll();
}

// --- the document ---

void TWaveView::ShowTake(const TWaveSource* take) {
    if (!take) {
        if (!take_) return;
        take_.reset();
        static_cast<TWaveState&>(*this) = beforeTake_;
        renderer_.spectrogram = spectrogramBeforeTake_;
        // The document may have grown by the take meanwhile: the renderer keeps the range in.
        RedrawAll();
        return;
    }
    if (!take_) {
        beforeTake_ = *this;
        spectrogramBeforeTake_ = renderer_.spectrogram;
    }
    // The spectrogram reads samples, which a take has none of yet: the waveform while it runs.
    renderer_.spectrogram = nullptr;
    take_ = *take;
    take_->ready = true;
    // The canvas fills from the left, then the whole take is shown as it grows.
    // At least a peak block per column: the take has peaks to draw, no samples to read.
    const int64_t columns = std::max(width() - TWaveRenderer::RightMargin, 1);
    const int64_t canvas =
        std::max<int64_t>(int64_t(take->rate) * kTakeCanvasSeconds, columns * kPeakBlockFrames);
    const int64_t n = std::max<int64_t>(take->channels, 1);
    const int64_t peaked = take->peaks ? int64_t(take->peaks->size()) / n * kPeakBlockFrames : 0;
    // As far as the peaks reach (they may lag the frames a little); the canvas beyond them
    // silent until they come.
    take_->frames = std::max(std::min(take->frames, peaked), canvas);
    if (peaked < take_->frames) {
        canvasPeaks_ = take->peaks ? *take->peaks : Tindexdata{};
        canvasPeaks_.resize(size_t((take_->frames / kPeakBlockFrames + 1) * n), TPeakEntry{});
        take_->peaks = &canvasPeaks_;
    }
    selected = false;
    viewStart = 0;
    viewEnd = viewSpan = take_->frames;
    cursor = take->frames;
    RedrawAll();
}

void TWaveView::AttachDocument(Twavefile* document) {
    if (take_) {
        take_.reset();
        renderer_.spectrogram = spectrogramBeforeTake_;
    }
    if (document_ && document_ != document) document_->DetachStoreListener(this);
    document_ = document;
    if (spectrogram_) spectrogram_->Release();
    if (document_) {
        // Nothing of the view reads the store between redraws; a playback that the release
        // ends is not restarted by the mouse.
        document_->AttachStoreListener(this, [this] {
            restartPending_ = false;
            playBase = 0;
            if (spectrogram_) spectrogram_->Release();
        });
    }
    const int64_t length = document_ ? document_->Frames() : 0;
    selected = false;
    viewStart = 0;
    viewEnd = viewSpan = length;
    const int P = width() - TWaveRenderer::RightMargin;
    renderer_.samplesPerPixel = P > 0 ? double(length / P) : 0;
    SetScrollPage();
    selStart = selStop = cursor = cursorMs = 0;
    renderer_.cursorX = 0;
    if (OnCursor) OnCursor(this, 0, 0);
    RedrawAll();
}

void TWaveView::LoadGrew(int64_t before) {
    if (!Loaded()) return;
    const int64_t length = document_->Frames();
    // A view that showed everything keeps doing so while a sound of unknown length grows.
    if (viewStart == 0 && viewEnd >= before && length > before) viewEnd = viewSpan = length;
    RedrawAll();
}

void TWaveView::LoadEnded() {
    if (!Loaded()) return;
    const int64_t length = document_->Frames();
    const bool whole = viewStart == 0 && viewEnd >= length;
    viewEnd = whole ? length : std::min(viewEnd, length);
    viewStart = std::min(viewStart, viewEnd);
    if (viewStart == viewEnd) viewStart = 0, viewEnd = length;
    viewSpan = viewEnd - viewStart;
    selStart = std::min(selStart, length);
    selStop = std::min(selStop, length);
    cursor = std::min(cursor, length);
    SetScrollSteps(viewSpan < length);
    RedrawAll();
}

void TWaveView::CloseDocument() {
    player_->Close();
    selected = false;
    if (document_) document_->Close();
    RedrawAll();
}

std::pair<int64_t, int64_t> TWaveView::OrderedSelection() const {
    const int64_t frames = document_ ? document_->Frames() : 0;
    return {std::min(std::min(selStart, selStop), frames),
            std::min(std::max(selStart, selStop), frames)};
}

void TWaveView::ShrinkVisible(int64_t removed) {
    viewSpan = viewSpan > removed ? viewSpan - removed : 0;
    viewEnd = viewEnd > removed ? viewEnd - removed : 0;
}

// --- the view a version is shown with ---

TViewState TWaveView::ViewState() const {
    // While a take is shown, the document's view is the one it had before.
    const TWaveState& v = take_ ? beforeTake_ : *this;
    TViewState s;
    s.cursor = v.cursor;
    s.selStart = v.selStart;
    s.selStop = v.selStop;
    s.selected = v.selected;
    s.viewStart = v.viewStart;
    s.viewEnd = v.viewEnd;
    return s;
}

void TWaveView::RestoreView(const TViewState& state) {
    if (!Loaded()) return;
    const int64_t length = document_->Frames();
    const auto inside = [length](int64_t f) { return std::clamp<int64_t>(f, 0, length); };
    viewEnd = inside(state.viewEnd);
    viewStart = std::min(inside(state.viewStart), viewEnd);
    // A range that shows nothing (it was left empty by removing everything) shows it all.
    if (viewStart == viewEnd) {
        viewStart = 0;
        viewEnd = length;
    }
    viewSpan = viewEnd - viewStart;
    selStart = inside(std::min(state.selStart, state.selStop));
    selStop = inside(std::max(state.selStart, state.selStop));
    selected = state.selected && selStart < selStop;
    cursor = inside(state.cursor);
    cursorMs = SamplesToMs(cursor);
    if (OnCursor) OnCursor(this, cursor, cursorMs);
    RaiseSelect();
    SetScrollSteps(viewSpan < length);
    RedrawAll();
    AnnounceWaveState(*this);
}

void TWaveView::RaiseSelect() {
    KeepSelectionTold();
    if (!OnSelect) return;
    if (selected) {
        OnSelect(this, selStart, selStop, SamplesToMs(selStart), SamplesToMs(selStop), true);
    } else {
        OnSelect(this, 0, 0, 0, 0, false);
    }
}

void TWaveView::FollowSelection() {
    const bool same = selected == toldSelected_ &&
                      (!selected || (selStart == toldStart_ && selStop == toldStop_));
    if (!same) RaiseSelect();
}

void TWaveView::KeepSelectionTold() {
    toldSelected_ = selected;
    toldStart_ = selStart;
    toldStop_ = selStop;
}

// --- visible range and scroll bar ---

void TWaveView::SetScrollBar(QScrollBar* bar) {
    if (scrollBar_) QObject::disconnect(scrollBar_, nullptr, this, nullptr);
    scrollBar_ = bar;
    if (!bar) return;
    QObject::connect(bar, &QScrollBar::valueChanged, this, [this] {
        if (!settingBar_) ScrollToBar();
    });
    SetScrollPage();
}

namespace {
// Scroll bars hold ints: lengths beyond INT_MAX frames are shown halved as often as needed.
int BarShift(int64_t length) {
    int s = 0;
    while ((uint64_t(length) >> s) > uint64_t(INT_MAX)) ++s;
    return s;
}
}  // namespace

void TWaveView::SetScrollPage() {
    if (!scrollBar_) return;
    const int64_t length = Loaded() ? document_->Frames() : 0;
    const int s = BarShift(length);
    // The scroll bar's range is 0 ... length with the page as big as the view; in Qt's terms
    // the value runs up to length - page.
    const int64_t page = std::min(viewSpan, length);
    settingBar_ = true;
    scrollBar_->setRange(0, int((length - page) >> s));
    scrollBar_->setPageStep(int(page >> s));
    scrollBar_->setValue(int(std::min(viewStart, length - page) >> s));
    settingBar_ = false;
}

void TWaveView::SetScrollSteps(bool atLeastOne) {
    if (!scrollBar_) return;
    const int P = width() - TWaveRenderer::RightMargin;
    const int32_t small = ScrollSmallStep(viewSpan, P, atLeastOne);
    settingBar_ = true;
    scrollBar_->setSingleStep(int(small >> BarShift(Loaded() ? document_->Frames() : 0)));
    settingBar_ = false;
    // Qt's page step is both the thumb's size (the view) and the large step; the thumb wins.
    largeStep_ = ScrollLargeStep(small);
}

void TWaveView::ScrollToBar() {
    if (!Loaded() || !scrollBar_ || take_) return;
    const int64_t length = document_->Frames();
    viewStart = int64_t(scrollBar_->value()) << BarShift(length);
    viewEnd = viewStart + viewSpan;
    if (viewStart + viewSpan > length) {
        viewEnd = length;
        viewStart = length - std::min(viewSpan, length);
    }
    RedrawAll();
}

void TWaveView::ZoomFull() {
    if (take_) return;
    if (!Loaded()) return;
    viewStart = 0;
    viewEnd = viewSpan = document_->Frames();
    SetScrollSteps(false);
    RedrawAll();
}

void TWaveView::CentreOnCursor() {
    const TViewRange r = ::CentreOnCursor(cursor, viewSpan, document_->Frames());
    viewStart = r.start;
    viewEnd = r.end;
}

void TWaveView::ZoomIn() {
    if (take_) return;
    if (!Loaded() || viewSpan <= 50) return;
    viewSpan = ZoomInSpan(viewSpan);
    CentreOnCursor();
    SetScrollSteps(true);
    RedrawAll();
}

void TWaveView::ZoomOut() {
    if (take_) return;
    if (!Loaded() || viewSpan >= document_->Frames()) return;
    viewSpan = ZoomOutSpan(viewSpan, document_->Frames());
    CentreOnCursor();
    SetScrollSteps(true);
    RedrawAll();
}

// --- cursor and selection from outside ---

void TWaveView::SetCursor(int64_t frame) {
    FollowSelection();
    cursor = frame;
    cursorMs = SamplesToMs(frame);
    if (OnCursor) OnCursor(this, cursor, cursorMs);
    UpdateCursor();
    // Playback moves the cursor many times a second: a reader would speak nothing else.
    if (!player_->Playing()) AnnounceWaveCursor(*this);
}

void TWaveView::SetSelection(int64_t start, int64_t stop, bool sel) {
    selStart = start;
    selStop = stop;
    selected = sel;
    KeepSelectionTold();
    renderer_.lastCursorX = renderer_.cursorX - 1;
    RedrawAll();
    AnnounceWaveState(*this);
}

void TWaveView::SetSelectionMs(int64_t startMs, int64_t stopMs, bool sel) {
    SetSelection(MsToSamples(startMs), MsToSamples(stopMs), sel);
}

// --- playback ---

void TWaveView::Play() {
    // Early in a load nothing may be in the file yet.
    if (!Loaded() || !document_->Store()) return;
    const uint16_t channels = document_->Channels();
    const TWaveFormat format = TWaveFormat::Pcm16(channels, document_->SampleRate());
    int64_t count;
    if (selected) {
        playBase = selStart;
        count = selStop - selStart;
    } else {
        playBase = cursor;
        count = document_->Frames() - cursor;
    }
    player_->Open(document_, channels * playBase, format, uint64_t(count) * 2 * channels);
    player_->Play();
}

void TWaveView::Stop() {
    player_->Stop();
    playBase = 0;
}

void TWaveView::GetLevels(std::span<int16_t> levels) {
    player_->GetLevels(levels);
}

void TWaveView::PlayerPosition(int64_t bytes) {
    const int64_t channels = document_ ? std::max<int64_t>(document_->Channels(), 1) : 1;
    SetCursor(bytes / (2 * channels) + playBase);
}

// The sound device's errors inside an event handler go where the player reports its own.
void TWaveView::RestartPlayback(bool stopFirst) {
    try {
        if (stopFirst) Stop();
        Play();
    } catch (const std::exception& e) {
        if (player_->OnError) player_->OnError(e.what());
    }
}

// --- keys ---

void TWaveView::keyPressEvent(QKeyEvent* event) {
    if (take_) return;
    if (OnKeyDown) OnKeyDown(event);
    if (!Loaded()) return QWidget::keyPressEvent(event);
    const int64_t length = document_->Frames();
    const int64_t step = ArrowStep(viewSpan, width() - TWaveRenderer::RightMargin);
    // With Shift the selection runs from its far end (or the cursor) to where the cursor goes.
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const int64_t from = !selected ? cursor : cursor == selStart ? selStop : selStart;
    bool handled = true;
    switch (event->key()) {
        case Qt::Key_Home:
            cursor = 0;
            RedrawAll();
            break;
        case Qt::Key_End:
            cursor = length;
            RedrawAll();
            break;
        case Qt::Key_Left:
            cursor = step >= cursor ? 0 : cursor - step;
            RedrawAll();
            break;
        case Qt::Key_Right:
            if (cursor < length) cursor += step;
            if (cursor > length) cursor = length;
            RedrawAll();
            break;
        default:
            handled = false;
    }
    cursorMs = SamplesToMs(cursor);
    if (OnCursor) OnCursor(this, cursor, cursorMs);
    if (!handled) return QWidget::keyPressEvent(event);
    AnnounceWaveCursor(*this);
    if (extend) ExtendSelection(from, cursor);
}

void TWaveView::ExtendSelection(int64_t from, int64_t to) {
    selStart = std::min(from, to);
    selStop = std::max(from, to);
    selected = selStart != selStop;
    RaiseSelect();
    RedrawAll();
    AnnounceWaveState(*this);
}

// --- mouse ---

int64_t TWaveView::Snapped(int64_t frame) const {
    // Not during a load: the frames near a position may not be in yet.
    if (!Settings.snapzero || !Loaded() || document_->Loading()) return frame;
    return document_->NearestZeroCrossing(frame, document_->SampleRate() / 100);
}

int TWaveView::LimitX(int x) const {
    return std::min(x, width() - TWaveRenderer::RightMargin);
}

int64_t TWaveView::FrameAt(int x) const {
    const int P = width() - TWaveRenderer::RightMargin;
    if (P <= 0) return viewStart;
    const double fpp = double(viewSpan) / P;
    const int64_t f = RoundEven(x * fpp) + viewStart;
    return std::max<int64_t>(f, 0);
}

void TWaveView::mousePressEvent(QMouseEvent* event) {
    if (take_) return;
    if (OnMouseDown) OnMouseDown(event);
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton || !Loaded()) return;
    const int x = LimitX(int(event->position().x()));
    if (event->modifiers() & Qt::ShiftModifier) {
        // Shift+click moves the selection's nearer end (or spans from the cursor) to here.
        const int64_t g = FrameAt(x);
        const auto distance = [g](int64_t f) { return std::abs(int64_t(g) - int64_t(f)); };
        const int64_t from = !selected ? cursor
                              : distance(selStart) < distance(selStop) ? selStop
                                                                       : selStart;
        cursor = g;
        cursorMs = SamplesToMs(cursor);
        if (OnCursor) OnCursor(this, cursor, cursorMs);
        AnnounceWaveCursor(*this);
        return ExtendSelection(from, Snapped(g));
    }
    if (PressOnMarker(x, int(event->position().y()))) return;
    selected = false;
    RaiseSelect();
    anchor = FrameAt(x);
    bandX_ = x;
    cursor = anchor;
    cursorMs = SamplesToMs(cursor);
    if (OnCursor) OnCursor(this, cursor, cursorMs);
    if (player_->Playing()) {
        RestartPlayback(true);
        restartPending_ = true;
    }
    RedrawAll();
    selStart = anchor;
    downX_ = x;
    dragging_ = true;
}

void TWaveView::mouseMoveEvent(QMouseEvent* event) {
    if (take_) return;
    if (OnMouseMove) OnMouseMove(event);
    if (!(event->buttons() & Qt::LeftButton) || !Loaded() || !dragging_) return;
    const int x = std::max(0, LimitX(int(event->position().x())));
    // The band is inverted in both images, so that a cursor drawn later keeps it; moving back
    // inverts again and so takes away what was added.
    const int H = renderer_.Height();
    for (QImage* image : {&renderer_.backBuffer, &renderer_.cleanImage})
        TWaveRenderer::InvertRect(*image, std::min(bandX_, x), TWaveRenderer::TopMargin,
                                  std::max(bandX_, x), H);
    update();
    const int64_t g = FrameAt(x);
    if (g < anchor) {
        selStart = g;
        selStop = anchor;
    } else {
        selStart = anchor;
        selStop = g;
    }
    bandX_ = x;
    if (restartPending_) Stop();
}

void TWaveView::mouseReleaseEvent(QMouseEvent* event) {
    if (take_) return;
    if (OnMouseUp) OnMouseUp(event);
    if (event->button() == Qt::LeftButton && ReleaseMarker(LimitX(int(event->position().x()))))
        return;
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    const int x = LimitX(int(event->position().x()));
    if (x == downX_ || selStart == selStop) {
        selected = false;
        RaiseSelect();
    } else {
        const int64_t a = Snapped(selStart), b = Snapped(selStop);
        // A selection too short to have two crossings keeps its ends.
        if (a < b && (a != selStart || b != selStop)) {
            selStart = a;
            selStop = b;
            RedrawAll();
        }
        selected = true;
        RaiseSelect();
    }
    AnnounceWaveState(*this);
    if (restartPending_) {
        restartPending_ = false;
        RestartPlayback(false);
    }
}
