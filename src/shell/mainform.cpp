#include "mainform.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolBar>
#include <QSessionManager>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <exception>
#include <vector>

#include "apperror.h"
#include "closingflow.h"
#include "commands.h"
#include "displaycolors.h"
#include "dialogs/encodesettings.h"
#include "durationtext.h"
#include "dialogs/mpegsettings.h"
#include "historycap.h"
#include "jobcontrol.h"
#include "keys.h"
#include "layoutfit.h"
#include "languagecontroller.h"
#include "messages.h"
#include "player.h"
#include "recorder.h"
#include "settings.h"
#include "shelldialogs.h"
#include "shelltexts.h"
#include "timetext.h"
#include "vumeter.h"
#include "version.h"
#include "wavfile.h"
#include "waveview.h"

namespace {

// The progress bar's place in the tab row, in logical pixels.
constexpr int kProgressLeft = 64;
constexpr int kProgressTop = 4;
constexpr int kProgressHeight = 12;
constexpr int kProgressMs = 50;
constexpr int kVizMs = 10;
// The scroll bar stays usable while the document is at least this many frames longer than a page.
constexpr int64_t kScrollSlack = 100;
constexpr int kMsEditChars = 12;  // "mmmmm:ss.zzz": shorter minutes are padded at the front
// Space between the progress bar and the Cancel button, in logical pixels.
constexpr int kCancelGap = 6;
// A load in progress is redrawn at most this often (milliseconds).
constexpr qint64 kLoadRedrawMs = 100;
}  // namespace

Tmainform::Tmainform(const TMainOptions& options) {
    setObjectName(QStringLiteral("mainform"));
    // Creation, in the design's order. The window is double-buffered by Qt already.
    ownDialogs_ = options.dialogs ? nullptr : std::make_unique<TDesktopDialogs>(this);
    dialogs_ = options.dialogs ? options.dialogs : ownDialogs_.get();
    notifier_ = std::make_unique<TDesktopNotifier>(dialogs_);
    notifier_->onStatus = [this](const QString& m) { statusBar()->showMessage(m, 8000); };

    document_ = std::make_unique<Twavefile>(notifier_.get(), &clipboard_);
    document_->OnReady = [this](Twavefile*) { onReady(); };
    document_->OnAction = [this](Twavefile*, bool u, bool r) { OnAction(u, r); };
    document_->OnLoaded = [this](Twavefile*) { onLoaded(); };
    document_->OnMp3Settings = [this](Twavefile* doc) -> std::optional<TMp3Choices> {
        if (!mpegsettings_) return std::nullopt;
        mpegsettings_->FormActivate(doc->SampleRate());
        if (!dialogs_->Run(*mpegsettings_)) return std::nullopt;
        return mpegsettings_->Choices();
    };
    document_->OnEncodeSettings = [this](Twavefile*,
                                         TEncodeFormat format) -> std::optional<TEncodeSettings> {
        if (!encodesettings_) return std::nullopt;
        encodesettings_->FormActivate(format);
        if (!dialogs_->Run(*encodesettings_)) return std::nullopt;
        return encodesettings_->Settings();
    };

    Settings = LoadSettings();
    Settings.savetype = 0;

    backend_ = options.backend;
    view_ = new TWaveView(nullptr, options.backend);
    view_->setObjectName(QStringLiteral("WaveView"));
    commands_ = std::make_unique<TCommands>(*this);
    closingFlow_ = std::make_unique<TClosingFlow>(*this);
    BuildLayout();
    recorder_ = std::make_unique<TRecorder>(*this);
    recorder_->OnFinished = [this] {
        commands_->SetRecording(false);
        SetSelectionState(view_->selected);
        ClipboardChanged();
        commands_->SetPlayState(playing_);
        RefreshCaption();
    };

    setAcceptDrops(true);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { ClipboardChanged(); });
    ClipboardChanged();

    LoadDisplayColors(Settings);
    SetScaleFormat(Settings.selectiontype == 0);
    commands_->CheckSpectrogram();

    // Undo and Redo show each version as it was left.
    document_->OnSaveView = [this](Twavefile*) { return view_->ViewState(); };
    document_->OnRestoreView = [this](Twavefile*, const TViewState& state) {
        view_->RestoreView(state);
    };

    view_->SetScrollBar(scroll_);
    view_->OnCursor = [this](TWaveView*, int64_t f, int64_t ms) { onCursor(f, ms); };
    view_->OnSelect = [this](TWaveView*, int64_t s, int64_t e, int64_t sm, int64_t em,
                             bool on) { onSelect(s, e, sm, em, on); };
    view_->OnPlayStatus = [this](bool action) { playprocess(action); };
    view_->OnMoveMarker = [this](size_t i, int64_t s, int64_t e) { commands_->MoveMarker(i, s, e); };
    view_->OnRenameMarker = [this](size_t i) { commands_->MarkersActionExecute(int(i)); };
    view_->setFocusPolicy(Qt::StrongFocus);
    view_->installEventFilter(this);
    view_->msScale = Settings.selectiontype == 0;
    view_->RedrawAll();

    volumeBar_->setValue(std::clamp(Settings.volume, volumeBar_->minimum(), 0));
    VolumeBarChange();

    setWindowTitle(QStringLiteral("Orvane"));
    InstallKeys(*this);
    BuildTranslation();
    FitToTexts(*this);
    // Placed at the size its texts need.
    PlaceWindow();

    connect(&progressTimer_, &QTimer::timeout, this, [this] { ProgressTimerTimer(); });
    progressTimer_.start(kProgressMs);
    connect(&vizTimer_, &QTimer::timeout, this, [this] { VizTimerTimer(); });
    vizTimer_.setInterval(kVizMs);

    // Every way the session ends goes through the same closing flow.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!isVisible() || settingsWritten_) return;
        if (manager.allowsInteraction()) {
            const bool closed = close();
            manager.release();
            if (!closed) manager.cancel();
        }
    });

    const QString file = options.arguments.size() == 1 ? options.arguments.constFirst() : QString();
    if (options.offerRecovery) {
        // Once the window is up: the offer's question needs the event loop.
        QTimer::singleShot(0, this, [this, file] {
            if (!closingFlow_->OfferRecovery() && !file.isEmpty()) openfile(file);
        });
    } else if (!file.isEmpty()) {
        openfile(file);
    }
}

