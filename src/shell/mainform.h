#pragma once
// Tmainform: the program's one top-level window. It owns the document and the waveform view,
// lays out the menu bar, the toolbar "Operations", the view with its scroll bar, the bottom
// panel (selection edits, cursor time, level meter, volume) and the four status panels, and
// turns the document's and the view's events into what the user sees. The commands themselves
// live in TCommands (commands.h); this class keeps the layout, the events, the timers and the
// closing flow.
//
// Thread: user-interface thread only. Positions are frame numbers, times milliseconds.

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "clipboard.h"
#include "filehistory.h"
#include "settings.h"
#include "userdialogs.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QSlider;
class TAudioBackend;
class TClosingFlow;
class TCommands;
class TJobControl;
class TLanguageController;
class TRecorder;
class TShellDialogs;
class TVUMeter;
class TWaveView;
class Tfilterform;
class Tmpegsettings;
class Tencodesettings;
class Twavefile;

struct TMainOptions {
    // File arguments of the command line; exactly one is opened, any other count opens nothing.
    QStringList arguments;
    // The sound output for the view's player; SDL's when null.
    std::shared_ptr<TAudioBackend> backend;
    // Message boxes and file dialogs; the real ones when null (not owned).
    TUserDialogs* dialogs = nullptr;
    // Offer back the sessions of runs that ended unexpectedly before opening `arguments`.
    bool offerRecovery = false;
};

class Tmainform : public QMainWindow {
public:
    // Runs the whole creation step: settings, document, layout, view, volume, and the load of
    // the command-line file (a background job whose end arrives once the event loop runs).
    explicit Tmainform(const TMainOptions& options = {});
    ~Tmainform() override;

    // --- operations other parts call ---
    // Opens name into the document (asks to save the current one first).
    void openfile(const QString& name);
    // Caption and application title "name.ext - Orvane", "*name.ext - Orvane" while the
    // document has changes that are not on disk.
    void updatecaption(const QString& name);
    // The caption again from the document's name and modified flag.
    void RefreshCaption();
    // Applies the selection edits (the "Selected" box's click).
    void selClick();
    // Applies the volume slider to the player.
    void VolumeBarChange();
    // The scale-format switch: milliseconds (true) or samples (false).
    void SetScaleFormat(bool milliseconds);
    // Cut, Copy, Delete and Save Selected As follow whether a selection exists.
    void SetSelectionState(bool selected);
    // Empties the caption back to the product name and clears the status panels.
    void ShowNoDocument();

    // The dialogs created once at start (not owned: they are children of this window).
    void SetMpegSettings(Tmpegsettings* dialog) { mpegsettings_ = dialog; }
    void SetEncodeSettings(Tencodesettings* dialog) { encodesettings_ = dialog; }
    void SetFilterForm(Tfilterform* dialog) { filterform_ = dialog; }
    Tmpegsettings* MpegSettings() const { return mpegsettings_; }
    Tencodesettings* EncodeSettings() const { return encodesettings_; }
    Tfilterform* FilterForm() const { return filterform_; }
    // The File, Tools and Help extras, kept until the document has wound down and destroyed
    // before the window's own parts.
    void AdoptExtras(std::unique_ptr<TShellDialogs> extras);

    // --- parts, for the commands and for tests ---
    Twavefile& Document() const { return *document_; }
    TWaveView& View() const { return *view_; }
    // The sound output the window plays through (null: SDL's), for the effect dialogs' previews.
    const std::shared_ptr<TAudioBackend>& Backend() const { return backend_; }
    TVUMeter& Meter() const { return *meter_; }
    QScrollBar& Scroll() const { return *scroll_; }
    QLineEdit* selstart() const { return selstart_; }
    QLineEdit* selstop() const { return selstop_; }
    QCheckBox* sel() const { return sel_; }
    QLabel* timedisplay() const { return timedisplay_; }
    QSlider* VolumeBar() const { return volumeBar_; }
    QProgressBar* ProgressBar() const { return progressBar_; }
    QLabel* Panel(int index) const { return panels_.at(size_t(index)); }
    TCommands& Commands() const { return *commands_; }
    TRecorder& Recorder() const { return *recorder_; }
    // The recent files and the folder the file dialogs start in (kept in Settings).
    TFileHistory& History() { return history_; }
    // Where Open and Save As start: the open file's folder, else the last one used.
    QString StartFolder() const;
    // What Save As proposes: the open file's name, else the start folder.
    QString SaveProposal() const;
    // A save under a new name started: the file joins the recent files like an opened one.
    void SavingAs(const QString& name);
    TJobControl& Jobs() const { return *jobs_; }
    TUserDialogs& Dialogs() const { return *dialogs_; }
    TClosingFlow& ClosingFlow() const { return *closingFlow_; }
    bool Playing() const { return playing_; }
    bool Loaded() const;
    // A sound on screen that can be played and selected: loaded, or still loading.
    bool Shown() const;
    // Just before the document starts loading a file.
    void LoadStarting();
    // The selection edits' text for a position in the current scale format.
    QString PositionText(int64_t frames, int64_t ms) const;
    // Writes a position into a selection edit in the current scale format.
    void WritePosition(QLineEdit* edit, int64_t frames, int64_t ms);
    // Ends the program without questions (a termination signal): unsaved changes are lost,
    // the settings are written and the event loop ends.
    void Terminate();
    // Runs the closing flow's question part; true when the window may close.
    bool FormCloseQuery();
    // Whether the settings have been written (once, when the window closed).
    bool SettingsWritten() const { return settingsWritten_; }
    TLanguageController* Translation() const { return translation_.get(); }

