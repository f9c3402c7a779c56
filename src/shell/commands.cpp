// The command table: every QAction, the menus, the toolbar and the context menu, and the enabled
// states. The handlers are in handlers.cpp.
#include "commands.h"

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QToolBar>
#include <exception>

#include "filehistory.h"
#include "languagecontroller.h"
#include "mainform.h"
#include "openformats.h"
#include "paletteicon.h"
#include "recorder.h"
#include "settings.h"
#include "shelltexts.h"
#include "spectrum.h"
#include "waveview.h"
#include "wavfile.h"

namespace {

// A freedesktop icon from the desktop's theme, else our own picture of it in the palette's
// colours.
QIcon ShellIcon(const char* name) {
    const QIcon own = PaletteIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
    if (QLatin1String(name).startsWith(QLatin1String("orvane"))) return own;
    return QIcon::fromTheme(QLatin1String(name), own);
}

}  // namespace

TCommands::TCommands(Tmainform& form) : form_(form) {
    // File
    OpenAction = Make("OpenAction", "&Open", "Ctrl+O", "document-open",
                      [this] { OpenActionExecute(); });
    CloseAction = Make("CloseAction", "&Close", "", nullptr, [this] { CloseActionExecute(); });
    SaveAction = Make("SaveAction", "&Save", "Ctrl+S", "document-save",
                      [this] { SaveActionExecute(); });
    SaveAsAction = Make("SaveAsAction", "S&ave As...", "", nullptr,
                        [this] { SaveAsActionExecute(); });
    SaveSelectedAction = Make("SaveSelectedAction", "Sa&ve Selected As...", "", nullptr,
                              [this] { SaveSelectedActionExecute(); });
    PropertiesAction = Make("PropertiesAction", "&File Properties", "", nullptr, [this] {
        if (form_.Loaded()) RunHook(OnProperties);
    });
    SettingsAction = Make("SettingsAction", "S&ettings", "", "preferences-system",
                          [this] { RunHook(OnSettings); });
    ExitAction = Make("ExitAction", "E&xit", "Alt+F4", nullptr, [this] { ExitActionExecute(); });
    // The recent files: file names, not words, so outside the command table.
    for (int i = 0; i < TFileHistory::kMaxFiles; ++i) {
        auto* action = new QAction(&form_);
        action->setObjectName(QStringLiteral("RecentAction%1").arg(i + 1));
        action->setShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(i + 1)));
        action->setVisible(false);
        QObject::connect(action, &QAction::triggered, &form_,
                         [this, i, action] { Guard(action, [this, i] { OpenRecentFile(i); }); });
        form_.addAction(action);
        recentActions_.append(action);
    }
    // View
    ZoomInAction = Make("ZoomInAction", "&Zoom In", "", "zoom-in",
                        [this] { form_.View().ZoomIn(); });
    ZoomOutAction = Make("ZoomOutAction", "Z&oom Out", "", "zoom-out",
                         [this] { form_.View().ZoomOut(); });
    ZoomFullAction = Make("ZoomFullAction", "Zoo&m Full", "", "zoom-fit-best",
                          [this] { form_.View().ZoomFull(); });
    MsAction = Make("MsAction", "&Milliseconds", "", nullptr,
                    [this] { form_.SetScaleFormat(true); });
    SmplAction = Make("SmplAction", "&Samples", "", nullptr,
                      [this] { form_.SetScaleFormat(false); });
    auto* scaleGroup = new QActionGroup(&form_);
    for (QAction* a : {MsAction, SmplAction}) {
        a->setCheckable(true);
        scaleGroup->addAction(a);
    }
    SpectrogramAction = Make("SpectrogramAction", "S&pectrogram", "", nullptr,
                             [this] { SpectrogramChanged(); });
    LogFrequencyAction = Make("LogFrequencyAction", "&Logarithmic Frequency", "", nullptr,
                              [this] { SpectrogramChanged(); });
    for (QAction* a : {SpectrogramAction, LogFrequencyAction}) a->setCheckable(true);
    auto* windowGroup = new QActionGroup(&form_);
    for (int n = TSpectrumSettings::kMinWindow; n <= TSpectrumSettings::kMaxWindow; n *= 2) {
        QAction* a = Make(qPrintable(QStringLiteral("SpectrumWindowAction%1").arg(n)),
                          QString::number(n), "", nullptr, [this] { SpectrogramChanged(); });
        a->setCheckable(true);
        a->setData(n);
        windowGroup->addAction(a);
        windowActions_.append(a);
    }
    // Edit
    UndoAction = Make("UndoAction", "&Undo", "Ctrl+Z", "edit-undo",
                      [this] { UndoActionExecute(); });
    RedoAction = Make("RedoAction", "&Redo", "Ctrl+Shift+Z", "edit-redo",
                      [this] { RedoActionExecute(); });
    CutAction = Make("CutAction", "&Cut", "Ctrl+X", "edit-cut", [this] { CutActionExecute(); });
    CopyAction = Make("CopyAction", "C&opy", "Ctrl+C", "edit-copy",
                      [this] { CopyActionExecute(); });
    PasteAction = Make("PasteAction", "&Paste", "Ctrl+V", "edit-paste",
                       [this] { PasteActionExecute(); });
    DeleteAction = Make("DeleteAction", "&Delete", "Del", "edit-delete",
                        [this] { DeleteActionExecute(); });
    SelectAllAction = Make("SelectAllAction", "&Select All", "Ctrl+A", nullptr,
                           [this] { SelectAllActionExecute(); });
    DeselectAllAction = Make("DeselectAllAction", "D&eselect All", "", nullptr,
                             [this] { DeselectAllActionExecute(); });
    // Operations
    PlayAction = Make("PlayAction", "Pla&y", "Ctrl+P", "media-playback-start",
                      [this] { PlayActionExecute(); });
    PauseAction = Make("PauseAction", "P&ause", "P", "media-playback-pause",
                       [this] { PauseActionExecute(); });
    StopAction = Make("StopAction", "&Stop", "Ctrl+T", "media-playback-stop",
                      [this] { StopActionExecute(); });
    RecordAction = Make("RecordAction", "Re&cord", "R", "media-record",
                        [this] { RecordActionExecute(false); });
    AppendRecordAction = Make("AppendRecordAction", "Rec&ord at End", "Shift+R", nullptr,
                              [this] { RecordActionExecute(true); });
    MonitorAction =
        Make("MonitorAction", "Monitor &Input", "", nullptr, [this] { MonitorActionExecute(); });
    MonitorAction->setCheckable(true);
    FadeInAction = Make("FadeInAction", "&Fade In", "", "orvane-fade-in",
                        [this] { FadeInActionExecute(); });
    FadeOutAction = Make("FadeOutAction", "Fa&de Out", "", "orvane-fade-out",
                         [this] { FadeOutActionExecute(); });
    SilenceAction = Make("SilenceAction", "&Insert Silence", "", "orvane-silence",
                         [this] { SilenceActionExecute(); });
    NormalizationAction = Make("NormalizationAction", "&Normalization", "", "orvane-normalize",
                               [this] { NormalizationActionExecute(); });
    ReverseAction = Make("ReverseAction", "R&everse", "", "orvane-reverse",
                         [this] { ReverseActionExecute(); });
    InvertAction = Make("InvertAction", "In&vert", "", "orvane-invert",
                        [this] { InvertActionExecute(); });
    AmplifyDAction = Make("AmplifyDAction", "A&mplify (Decrease)", "", "orvane-amplify-down",
                          [this] { AmplifyDActionExecute(); });
    AmplifyIAction = Make("AmplifyIAction", "Amp&lify (Increase)", "", "orvane-amplify-up",
                          [this] { AmplifyIActionExecute(); });
    LoudnessAction = Make("LoudnessAction", "Normali&ze Loudness...", "", nullptr,
                          [this] { LoudnessActionExecute(); });
    TrimSilenceAction = Make("TrimSilenceAction", "&Trim Silence...", "", nullptr,
                             [this] { TrimSilenceActionExecute(); });
    ToMonoAction = Make("ToMonoAction", "Mi&x to Mono", "", nullptr,
                        [this] { ChannelsActionExecute(0); });
    ToStereoAction = Make("ToStereoAction", "Ma&ke Stereo", "", nullptr,
                          [this] { ChannelsActionExecute(1); });
    SwapChannelsAction = Make("SwapChannelsAction", "S&wap Channels", "", nullptr,
                              [this] { ChannelsActionExecute(2); });
    // Markers
    AddMarkerAction = Make("AddMarkerAction", "Add &Marker", "Ctrl+M", nullptr,
                           [this] { AddMarkerActionExecute(); });
    AddRegionAction = Make("AddRegionAction", "Add Re&gion", "Ctrl+Shift+M", nullptr,
                           [this] { AddRegionActionExecute(); });
    PrevMarkerAction = Make("PrevMarkerAction", "Pre&vious Marker", "[", nullptr,
                            [this] { JumpToMarker(false); });
    NextMarkerAction = Make("NextMarkerAction", "Ne&xt Marker", "]", nullptr,
                            [this] { JumpToMarker(true); });
    MarkersAction = Make("MarkersAction", "Mar&kers...", "", nullptr,
                         [this] { MarkersActionExecute(); });
    ExportRegionsAction = Make("ExportRegionsAction", "Export Re&gions...", "", nullptr,
                               [this] { ExportRegionsActionExecute(); });
    // Not in a menu: they name the steps the markers list makes.
    RenameMarkerAction = Make("RenameMarkerAction", "Rename Marker", "", nullptr, [] {});
    DeleteMarkerAction = Make("DeleteMarkerAction", "Delete Marker", "", nullptr, [] {});
    MoveMarkerAction = Make("MoveMarkerAction", "Move Marker", "", nullptr, [] {});
    HighPassAction = Make("HighPassAction", "&High-pass Filter...", "", nullptr,
                          [this] { FilterActionExecute("highpass", "highpasstitle"); });
    LowPassAction = Make("LowPassAction", "Low-pass Filte&r...", "", nullptr,
                         [this] { FilterActionExecute("lowpass", "lowpasstitle"); });
    EqualizerAction = Make("EqualizerAction", "E&qualizer...", "", nullptr,
                           [this] { EqualizerActionExecute(); });
    CompressorAction = Make("CompressorAction", "&Compressor...", "", nullptr,
                            [this] { FilterActionExecute("compress", "comptitle"); });
    LimiterAction = Make("LimiterAction", "Lim&iter...", "", nullptr,
                         [this] { FilterActionExecute("limit", "limittitle"); });
    TempoAction = Make("TempoAction", "Change Tem&po...", "", nullptr,
                       [this] { FilterActionExecute("tempo", "tempotitle"); });
    PitchAction = Make("PitchAction", "Change Pitc&h...", "", nullptr,
                       [this] { FilterActionExecute("pitch", "pitchtitle"); });
    SpeedAction = Make("SpeedAction", "&Change Speed...", "", nullptr,
                       [this] { FilterActionExecute("speed", "speedtitle"); });
    NoiseProfileAction = Make("NoiseProfileAction", "&Get Noise Profile", "", nullptr,
                              [this] { NoiseProfileActionExecute(); });
    NoiseReductionAction = Make("NoiseReductionAction", "Noise Red&uction...", "", nullptr,
                                [this] { NoiseReductionActionExecute(); });
    // Help
    ContentsAction = Make("ContentsAction", "&Contents", "F1", "help-contents",
                          [this] { RunHook(OnContents); });
    ContentsAction->setToolTip(QStringLiteral("Help"));
    UpdateAction = Make("UpdateAction", "C&heck Updates...", "", nullptr,
                        [this] { RunHook(OnUpdate); });
    AboutAction = Make("AboutAction", "&About", "", nullptr, [this] { RunHook(OnAbout); });

    needIdle_ = {OpenAction,     CloseAction,         SaveAction,        SaveAsAction,
                 SaveSelectedAction, UndoAction,     RedoAction,        CutAction,
                 CopyAction,     PasteAction,         DeleteAction,      FadeInAction,
                 FadeOutAction,  SilenceAction,       NormalizationAction, ReverseAction,
                 InvertAction,   AmplifyDAction,      AmplifyIAction,    LoudnessAction,
                 TrimSilenceAction, ToMonoAction,     ToStereoAction,    SwapChannelsAction,
                 AddMarkerAction, AddRegionAction,    MarkersAction,     ExportRegionsAction,
                 HighPassAction, LowPassAction,       EqualizerAction,   CompressorAction,
                 LimiterAction,  TempoAction,         PitchAction,       SpeedAction,
                 NoiseProfileAction, NoiseReductionAction, RecordAction, AppendRecordAction};
    needIdle_ += recentActions_;
    makeVersion_ = {CutAction,     PasteAction,         DeleteAction,      FadeInAction,
                    FadeOutAction, SilenceAction,       NormalizationAction, ReverseAction,
                    InvertAction,  AmplifyDAction,      AmplifyIAction,    LoudnessAction,
                    TrimSilenceAction, ToMonoAction,    ToStereoAction,    SwapChannelsAction,
                    AddMarkerAction, AddRegionAction, RenameMarkerAction, DeleteMarkerAction,
                    MoveMarkerAction,
                    HighPassAction, LowPassAction,      EqualizerAction,   CompressorAction,
                    LimiterAction, TempoAction,         PitchAction,       SpeedAction,
                    NoiseReductionAction, RecordAction, AppendRecordAction};

    // Initial states: no selection and nothing to undo yet.
    for (QAction* a : {SaveSelectedAction, CutAction, CopyAction, DeleteAction, UndoAction,
                       RedoAction}) {
        a->setEnabled(false);
    }
}