Tmainform::~Tmainform() {
    // Nothing is asked or started any more, and the document calls nothing of the window while
    // it winds down: the running job is cancelled and its hand-overs served while every part
    // of the window is still whole.
    closingFlow_->Stop();
    OnFirstPaint = nullptr;
    OnFirstWavePaint = nullptr;
    OnFirstWavePixels = nullptr;
    progressTimer_.stop();
    vizTimer_.stop();
    recorder_.reset();
    document_->OnReady = nullptr;
    document_->OnAction = nullptr;
    document_->OnLoaded = nullptr;
    document_->OnMp3Settings = nullptr;
    document_->OnSaveView = nullptr;
    document_->OnRestoreView = nullptr;
    // A take is the user's work: ended by a signal, it ends with what came and stays in the
    // session for recovery, as after a kill. Any other job is cancelled.
    const bool takeRunning = document_->Recording();
    if (takeRunning)
        document_->StopRecording();
    else
        document_->Cancel();
    while (document_->Busy()) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QThread::msleep(2);
    }
    // The extras refer to the window and the document; the view (and its player) go before
    // the document they read.
    extras_.reset();
    delete view_;
    view_ = nullptr;
    // Closing would take the session, and with it the take, which nobody was asked about.
    if (!(terminated_ && takeRunning)) document_->Close();
    document_.reset();
}

void Tmainform::AdoptExtras(std::unique_ptr<TShellDialogs> extras) {
    extras_ = std::move(extras);
}

bool Tmainform::Loaded() const {
    return document_->Ready() && document_->Store() != nullptr;
}

bool Tmainform::Shown() const {
    return document_->Showable() && document_->Store() != nullptr;
}

void Tmainform::LoadStarting() {
    openClock_.start();
    loadPoll_.invalidate();
    pixelsPending_ = true;
    showingLoad_ = false;
}

void Tmainform::FollowLoad() {
    // A take that makes a new sound shows itself (the recorder).
    if (document_->Recording()) return;
    // Every tick until something shows, then about ten times a second.
    if (!document_->Loading() || (showingLoad_ && loadPoll_.isValid() && loadPoll_.elapsed() < kLoadRedrawMs))
        return;
    loadPoll_.start();
    const int64_t before = document_->Frames();
    if (!document_->PollLoad()) return;
    if (!showingLoad_) {
        showingLoad_ = true;
        commands_->SetLoading(true);
        commands_->SetPlayState(playing_);
        view_->AttachDocument(document_.get());
    } else {
        view_->LoadGrew(before);
    }
    ShowDocumentFields();
}

// --- operations ------------------------------------------------------------------------------

QString Tmainform::PositionText(int64_t frames, int64_t ms) const {
    return Settings.selectiontype == 0 ? mstotime(ms) : QString::number(frames);
}