    // Called once the waveform of a loaded document has first been painted.
    std::function<void()> OnFirstWavePaint;
    // Called when the window is first painted, document or not.
    std::function<void()> OnFirstPaint;
    // Called once per load when the view has first been painted with some of its waveform
    // (during the load, or at its end): the seconds since the load was asked for.
    std::function<void(double seconds)> OnFirstWavePixels;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    QWidget* BuildBottomPanel();
    void BuildTranslation();
    // Texts composed from named messages and captions, again after a language change.
    void RefreshTexts();
    // Status panels 0, 2 and 3 from the document's fields.
    void ShowDocumentFields();
    void PlaceWindow();
    void SetEditShape();

    // Document events.
    void onReady();
    void onLoaded();
    void OnAction(bool canUndo, bool canRedo);
    // View events.
    // After a job has ended: offers to drop the oldest undo steps when the history is past
    // the settings' cap.
    void CheckHistoryCap();
    void onSelect(int64_t start, int64_t stop, int64_t startms, int64_t stopms, bool selected);
    void onCursor(int64_t position, int64_t positions);
    void playprocess(bool action);
    // Timers and the clipboard.
    void ProgressTimerTimer();
    void VizTimerTimer();
    void ClipboardChanged();
    void FormClose();

    TUserDialogs* dialogs_;
    std::unique_ptr<TDesktopDialogs> ownDialogs_;
    std::unique_ptr<TDesktopNotifier> notifier_;
    TDesktopClipboard clipboard_;
    std::unique_ptr<Twavefile> document_;
    TWaveView* view_ = nullptr;
    std::shared_ptr<TAudioBackend> backend_;
    TVUMeter* meter_ = nullptr;
    QScrollBar* scroll_ = nullptr;
    QLineEdit* selstart_ = nullptr;
    QLineEdit* selstop_ = nullptr;
    QCheckBox* sel_ = nullptr;
    QLabel* timedisplay_ = nullptr;
    QSlider* volumeBar_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    TJobControl* jobs_ = nullptr;
    std::array<QLabel*, 4> panels_{};
    std::unique_ptr<TCommands> commands_;
    std::unique_ptr<TRecorder> recorder_;
    TFileHistory history_{Settings};
    std::unique_ptr<TClosingFlow> closingFlow_;
    std::unique_ptr<TShellDialogs> extras_;
    std::unique_ptr<TLanguageController> translation_;
    Tmpegsettings* mpegsettings_ = nullptr;
    Tencodesettings* encodesettings_ = nullptr;
    Tfilterform* filterform_ = nullptr;
    QTimer progressTimer_;
    QTimer vizTimer_;
    bool playing_ = false;
    bool settingsWritten_ = false;
    // Ended by a signal: nobody was asked, so a running take stays in its session for recovery.
    bool terminated_ = false;
    bool closing_ = false;
    // The load whose waveform has not been painted yet.
    bool wavePaintPending_ = false;
    bool windowPainted_ = false;
    // The load in progress: whether the view shows it yet, when it was asked for, when it was
    // last looked at, and whether its first waveform pixels are still to come.
    bool showingLoad_ = false;
    QElapsedTimer openClock_;
    QElapsedTimer loadPoll_;
    bool pixelsPending_ = false;
    // Takes in what the load has decoded and shows it (the progress timer, throttled).
    void FollowLoad();
    int wheelRemainder_ = 0;
};