void TCommands::UpdateRecentFiles() {
    const QStringList& files = form_.History().Files();
    for (int i = 0; i < recentActions_.size(); ++i) {
        QAction* action = recentActions_[i];
        action->setVisible(i < files.size());
        if (i >= files.size()) continue;
        // "&3 song.mp3   /music/album": the name first, && keeps a name's ampersands.
        QString name = files[i];
        name.replace(QLatin1Char('&'), QLatin1String("&&"));
        action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(name));
    }
    if (recentMenu_) recentMenu_->setEnabled(!files.isEmpty());
}

void TCommands::OpenRecentFile(int index) {
    QString missing;
    const QString path = form_.History().Choose(index, &missing);
    if (!missing.isEmpty()) {
        UpdateRecentFiles();
        form_.Dialogs().Message(MsgText("recentmissing").arg(missing));
        return;
    }
    if (path.isEmpty()) return;
    if (form_.Loaded()) StopActionExecute();
    form_.openfile(path);
}

QAction* TCommands::Make(const char* name, const QString& caption, const QString& shortcut,
                         const char* icon, std::function<void()> handler) {
    auto* action = new QAction(caption, &form_);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(WithoutAccessKey(caption));
    if (!shortcut.isEmpty()) action->setShortcut(QKeySequence(shortcut));
    if (icon) action->setIcon(ShellIcon(icon));
    QObject::connect(action, &QAction::triggered, &form_,
                     [this, action, handler = std::move(handler)] { Guard(action, handler); });
    // The window holds every command, so its shortcuts work wherever the focus is.
    form_.addAction(action);
    actions_.append(action);
    return action;
}