void Tmainform::WritePosition(QLineEdit* edit, int64_t frames, int64_t ms) {
    QString text = PositionText(frames, ms);
    // Unused minute places of the mask are blanks in front, as the shape shows them.
    if (Settings.selectiontype == 0) text = text.rightJustified(kMsEditChars, QLatin1Char(' '));
    edit->setText(text);
}

void Tmainform::openfile(const QString& name) {
    closingFlow_->Open(name);
}

QString Tmainform::StartFolder() const {
    return history_.StartFolder(Loaded() ? document_->FileName() : QString());
}

QString Tmainform::SaveProposal() const {
    return history_.SaveProposal(Loaded() ? document_->FileName() : QString());
}

void Tmainform::SavingAs(const QString& name) {
    history_.Opened(name);
    commands_->UpdateRecentFiles();
}

void Tmainform::updatecaption(const QString& name) {
    // Open and Save As both name the document through here: its folder is the last one used.
    history_.UsedFolder(name);
    const QString mark = document_->Modified() ? QStringLiteral("*") : QString();
    const QString caption = mark + QFileInfo(name).fileName() + QStringLiteral(" - Orvane");
    QGuiApplication::setApplicationDisplayName(caption);
    setWindowTitle(caption);
}

void Tmainform::RefreshCaption() {
    if (!document_->FileName().isEmpty()) return updatecaption(document_->FileName());
    // A sound of no file yet (a new take): named as the recovery offer names one.
    if (!Loaded()) return;
    const QString caption = QStringLiteral("*") + MsgText("untitled") + QStringLiteral(" - Orvane");
    QGuiApplication::setApplicationDisplayName(caption);
    setWindowTitle(caption);
}

void Tmainform::ShowNoDocument() {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Orvane"));
    setWindowTitle(QStringLiteral("Orvane"));
    for (QLabel* panel : panels_) panel->clear();
    timedisplay_->setText(mstotime(0));
    SetSelectionState(false);
    commands_->ForgetSteps();
    commands_->SetUndoState(false, false);
    commands_->PlayAction->setEnabled(false);
    commands_->StopAction->setEnabled(false);
}

void Tmainform::SetSelectionState(bool selected) {
    commands_->SetSelectionState(selected);
}

void Tmainform::selClick() {
    if (!Shown()) return;
    const bool on = sel_->isChecked();
    int64_t start = 0, stop = 0;
    const int64_t frames = document_->Frames();
    const auto toFrames = [&](const QString& text) {
        return view_->MsToSamples(std::max<int64_t>(timetoms(text), 0));
    };
    try {
        if (Settings.selectiontype == 0) {
            start = toFrames(selstart_->text());
            stop = toFrames(selstop_->text());
        } else {
            start = StrToInt64(selstart_->text());
            stop = StrToInt64(selstop_->text());
        }
    } catch (const std::exception& e) {
        // The general error report; the selection stays as it was.
        sel_->setChecked(view_->selected);
        dialogs_->Error(QString::fromStdString(e.what()));
        return;
    }
    // Typed bounds are put in order and kept inside the document before the view gets them.
    if (start > stop) std::swap(start, stop);
    start = std::clamp<int64_t>(start, 0, frames);
    stop = std::clamp<int64_t>(stop, 0, frames);
    view_->SetSelection(start, stop, on);
    SetSelectionState(on);
}

void Tmainform::VolumeBarChange() {
    view_->Player().SetVolume(VolumeForPosition(volumeBar_->value()));
}

void Tmainform::SetScaleFormat(bool milliseconds) {
    commands_->CheckScaleFormat(milliseconds);
    Settings.selectiontype = milliseconds ? 0 : 1;
    SetEditShape();
    if (milliseconds) {
        if (Loaded()) {
            WritePosition(selstart_, view_->selStart, view_->SamplesToMs(view_->selStart));
            WritePosition(selstop_, view_->selStop, view_->SamplesToMs(view_->selStop));
        } else {
            WritePosition(selstart_, 0, 0);
            WritePosition(selstop_, 0, 0);
        }
        panels_[1]->setText(MsgText("cursorpositionstring") + ' ' + mstotime(view_->cursorMs));
    } else {
        selstart_->setText(QString::number(view_->selStart));
        selstop_->setText(QString::number(view_->selStop));
        panels_[1]->setText(MsgText("cursorpositionstring") + ' ' +
                            QString::number(view_->cursor));
    }
    view_->msScale = milliseconds;
    view_->RedrawAll();
}

// --- document events ---------------------------------------------------------------------------

