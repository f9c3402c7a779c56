#pragma once
// TCommands: every command of the main window as one QAction (caption, shortcut, icon, enabled
// state, handler), shown by reference in the menu bar, the toolbar and the view's context menu,
// so enabling one enables it everywhere. The handlers are short: they call the document, the
// view and the window's own operations. A failure inside a handler is shown by the general
// error report and ends the command.
//
// Thread: user-interface thread only. Positions are frame numbers.

#include "markers.h"
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "stepnames.h"
#include "waveview.h"
#include "wavfile.h"

class QAction;
class QDialog;
class TEffectPreview;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;
class Tmainform;
class TEffectDialog;
class TEqDialog;
class TNoiseDialog;
struct TFilterSettings;

class TCommands {
public:
    explicit TCommands(Tmainform& form);

    void BuildMenus(QMenuBar* bar);
    QToolBar* BuildToolBar(QWidget* parent);
    void BuildContextMenu(QWidget* view);

    // --- enabled states, as the window's events set them ---
    void SetSelectionState(bool selected);
    // Also names Undo and Redo after the steps they take back and do again.
    void SetUndoState(bool canUndo, bool canRedo);
    // A new document (or none): the steps' names are forgotten.
    void ForgetSteps() { steps_.Clear(); }
    // After a language change: Undo and Redo composed again from their new captions.
    void TextsChanged();
    void SetPasteState(bool available);
    void SetPlayState(bool playing);
    // While a load shows its sound as it comes, only what reads it works (navigation,
    // selection, playback); whatever would change or save it waits for the end.
    void SetLoading(bool loading);
    // While a take runs: only Stop, Pause and what reads nothing of the sound work.
    void SetRecording(bool recording);
    void CheckScaleFormat(bool milliseconds);
    // The spectrogram entries from the settings, and the view shown as they say.
    void CheckSpectrogram();

    // Save to the document's own file; Save As for a file whose format cannot be written.
    // Returns whether a save started.
    bool SaveOwnFile();

    // --- handlers ---
    void OpenActionExecute();
    void CloseActionExecute();
    void SaveActionExecute();
    void SaveAsActionExecute();
    void SaveSelectedActionExecute();
    void ExitActionExecute();
    void UndoActionExecute();
    void RedoActionExecute();
    void CutActionExecute();
    void CopyActionExecute();
    void PasteActionExecute();
    void DeleteActionExecute();
    void SelectAllActionExecute();
    void DeselectAllActionExecute();
    void PlayActionExecute();
    void PauseActionExecute();
    void StopActionExecute();
    // A take (recorder.h): at the cursor, over the selection or as a new sound; or at the end.
    void RecordActionExecute(bool append);
    void MonitorActionExecute();
    void FadeInActionExecute();
    void FadeOutActionExecute();
    void SilenceActionExecute();
    void NormalizationActionExecute();
    void ReverseActionExecute();
    void InvertActionExecute();
    void AmplifyDActionExecute();
    void AmplifyIActionExecute();
    void LoudnessActionExecute();
    void TrimSilenceActionExecute();
    void ChannelsActionExecute(int which);  // 0 to mono, 1 to stereo, 2 swap
    // Markers (markercommands.cpp): a marker at the cursor (the play position while playing),
    // a region from the selection, the cursor to the previous or next marker, the list.
    void AddMarkerActionExecute();
    void AddRegionActionExecute();
    void JumpToMarker(bool next);
    // `row` >= 0: that marker's name opened for editing.
    void MarkersActionExecute(int row = -1);
    // A marker dragged in the view to [start, end].
    void MoveMarker(size_t index, int64_t start, int64_t end);
    // File -> Export Regions: asks where and how, asks about files in the way, and lists the
    // files written once the document is done.
    void ExportRegionsActionExecute();
    // A marker step named after `command` (one of the marker commands): the document's markers
    // become `marks`, and the view shows them.
    void MarkerStep(QAction* command, TMarkerList marks);
    // cleanuphandlers.cpp: the filter effects and noise reduction.
    void FilterActionExecute(const char* effect, const char* titleKey);
    void EqualizerActionExecute();
    void NoiseProfileActionExecute();
    void NoiseReductionActionExecute();

    // The dialogs and helpers of other parts, set by the program's start-up. Each runs only
    // when set.
    std::function<void()> OnProperties, OnSettings, OnContents, OnUpdate, OnAbout;

    // The open dialog's filters and the save dialog's types.
    static QStringList OpenFilters();
    static QStringList SaveFilters();
    static QStringList SaveSuffixes();