void TCommands::Guard(QAction* action, const std::function<void()>& handler) {
    // Record pressed during a take ends it: neither a second job nor a new step.
    const bool endsTake = action == RecordAction && form_.Recorder().Active();
    if (!endsTake && form_.Document().Busy() && needIdle_.contains(action)) {
        form_.Dialogs().Ask(QMessageBox::Question, MsgText("operationinprogress"),
                            QMessageBox::Ok);
        return;
    }
    if (!endsTake && makeVersion_.contains(action)) {
        steps_.Begin(action, form_.Document().StateKey());
    } else if (action == UndoAction || action == RedoAction) {
        steps_.Forget();
    }
    try {
        handler();
    } catch (const std::exception& e) {
        form_.Dialogs().Error(QString::fromStdString(e.what()));
    }
}

void TCommands::RunHook(const std::function<void()>& hook) {
    if (hook) hook();
}

QAction* TCommands::Find(const QString& objectName) const {
    for (QAction* a : actions_) {
        if (a->objectName() == objectName) return a;
    }
    return nullptr;
}

void TCommands::BuildMenus(QMenuBar* bar) {
    bar->setObjectName(QStringLiteral("MainMenu"));
    auto menu = [bar](const char* name, const QString& title) {
        QMenu* m = bar->addMenu(title);
        m->setObjectName(QLatin1String(name));
        return m;
    };
    QMenu* file = menu("File1", QStringLiteral("&File"));
    file->addActions({OpenAction, CloseAction, SaveAction, SaveAsAction, SaveSelectedAction,
                      ExportRegionsAction});
    file->addSeparator();
    recentMenu_ = file->addMenu(QStringLiteral("&Recent Files"));
    recentMenu_->setObjectName(QStringLiteral("RecentFiles1"));
    recentMenu_->addActions(recentActions_);
    UpdateRecentFiles();
    file->addSeparator();
    file->addAction(PropertiesAction);
    file->addSeparator();
    file->addAction(SettingsAction);
    file->addSeparator();
    file->addAction(ExitAction);

    QMenu* view = menu("View1", QStringLiteral("&View"));
    view->addActions({ZoomInAction, ZoomOutAction, ZoomFullAction});
    view->addSeparator();
    QMenu* scale = view->addMenu(QStringLiteral("&Scale Format"));
    scale->setObjectName(QStringLiteral("ScaleFormat1"));
    scale->addActions({MsAction, SmplAction});
    view->addSeparator();
    view->addAction(MarkersAction);
    view->addSeparator();
    view->addActions({SpectrogramAction, LogFrequencyAction});
    QMenu* window = view->addMenu(QStringLiteral("Spectrogram &Window Size"));
    window->setObjectName(QStringLiteral("SpectrumWindow1"));
    window->addActions(windowActions_);
    view->addSeparator();
    view->addAction(MonitorAction);

    QMenu* edit = menu("Edit1", QStringLiteral("&Edit"));
    edit->addActions({UndoAction, RedoAction});
    edit->addSeparator();
    edit->addActions({CutAction, CopyAction, PasteAction, DeleteAction});
    edit->addSeparator();
    edit->addActions({SelectAllAction, DeselectAllAction});
    edit->addSeparator();
    edit->addActions({AddMarkerAction, AddRegionAction, PrevMarkerAction, NextMarkerAction});

    QMenu* operations = menu("Operations1", QStringLiteral("&Operations"));
    operations->addActions({PlayAction, PauseAction, StopAction});
    operations->addSeparator();
    operations->addActions({RecordAction, AppendRecordAction});
    operations->addSeparator();
    operations->addActions({FadeInAction, FadeOutAction, SilenceAction, NormalizationAction,
                            ReverseAction, InvertAction, AmplifyDAction, AmplifyIAction});
    operations->addSeparator();
    operations->addActions({LoudnessAction, TrimSilenceAction, ToMonoAction, ToStereoAction,
                            SwapChannelsAction});
    operations->addSeparator();
    // Menus of their own: one flat list would hold more entries than there are letters to
    // give each its own access key.
    QMenu* filters = operations->addMenu(QStringLiteral("Filte&rs"));
    filters->setObjectName(QStringLiteral("Filters1"));
    filters->addActions(
        {HighPassAction, LowPassAction, EqualizerAction, CompressorAction, LimiterAction});
    QMenu* stretch = operations->addMenu(QStringLiteral("Tem&po and Pitch"));
    stretch->setObjectName(QStringLiteral("TempoPitch1"));
    stretch->addActions({TempoAction, PitchAction, SpeedAction});
    operations->addSeparator();
    operations->addActions({NoiseProfileAction, NoiseReductionAction});

    toolsMenu_ = menu("Tools1", QStringLiteral("&Tools"));

    QMenu* help = menu("Help1", QStringLiteral("&Help"));
    help->addActions({ContentsAction, UpdateAction});
    help->addSeparator();
    help->addAction(AboutAction);
}

