// The main window's and its own dialogs' translatable texts: fixed identifiers for language
// files (never renumber one; a new text gets a new number), and the texts the window composes
// from named messages, rebuilt after a language change.
#include <QAction>
#include <QGroupBox>
#include <QSlider>
#include <QLabel>
#include <QTabWidget>

#include "commands.h"
#include "dialogs/filterform.h"
#include "dialogs/mpegsettings.h"
#include "languagecontroller.h"
#include "languagemanager.h"
#include "layoutfit.h"
#include "mainform.h"
#include "qttranslation.h"
#include "recorder.h"
#include "shelltexts.h"

namespace {

// Section "mainform".
const std::vector<TTranslatable> kMainTexts = {
    {1, "File1", "title"},
    {2, "View1", "title"},
    {3, "Edit1", "title"},
    {4, "Operations1", "title"},
    {5, "Tools1", "title"},
    {6, "Help1", "title"},
    {7, "ScaleFormat1", "title"},
    {8, "SpectrumWindow1", "title"},
    {10, "OpenAction", "text"},
    {11, "CloseAction", "text"},
    {12, "SaveAction", "text"},
    {13, "SaveAsAction", "text"},
    {14, "SaveSelectedAction", "text"},
    {15, "PropertiesAction", "text"},
    {16, "SettingsAction", "text"},
    {17, "ExitAction", "text"},
    {18, "ZoomInAction", "text"},
    {19, "ZoomOutAction", "text"},
    {20, "ZoomFullAction", "text"},
    {21, "MsAction", "text"},
    {22, "SmplAction", "text"},
    {23, "UndoAction", "text"},
    {24, "RedoAction", "text"},
    {25, "CutAction", "text"},
    {26, "CopyAction", "text"},
    {27, "PasteAction", "text"},
    {28, "DeleteAction", "text"},
    {29, "SelectAllAction", "text"},
    {30, "DeselectAllAction", "text"},
    {31, "PlayAction", "text"},
    {32, "PauseAction", "text"},
    {33, "StopAction", "text"},
    {34, "FadeInAction", "text"},
    {35, "FadeOutAction", "text"},
    {36, "SilenceAction", "text"},
    {37, "NormalizationAction", "text"},
    {38, "ReverseAction", "text"},
    {39, "InvertAction", "text"},
    {40, "AmplifyDAction", "text"},
    {41, "AmplifyIAction", "text"},
    {42, "ContentsAction", "text"},
    {43, "UpdateAction", "text"},
    {44, "AboutAction", "text"},
    {45, "LoudnessAction", "text"},
    {46, "TrimSilenceAction", "text"},
    {47, "ToMonoAction", "text"},
    {48, "ToStereoAction", "text"},
    {49, "SwapChannelsAction", "text"},
    {50, "AddMarkerAction", "text"},
    {51, "AddRegionAction", "text"},
    {52, "PrevMarkerAction", "text"},
    {53, "NextMarkerAction", "text"},
    {54, "MarkersAction", "text"},
    {55, "RenameMarkerAction", "text"},
    {56, "DeleteMarkerAction", "text"},
    {57, "ExportRegionsAction", "text"},
    {58, "MoveMarkerAction", "text"},
    {59, "RecordAction", "text"},
    {61, "AppendRecordAction", "text"},
    {62, "MonitorAction", "text"},
    {90, "HighPassAction", "text"},
    {91, "LowPassAction", "text"},
    {92, "EqualizerAction", "text"},
    {93, "CompressorAction", "text"},
    {94, "LimiterAction", "text"},
    {95, "TempoAction", "text"},
    {96, "PitchAction", "text"},
    {97, "SpeedAction", "text"},
    {98, "NoiseProfileAction", "text"},
    {99, "NoiseReductionAction", "text"},
    {100, "SpectrogramAction", "text"},
    {101, "LogFrequencyAction", "text"},
    {102, "Filters1", "title"},
    {103, "TempoPitch1", "title"},
    {60, "ContentsAction", "toolTip"},
    {70, "MainSheet", "windowTitle"},
    {71, "SelectionBox", "title"},
    {72, "BeginLabel", "text"},
    {73, "EndLabel", "text"},
    {74, "PickStartMS", "text"},
    {75, "PickStopMS", "text"},
    {76, "sel", "text"},
    {77, "CursorBox", "title"},
    {78, "LevelsBox", "title"},
    {79, "VolumeBox", "title"},
    {80, "VolumeBar", "toolTip"},
    {81, "PickStartMS", "accessibleName"},
    {82, "PickStopMS", "accessibleName"},
    {83, "CancelJob", "text"},
    {84, "CancelJob", "toolTip"},
    {85, "RecentFiles1", "title"},
    {86, "Scroll", "accessibleName"},
    {87, "ProgressBar", "accessibleName"},
    {88, "qt_toolbar_ext_button", "accessibleName"},
    {89, "StatusBar", "accessibleName"},
};

// Set from the program's name, the document or the catalogue, or not words at all.
const QStringList kMainIgnored = {
    "mainform.windowTitle", "ActionToolBar1.windowTitle", "*Action.toolTip", "timedisplay.text",
    "StatusPanel*.text",    "selstart.text",              "selstop.text",     "ToolAction*",
    "RecentAction*",        "SpectrumWindowAction*",      "RecordPanel.*",
};

// Section "filterform": its caption and group caption are set before each use.
const std::vector<TTranslatable> kFilterTexts = {
    {1, "OkButton", "text"},
    {2, "CancelButton", "text"},
    {3, "PreviewButton", "text"},
};

// Section "mpegsettings". The bitrate lists are numbers.
const std::vector<TTranslatable> kMpegTexts = {
    {1, "", "windowTitle"},         {2, "GroupBox1", "title"},
    {3, "Label1", "text"},          {4, "vbrmode", "items[0]"},
    {5, "vbrmode", "items[1]"},     {6, "vbrmode", "items[2]"},
    {7, "Bitratelabel", "text"},    {8, "maxbitLabel", "text"},
    {9, "Label37", "text"},         {10, "Label40", "text"},
    {11, "crc", "text"},            {12, "Button1", "text"},
    {13, "Button2", "text"},
    {14, "vbrsmaller", "text"},     {15, "vbrbetter", "text"},
};

// Readers speak names as they are: without the padding the group titles carry.
void NameGroupsForReaders(Tmainform& form) {
    for (QGroupBox* box : form.findChildren<QGroupBox*>())
        box->setAccessibleName(box->title().trimmed());
    if (auto* volume = form.findChild<QGroupBox*>(QStringLiteral("VolumeBox")))
        form.VolumeBar()->setAccessibleName(volume->title().trimmed());
    // The meter is a picture of the levels: its group says what it shows.
    if (auto* levels = form.findChild<QGroupBox*>(QStringLiteral("LevelsBox")))
        if (auto* meter = levels->findChild<QWidget*>(QStringLiteral("VUMeter1")))
            meter->setAccessibleName(levels->title().trimmed());
}

}  // namespace

