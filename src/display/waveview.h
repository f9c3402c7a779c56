#pragma once
// TWaveView: the waveform control of the main window. It shows the open document through a
// TWaveRenderer, keeps the visible range in step with the main window's horizontal scroll bar,
// zooms around the cursor, places the cursor by mouse and keys, selects by dragging, and plays
// the selection (or from the cursor to the end) through the player it owns.
//
// Units: positions are frame numbers, times milliseconds (unsigned 32-bit, converted in single
// precision; milliseconds to frames gives 64 bits, since a long time at a high rate passes 2^32). The view refers to the document and the scroll bar without owning them; the
// document must outlive the view. Thread: user-interface thread only; the player's position and
// status notifications arrive there too. Events are called only when set.

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "spectrum.h"
#include "waverender.h"

class QScrollBar;
class Twavefile;
class TPlayer;
struct TViewState;
class TAudioBackend;
class TSpectrogram;
class QTimer;

class TWaveView : public QWidget, public TWaveState {
public:
    using TSelectEvent = std::function<void(TWaveView* sender, int64_t start, int64_t stop,
                                            int64_t startms, int64_t stopms, bool selected)>;
    using TCursorEvent =
        std::function<void(TWaveView* sender, int64_t position, int64_t positions)>;
    using TPlayStatus = std::function<void(bool action)>;
    // The cursor frame, not QWidget's mouse pointer shape (QWidget::cursor() stays reachable).
    using TWaveState::cursor;

    // Creates the player on `backend` (SDL's output when null). Size 698 x 250.
    explicit TWaveView(QWidget* parent = nullptr, std::shared_ptr<TAudioBackend> backend = nullptr);
    ~TWaveView() override;

    // --- events ---
    TSelectEvent OnSelect;
    TCursorEvent OnCursor;
    TPlayStatus OnPlayStatus;
    // The receiver's own handlers, called before the view's handling.
    std::function<void(QKeyEvent*)> OnKeyDown;
    std::function<void(QMouseEvent*)> OnMouseDown, OnMouseMove, OnMouseUp;
    std::function<void()> OnResize;
    // A marker dragged along the wave (its new start and end: a region keeps the edge not
    // dragged), and a marker double-clicked; the receiver makes the marker step. The index is
    // the marker's in the document's list.
    std::function<void(size_t index, int64_t start, int64_t end)> OnMoveMarker;
    std::function<void(size_t index)> OnRenameMarker;

    // --- operations ---
    // Shows a freshly loaded document whole, cursor at 0, no selection.
    void AttachDocument(Twavefile* document);
    // During a load, after the document took in more (PollLoad): `before` was its length
    // until then. Redraws, keeping zoom, cursor and selection.
    void LoadGrew(int64_t before);
    // After the load the view showed has ended: keeps zoom, cursor and selection inside the
    // final length.
    void LoadEnded();
    // While a take runs: the view shows `take` (the take's waveform as it grows, on a canvas at
    // least kTakeCanvasSeconds and a peak block per column wide, and its dropouts) instead of the
    // document, and takes no mouse, key or zoom; null shows the document again with the cursor,
    // selection and visible range it had. Attaching a document ends it too. `take` is copied; what
    // it points to must stay valid while shown.
    void ShowTake(const TWaveSource* take);
    bool ShowingTake() const { return take_.has_value(); }
    static constexpr int kTakeCanvasSeconds = 10;
    // Stops playback and closes the document, changes and all: whoever closes asks first.
    void CloseDocument();
    // --- for the commands ---
    bool HasSelection() const { return selected; }
    // The selection in order and inside the document.
    std::pair<int64_t, int64_t> OrderedSelection() const;
    int64_t CursorFrame() const { return cursor; }
    void ClearSelection() { selected = false; }
    // After `removed` frames were cut out: the visible range shrinks by as much.
    void ShrinkVisible(int64_t removed);
    void ZoomIn();
    void ZoomOut();
    void ZoomFull();
    // The main window's horizontal scroll bar (not owned; null detaches). The view sets its
    // range, page size, position and steps, and connects its valueChanged to ScrollToBar itself.
    void SetScrollBar(QScrollBar* bar);
    QScrollBar* ScrollBar() const { return scrollBar_; }
    void ScrollToBar();
    void SetCursor(int64_t frame);
    // Frames typed by the user; nothing is validated or clamped and no event is raised.
    void SetSelection(int64_t start, int64_t stop, bool selected);
    void SetSelectionMs(int64_t startMs, int64_t stopMs, bool selected);
    // Plays the selection, or from the cursor to the end.
    void Play();
    // Stops playback; always raises OnPlayStatus(false).
    void Stop();
    // The player's level readout, one value per channel (1 silence ... 128 full scale).
    void GetLevels(std::span<int16_t> levels);
    int64_t SamplesToMs(int64_t frames) const;
    int64_t MsToSamples(int64_t ms) const;
    // What the view shows (cursor, selection, visible range), for the document to keep with the
    // version being left; RestoreView shows such a state again, held inside the document's
    // length, and raises OnCursor and OnSelect.
    TViewState ViewState() const;
    void RestoreView(const TViewState& state);
    // Shows the spectrogram with `settings` instead of the waveform, or the waveform again.
    // Navigation, cursor and selection are the same in both.
    void ShowSpectrogram(bool on, const TSpectrumSettings& settings);
    bool SpectrogramShown() const { return renderer_.spectrogram != nullptr; }
    // Full redraw into the back buffer, then onto the screen.
    void RedrawAll();
    // Moves the drawn cursor only (no waveform redraw); nothing when its column is unchanged.
    void UpdateCursor();