    QList<QAction*> Actions() const { return actions_; }
    QAction* Find(const QString& objectName) const;
    QMenu* ToolsMenu() const { return toolsMenu_; }
    // File -> Recent Files again from the window's file history (Ctrl+1..8 follow it).
    void UpdateRecentFiles();
    QList<QAction*> RecentActions() const { return recentActions_; }
    // The save dialog's type as last left (1-based).
    int SaveDialogType() const { return saveDialogType_; }

    QAction *OpenAction, *CloseAction, *SaveAction, *SaveAsAction, *SaveSelectedAction,
        *PropertiesAction, *SettingsAction, *ExitAction;
    QAction *ZoomInAction, *ZoomOutAction, *ZoomFullAction, *MsAction, *SmplAction;
    QAction *SpectrogramAction, *LogFrequencyAction;
    QAction *UndoAction, *RedoAction, *CutAction, *CopyAction, *PasteAction, *DeleteAction,
        *SelectAllAction, *DeselectAllAction;
    QAction *RecordAction, *AppendRecordAction, *MonitorAction;
    QAction *PlayAction, *PauseAction, *StopAction, *FadeInAction, *FadeOutAction,
        *SilenceAction, *NormalizationAction, *ReverseAction, *InvertAction, *AmplifyDAction,
        *AmplifyIAction;
    QAction *LoudnessAction, *TrimSilenceAction, *ToMonoAction, *ToStereoAction,
        *SwapChannelsAction;
    QAction *HighPassAction, *LowPassAction, *EqualizerAction, *CompressorAction, *LimiterAction,
        *TempoAction, *PitchAction, *SpeedAction, *NoiseProfileAction, *NoiseReductionAction;
    QAction *ContentsAction, *UpdateAction, *AboutAction;
    QAction *AddMarkerAction, *AddRegionAction, *PrevMarkerAction, *NextMarkerAction,
        *MarkersAction, *RenameMarkerAction, *DeleteMarkerAction, *MoveMarkerAction,
        *ExportRegionsAction;

private:
    QAction* Make(const char* name, const QString& caption, const QString& shortcut,
                  const char* icon, std::function<void()> handler);
    // Runs a hook of another part when it is set.
    void RunHook(const std::function<void()>& hook);
    // Runs a handler; a failure goes to the general error report. A command that needs an
    // idle document is refused with the "please wait" box while a job runs.
    void Guard(QAction* action, const std::function<void()>& handler);
    // What an effect makes of the dialog's value, for its Preview button.
    using TValueEffect = std::function<TPreviewEffect(int value)>;
    // Runs the effect parameter dialog; the value, or nothing when cancelled.
    // With `effect`, its Preview button plays that effect on PreviewRange().
    std::optional<int> AskParameter(const char* titleKey, const char* labelKey, int minimum,
                                    int maximum, int value, TValueEffect effect = {});
    // Runs `dialog` with its Preview button playing `effect` on PreviewRange(); whether it was
    // confirmed. The preview has ended when it returns, so the step may follow.
    bool RunWithPreview(QDialog& dialog, const std::function<void(TEffectPreview*)>& attach,
                        std::function<std::optional<TPreviewEffect>()> effect);
    // What an effect dialog's preview plays: the selection, or six seconds from the cursor.
    std::pair<int64_t, int64_t> PreviewRange();
    // Runs a filter effect over the selection, or the whole sound when there is none.
    void ApplyToSelection(const TFilterSettings& settings);
    // Save As's steps after the dialog; false when nothing was started.
    bool SaveAs();
    bool ConfirmOverwrite(const QString& name);
    // Cut and Delete shrink the page and the visible span by what they remove.
    void ShrinkView(int64_t removed);

    // Takes the spectrogram entries into the settings and shows the view as they say.
    void SpectrogramChanged();
    QList<QAction*> windowActions_;  // the FFT sizes, 256 ... 8192

    // Opens recent file `index`, or drops it from the list with a word when it is gone.
    void OpenRecentFile(int index);

    Tmainform& form_;
    QList<QAction*> actions_;
    QMenu* recentMenu_ = nullptr;
    QList<QAction*> recentActions_;
    QMenu* toolsMenu_ = nullptr;
    int saveDialogType_ = 1;
    // The effect dialogs, made on first use, and the values each effect was last run with.
    TEffectDialog* effectDialog_ = nullptr;
    TEqDialog* eqDialog_ = nullptr;
    TNoiseDialog* noiseDialog_ = nullptr;
    std::map<std::string, std::vector<double>> filterValues_;
    // The commands that change or read the sound, or replace the document.
    QList<QAction*> needIdle_;
    // Those that make a new version, and the version each has made.
    QList<QAction*> makeVersion_;
    TStepNames steps_;
    bool loading_ = false;
};