void Tmainform::BuildTranslation() {
    translation_ = std::make_unique<TLanguageController>(this, kMainTexts, kMainIgnored);
    translation_->SetRetranslateHook([this] { RefreshTexts(); });
    translation_->Bind();
    NameGroupsForReaders(*this);
}

void Tmainform::RefreshTexts() {
    // The one tab shows its page's title.
    if (auto* tabs = findChild<QTabWidget*>(QStringLiteral("PageControl1"))) {
        tabs->setTabText(0, tabs->widget(0)->windowTitle());
    }
    commands_->TextsChanged();
    NameGroupsForReaders(*this);
    // Tool tips repeat the caption without its access key; Contents says "Help".
    for (QAction* a : commands_->Actions()) {
        if (a != commands_->ContentsAction) a->setToolTip(WithoutAccessKey(a->text()));
    }
    // Qt's standard buttons and dialogs speak the same language.
    UseQtTranslation(uint16_t(ActiveLanguageId()));
    // Texts composed from named messages follow the language too.
    if (Loaded()) ShowDocumentFields();
    recorder_->RefreshTexts();
    panels_[1]->setText(MsgText("cursorpositionstring") + ' ' +
                        PositionText(view_->cursor, view_->cursorMs));
    FitToTexts(*this);
}

std::unique_ptr<TLanguageController> MakeFilterFormTranslation(Tfilterform& form) {
    auto c = std::make_unique<TLanguageController>(
        &form, kFilterTexts,
        QStringList{"filterform.windowTitle", "ValueName.title", "ValueEdit.text"});
    c->Bind();
    return c;
}

std::unique_ptr<TLanguageController> MakeMpegSettingsTranslation(Tmpegsettings& form) {
    auto c = std::make_unique<TLanguageController>(
        &form, kMpegTexts, QStringList{"*bitrate.items*", "CBR.*", "VBR.*", "ABR.*"});
    c->Bind();
    return c;
}

int32_t ActiveLanguageId() {
    return TLanguageManager::Instance().ActiveLanguage();
}