    Twavefile* Document() const { return document_; }
    TPlayer& Player() { return *player_; }
    const TWaveRenderer& Renderer() const { return renderer_; }
    TWaveRenderer& Renderer() { return renderer_; }
    bool Dragging() const { return dragging_; }
    bool Playing() const;
    // The scroll bar's large step (50 small steps); Qt's page step holds the view's size.
    int32_t LargeStep() const { return largeStep_; }

    // --- fields read by the main window (besides those of TWaveState) ---
    int64_t cursorMs = 0;        // the cursor in milliseconds
    int64_t anchor = 0;          // frame at which the current mouse selection began
    int64_t playBase = 0;        // frame at which the current playback began; 0 when stopped

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // The marker whose line lies within a few pixels of `x` (edge 1: a region's end), or -1.
    struct TMarkerHit {
        int index = -1;
        int edge = 0;
    };
    TMarkerHit MarkerAt(int x) const;
    // The marker part of a press (waveview_markers.cpp): true when it took the press, a grab
    // of a marker or a click on a region's band that selects the region.
    bool PressOnMarker(int x, int y);
    bool ReleaseMarker(int x);

    TWaveSource Source() const;
    bool Loaded() const;
    void SetScrollSteps(bool minimumOne);
    void SetScrollPage();
    void CentreOnCursor();
    int64_t FrameAt(int x) const;
    // With the snapping setting on, the nearest zero crossing within 10 ms of `frame`.
    int64_t Snapped(int64_t frame) const;
    int LimitX(int x) const;
    void PlayerPosition(int64_t bytes);
    void RestartPlayback(bool stopFirst);
    // Selects from..to (either order), raises OnSelect and the accessible events.
    void ExtendSelection(int64_t from, int64_t to);
    // Raises OnSelect with the selection as it is now, and remembers what was told.
    void RaiseSelect();
    // Raises OnSelect when the selection differs from what was last told: a command that
    // changed it by its fields (an edit ends the selection) is followed by the next redraw or
    // cursor move.
    void FollowSelection();
    // Takes the selection as told without telling (changes whose caller shows them itself).
    void KeepSelectionTold();

    TWaveRenderer renderer_;
    // The take shown instead of the document, and what the view showed before it.
    std::optional<TWaveSource> take_;
    TWaveState beforeTake_;
    Tindexdata canvasPeaks_;  // a short take's peaks and silence to the canvas's end
    TSpectrogram* spectrogramBeforeTake_ = nullptr;
    // Made when first shown; its columns arrive from workers and are drawn in batches.
    std::unique_ptr<TSpectrogram> spectrogram_;
    QTimer* spectrumRedraw_ = nullptr;
    Twavefile* document_ = nullptr;
    QScrollBar* scrollBar_ = nullptr;
    std::unique_ptr<TPlayer> player_;
    bool dragging_ = false;
    TMarkerHit markerDrag_;  // the marker being dragged, index -1 for none
    int downX_ = 0;
    int bandX_ = 0;
    bool restartPending_ = false;
    bool settingBar_ = false;  // the view itself is moving the scroll bar
    int32_t largeStep_ = 0;    // the scroll bar's large step, kept for its record
    // The selection as OnSelect last told it.
    bool toldSelected_ = false;
    int64_t toldStart_ = 0, toldStop_ = 0;
};