void Tmainform::onReady() {
    // After a take the view shows the document again before anything reads it.
    recorder_->JobEnded();
    const int64_t frames = document_->Frames();
    if (scroll_->pageStep() > 0 && int64_t(scroll_->pageStep()) > frames) {
        scroll_->setPageStep(int(frames));
    }
    // Also sets the scroll bar's range to the document's length.
    view_->RedrawAll();
    // A load that failed or was cancelled leaves nothing to show; a failed edit leaves the
    // earlier versions.
    if (Loaded() || document_->CanUndo()) {
        ShowDocumentFields();
        RefreshCaption();
    } else {
        ShowNoDocument();
    }
    progressBar_->setValue(0);
    progressBar_->hide();
    jobs_->Update();
    // A load that showed itself and then failed or was cancelled.
    if (std::exchange(showingLoad_, false)) {
        commands_->SetLoading(false);
        SetSelectionState(false);
        ClipboardChanged();
    }
    // Only edits grow the history. Its check asks a question: not inside the end of the job.
    const int32_t op = document_->Operation();
    if (op >= opCut && op != opCopy && op != opMeasureLoudness && op != opNoiseProfile &&
        op != opExportRegions && op != opPreview)
        QTimer::singleShot(0, this, [this] { CheckHistoryCap(); });
    // After the document has finished its job (its end is still running here): a request
    // waiting for it goes on once the document is idle.
    QTimer::singleShot(0, this, [this] {
        if (document_->Operation() == opLoad && !document_->Ready() && !document_->Busy()) {
            document_->Close();
        }
        closingFlow_->JobEnded();
    });
}

void Tmainform::ShowDocumentFields() {
    panels_[0]->setText(MsgText("formatstring") + ' ' +
                        MsgText("formatvalue").arg(document_->SampleRate()).arg(document_->Channels()));
    // The level is known once the whole sound is in.
    if (document_->Loading())
        panels_[2]->clear();
    else
        panels_[2]->setText(MsgText("amplitudestring") + ' ' +
                            MsgText("unitdb").arg(document_->Level()));
    panels_[3]->setText(MsgText("durationstring") + ' ' + DurationText(document_->Duration()));
}

void Tmainform::onLoaded() {
    if (document_->NotPcm()) return;
    commands_->ForgetSteps();
    commands_->SetUndoState(document_->CanUndo(), document_->CanRedo());
    commands_->SetPlayState(playing_);
    history_.Opened(document_->FileName());
    commands_->UpdateRecentFiles();
    if (std::exchange(showingLoad_, false)) {
        commands_->SetLoading(false);
        SetSelectionState(view_->selected);
        ClipboardChanged();
        view_->LoadEnded();
    } else {
        view_->AttachDocument(document_.get());
    }
    wavePaintPending_ = true;
}

void Tmainform::OnAction(bool canUndo, bool canRedo) {
    commands_->SetUndoState(canUndo, canRedo);
    // A marker step or its undo changes no sound, only what is drawn over it.
    if (Loaded() && !document_->Busy()) view_->RedrawAll();
    // Edits, Undo and Redo change whether the sound on screen is the one on disk.
    RefreshCaption();
}