QToolBar* TCommands::BuildToolBar(QWidget* parent) {
    auto* bar = new QToolBar(QStringLiteral("Operations"), parent);
    bar->setObjectName(QStringLiteral("ActionToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The design's small pictures: the whole bar fits the window's design width.
    bar->setIconSize(QSize(16, 16));
    bar->addActions({OpenAction, SaveAction});
    bar->addSeparator();
    bar->addActions({CutAction, CopyAction, PasteAction, DeleteAction});
    bar->addSeparator();
    bar->addActions({UndoAction, RedoAction});
    bar->addSeparator();
    bar->addActions({ZoomInAction, ZoomOutAction, ZoomFullAction});
    bar->addSeparator();
    bar->addActions({PlayAction, StopAction, RecordAction});
    bar->addSeparator();
    bar->addActions({FadeInAction, FadeOutAction, SilenceAction, NormalizationAction,
                     ReverseAction, InvertAction, AmplifyIAction, AmplifyDAction});
    bar->addSeparator();
    bar->addAction(ContentsAction);
    return bar;
}

void TCommands::BuildContextMenu(QWidget* view) {
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    view->addActions({CutAction, CopyAction, PasteAction, DeleteAction});
    auto* separator = new QAction(view);
    separator->setSeparator(true);
    view->addAction(separator);
    view->addAction(SaveSelectedAction);
}

// --- enabled states ----------------------------------------------------------------------------

void TCommands::SetSelectionState(bool selected) {
    for (QAction* a : {CutAction, CopyAction, DeleteAction, SaveSelectedAction}) {
        a->setEnabled(selected && !loading_);
    }
}

void TCommands::SetLoading(bool loading) {
    loading_ = loading;
    for (QAction* a : makeVersion_) a->setEnabled(!loading);
    for (QAction* a : {SaveAction, SaveAsAction, PropertiesAction}) a->setEnabled(!loading);
    if (!loading) return;
    for (QAction* a : {CopyAction, SaveSelectedAction, UndoAction, RedoAction}) a->setEnabled(false);
}

void TCommands::SetRecording(bool recording) {
    SetLoading(recording);
    PlayAction->setEnabled(!recording && form_.Shown());
    StopAction->setEnabled(recording);
    // A running take shows as Record pressed; pressing it again ends the take, as Stop does.
    RecordAction->setCheckable(recording);
    RecordAction->setChecked(recording);
    RecordAction->setEnabled(true);
    if (!recording) return;
    for (QAction* a : {CutAction, CopyAction, PasteAction, DeleteAction, SaveSelectedAction})
        a->setEnabled(false);
}

void TCommands::SetUndoState(bool canUndo, bool canRedo) {
    UndoAction->setEnabled(canUndo);
    RedoAction->setEnabled(canRedo);
    const Twavefile& document = form_.Document();
    steps_.Update(document);
    // The plain captions are the translated ones the language controller keeps.
    const auto plain = [](QAction* a) {
        const QVariant base = a->property("plainText");
        if (!base.isValid()) a->setProperty("plainText", a->text());
        return a->property("plainText").toString();
    };
    const QString undo = StepCaption("undostep", steps_.UndoStep(document), plain(UndoAction));
    const QString redo = StepCaption("redostep", steps_.RedoStep(document), plain(RedoAction));
    UndoAction->setText(undo);
    RedoAction->setText(redo);
    UndoAction->setToolTip(WithoutAccessKey(undo));
    RedoAction->setToolTip(WithoutAccessKey(redo));
}

void TCommands::TextsChanged() {
    // The language controller has just set the plain captions.
    UndoAction->setProperty("plainText", UndoAction->text());
    RedoAction->setProperty("plainText", RedoAction->text());
    SetUndoState(UndoAction->isEnabled(), RedoAction->isEnabled());
}

void TCommands::SetPasteState(bool available) {
    PasteAction->setEnabled(available && !loading_);
}

void TCommands::SetPlayState(bool playing) {
    PlayAction->setEnabled(!playing);
    StopAction->setEnabled(playing);
}

void TCommands::CheckScaleFormat(bool milliseconds) {
    (milliseconds ? MsAction : SmplAction)->setChecked(true);
}

void TCommands::CheckSpectrogram() {
    SpectrogramAction->setChecked(Settings.spectrogram != 0);
    LogFrequencyAction->setChecked(Settings.spectrumlog != 0);
    for (QAction* a : windowActions_) a->setChecked(a->data().toInt() == Settings.spectrumwindow);
    SpectrogramChanged();
}

void TCommands::SpectrogramChanged() {
    Settings.spectrogram = SpectrogramAction->isChecked() ? 1 : 0;
    Settings.spectrumlog = LogFrequencyAction->isChecked() ? 1 : 0;
    for (QAction* a : windowActions_)
        if (a->isChecked()) Settings.spectrumwindow = a->data().toInt();
    form_.View().ShowSpectrogram(Settings.spectrogram != 0,
                                 {Settings.spectrumwindow, Settings.spectrumlog != 0});
}

// --- file dialogs' types -----------------------------------------------------------------------

QStringList TCommands::OpenFilters() {
    return OpenDialogFilter().split(QStringLiteral(";;"));
}

QStringList TCommands::SaveFilters() {
    return {QStringLiteral("WAV (*.wav)"), QStringLiteral("MP3 (*.mp3)"),
            QStringLiteral("FLAC (*.flac)"), QStringLiteral("Ogg Vorbis (*.ogg *.oga)"),
            QStringLiteral("Opus (*.opus)")};
}

QStringList TCommands::SaveSuffixes() {
    return {QStringLiteral("wav"), QStringLiteral("mp3"), QStringLiteral("flac"),
            QStringLiteral("ogg"), QStringLiteral("opus")};
}