void Tmainform::CheckHistoryCap() {
    if (Settings.historylimit <= 0 || !Loaded() || document_->Busy()) return;
    const int64_t cap = int64_t(Settings.historylimit) * kHistoryLimitUnit;
    const int32_t count = StepsPastCap(*document_, cap);
    if (count <= 0) return;
    const QString text = MsgText("historycap")
                             .arg(DiskSizeText(document_->HistoryBytes()))
                             .arg(Settings.historylimit)
                             .arg(count);
    if (dialogs_->Ask(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
        QMessageBox::Yes) {
        document_->DropOldestSteps(count);
    }
}

// --- view events -------------------------------------------------------------------------------

void Tmainform::onSelect(int64_t start, int64_t stop, int64_t startms, int64_t stopms,
                         bool selected) {
    if (selected) {
        WritePosition(selstart_, start, startms);
        WritePosition(selstop_, stop, stopms);
    }
    SetSelectionState(selected);
    sel_->setChecked(selected);
}

void Tmainform::onCursor(int64_t position, int64_t positions) {
    panels_[1]->setText(MsgText("cursorpositionstring") + ' ' +
                        PositionText(position, positions));
    timedisplay_->setText(mstotime(positions));
}

void Tmainform::playprocess(bool action) {
    playing_ = action;
    if (action) {
        vizTimer_.start();
    } else {
        vizTimer_.stop();
    }
    commands_->SetPlayState(action);
    if (!action) meter_->ResetMeter();
}

// --- timers and the clipboard ------------------------------------------------------------------

void Tmainform::ProgressTimerTimer() {
    FollowLoad();
    const int progress = document_->Progress();
    if (progress > 0) progressBar_->show();
    progressBar_->setValue(progress);
    jobs_->Update();
    // The bar's page is the visible span (the bar itself may count in halved units).
    const int64_t page = std::min(view_->viewSpan, document_->Frames());
    const bool usable = int64_t(document_->Frames()) - kScrollSlack >= page;
    scroll_->setEnabled(usable && !view_->ShowingTake());
}

void Tmainform::VizTimerTimer() {
    const uint16_t channels = std::max<uint16_t>(document_->Channels(), 1);
    std::vector<int16_t> levels(channels, 0);
    view_->GetLevels(levels);
    meter_->SetLevels(levels);
}

void Tmainform::ClipboardChanged() {
    commands_->SetPasteState(clipboard_.HasWave());
}

// --- closing -----------------------------------------------------------------------------------

bool Tmainform::FormCloseQuery() {
    return closingFlow_->MayExit();
}

void Tmainform::FormClose() {
    Settings.posx = pos().x();
    Settings.posy = pos().y();
    Settings.width = width();
    Settings.height = height();
    Settings.lang = ActiveLanguageId();
    Settings.volume = volumeBar_->value();
    if (document_->Progress() != 0) return;
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    progressTimer_.stop();
    vizTimer_.stop();
    SaveSettings(Settings);
    settingsWritten_ = true;
}

void Tmainform::Terminate() {
    terminated_ = true;
    closingFlow_->Stop();
    if (!settingsWritten_) FormClose();
    settingsWritten_ = true;
    hide();
    QCoreApplication::quit();
}

void Tmainform::closeEvent(QCloseEvent* event) {
    if (settingsWritten_) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

// --- desktop events ----------------------------------------------------------------------------

void Tmainform::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data && data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void Tmainform::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (!data || !data->hasUrls() || data->urls().isEmpty()) return;
    const QUrl first = data->urls().constFirst();
    if (!first.isLocalFile()) return;
    event->acceptProposedAction();
    // Opened after the drop has ended, so the source is not held up by the load's questions.
    const QString path = first.toLocalFile();
    QTimer::singleShot(0, this, [this, path] { openfile(path); });
}

void Tmainform::wheelEvent(QWheelEvent* event) {
    WindowWheel(*this, event, wheelRemainder_);
}

void Tmainform::changeEvent(QEvent* event) {
    // The clipboard is handed only to the focused window on some desktops: look again.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) ClipboardChanged();
    QMainWindow::changeEvent(event);
}

bool Tmainform::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == progressBar_->parentWidget()) {
        // The Cancel button at the right end of the tab row, the bar between tab and button.
        QPushButton* cancel = jobs_->Button();
        const QSize button = cancel->sizeHint();
        const int right = progressBar_->parentWidget()->width() - 2 * kProgressTop;
        cancel->setGeometry(right - button.width(), 2, button.width(), button.height());
        const int width = right - button.width() - kCancelGap - kProgressLeft;
        const int top = 2 + std::max(0, (button.height() - kProgressHeight) / 2);
        progressBar_->setGeometry(kProgressLeft, top, std::max(width, 0), kProgressHeight);
        progressBar_->raise();
        cancel->raise();
    }
    if (event->type() == QEvent::KeyPress && watched == view_ &&
        WaveKey(*this, static_cast<QKeyEvent*>(event)))
        return true;
    if (event->type() == QEvent::Paint && watched == view_) {
        if (!windowPainted_) {
            windowPainted_ = true;
            if (OnFirstPaint) QTimer::singleShot(0, this, [this] {
                if (OnFirstPaint) OnFirstPaint();
            });
        }
        if (pixelsPending_ && (Loaded() || document_->LoadedFrames() > 0) &&
            (Loaded() || document_->Loading())) {
            pixelsPending_ = false;
            const double seconds = openClock_.isValid() ? openClock_.nsecsElapsed() / 1e9 : 0;
            if (OnFirstWavePixels) QTimer::singleShot(0, this, [this, seconds] {
                if (OnFirstWavePixels) OnFirstWavePixels(seconds);
            });
        }
        if (wavePaintPending_ && Loaded()) {
            wavePaintPending_ = false;
            if (OnFirstWavePaint) QTimer::singleShot(0, this, [this] {
                if (OnFirstWavePaint) OnFirstWavePaint();
            });
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
