// The handlers of the main window's commands: each checks what it needs (a document, a
// selection, playback) and then calls the document, the view or the window.
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>
#include <vector>

#include "commands.h"
#include "dialogs/filterform.h"
#include "mainform.h"
#include "settings.h"
#include "shelltexts.h"
#include "timetext.h"
#include "vumeter.h"
#include "wavfile.h"

namespace {

// The extension as the file name shows it, from its last dot, with the dot; empty without one.
QString ExtensionOf(const QString& name) {
    const qsizetype slash = name.lastIndexOf('/');
    const qsizetype dot = name.lastIndexOf('.');
    return dot > slash ? name.mid(dot) : QString();
}

bool WritableFormat(const QString& name) {
    const QString ext = ExtensionOf(name).toLower();
    return ext == QLatin1String(".wav") || ext == QLatin1String(".mp3");
}

}  // namespace

// --- closing and saving ------------------------------------------------------------------------

bool TCommands::CloseDocument() {
    saveStartedByQuestion_ = false;
    const bool mayGoOn = form_.View().CloseDocument();
    // The save that the question started closes the window when it ends (onReady).
    if (saveStartedByQuestion_) form_.View().closeAfterSave = true;
    saveStartedByQuestion_ = false;
    return mayGoOn;
}

TWaveView::TSaveAnswer TCommands::AskSaveChanges() {
    const QMessageBox::StandardButton answer =
        form_.Dialogs().Ask(QMessageBox::Question, MsgText("savechanges"),
                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::No) return TWaveView::TSaveAnswer::No;
    if (answer != QMessageBox::Yes) return TWaveView::TSaveAnswer::Cancel;
    // Yes closes only after a save that has really started; a save that could not start (the
    // MP3 settings or the Save As dialog cancelled) abandons the close.
    if (!SaveOwnFile()) return TWaveView::TSaveAnswer::Cancel;
    saveStartedByQuestion_ = true;
    return TWaveView::TSaveAnswer::Yes;
}

bool TCommands::SaveOwnFile() {
    Twavefile& doc = form_.Document();
    // A source that cannot be written in its own format (".wma", ".flac"...) asks for a name.
    if (!WritableFormat(doc.FileName())) return SaveAs();
    return doc.Save();
}

bool TCommands::ConfirmOverwrite(const QString& name) {
    if (!QFileInfo::exists(name)) return true;
    return form_.Dialogs().Ask(QMessageBox::Critical, MsgText("existoverwrite"),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool TCommands::SaveAs() {
    Twavefile& doc = form_.Document();
    const std::optional<TSaveChoice> choice =
        form_.Dialogs().SaveFileName(SaveFilters(), SaveSuffixes(), Settings.savetype,
                                     form_.SaveProposal());
    if (!choice) return false;
    saveDialogType_ = choice->typeIndex;
    QString name = choice->fileName;
    // Compared exactly: "x.MP3" gets the default extension too.
    const QString ext = ExtensionOf(name);
    if (ext != QLatin1String(".mp3") && ext != QLatin1String(".wav")) {
        name += '.' + choice->defaultSuffix;
    }
    if (!ConfirmOverwrite(name)) return false;
    Settings.savetype = choice->typeIndex;
    const QString previous = doc.FileName();
    doc.SetFileName(name);
    const bool started = doc.Save();
    if (started) {
        form_.updatecaption(name);
    } else {
        doc.SetFileName(previous);
    }
    return started;
}

// --- File --------------------------------------------------------------------------------------

void TCommands::OpenActionExecute() {
    const QString path = form_.Dialogs().OpenFileName(OpenFilters(), form_.StartFolder());
    if (path.isEmpty()) return;
    form_.WritePosition(form_.selstart(), 0, 0);
    form_.WritePosition(form_.selstop(), 0, 0);
    if (form_.Loaded()) StopActionExecute();
    form_.openfile(path);
}

void TCommands::CloseActionExecute() {
    if (CloseDocument()) form_.ShowNoDocument();
}

void TCommands::SaveActionExecute() {
    if (form_.Loaded() && form_.Document().Modified()) SaveOwnFile();
}

void TCommands::SaveAsActionExecute() {
    // Without a document there is nothing to save: no dialog.
    if (form_.Loaded()) SaveAs();
}

void TCommands::SaveSelectedActionExecute() {
    TWaveView& view = form_.View();
    if (!form_.Loaded() || !view.selected) return;
    const std::optional<TSaveChoice> choice =
        form_.Dialogs().SaveFileName(SaveFilters(), SaveSuffixes(), saveDialogType_,
                                     form_.StartFolder());
    if (!choice) return;
    saveDialogType_ = choice->typeIndex;
    const QString suffix = SaveSuffixes().value(choice->typeIndex - 1, SaveSuffixes().first());
    const QString name = ChangeFileExt(choice->fileName, suffix);
    if (!ConfirmOverwrite(name)) return;
    form_.Document().SaveRange(name, view.selStart, view.selStop);
}

void TCommands::ExitActionExecute() {
    form_.close();
}

// --- Edit --------------------------------------------------------------------------------------

namespace {

// The undo rule: a page larger than the document shrinks to it.
void FitPage(QScrollBar& bar, uint32_t frames) {
    if (bar.pageStep() >= 0 && uint32_t(bar.pageStep()) > frames) bar.setPageStep(int(frames));
}

}  // namespace

void TCommands::UndoActionExecute() {
    form_.Document().Undo();
    FitPage(form_.Scroll(), form_.Document().Frames());
}

void TCommands::RedoActionExecute() {
    form_.Document().Redo();
    FitPage(form_.Scroll(), form_.Document().Frames());
}

void TCommands::ShrinkView(uint32_t removed) {
    QScrollBar& bar = form_.Scroll();
    TWaveView& view = form_.View();
    bar.setPageStep(int(std::max<int64_t>(int64_t(bar.pageStep()) - removed, 0)));
    view.viewSpan = view.viewSpan > removed ? view.viewSpan - removed : 0;
    view.viewEnd = view.viewEnd > removed ? view.viewEnd - removed : 0;
}

namespace {

// The smooth-joins setting as it is now, for the edit about to be requested.
void ApplyJoinSetting(Twavefile& doc) {
    doc.SetJoinFade(Settings.smoothjoins ? Settings.joinfade : 0);
}

// The view's selection in order and inside the document.
std::pair<uint32_t, uint32_t> OrderedSelection(const TWaveView& view, uint32_t frames) {
    uint32_t s = std::min(view.selStart, view.selStop);
    uint32_t e = std::max(view.selStart, view.selStop);
    return {std::min(s, frames), std::min(e, frames)};
}

}  // namespace

void TCommands::CutActionExecute() {
    TWaveView& view = form_.View();
    Twavefile& doc = form_.Document();
    if (!form_.Loaded() || !view.selected || doc.Busy()) return;
    const auto [s, e] = OrderedSelection(view, doc.Frames());
    ApplyJoinSetting(doc);
    doc.Cut(s, e);
    ShrinkView(e - s);
    view.selected = false;
    view.SetCursor(s);
}

void TCommands::CopyActionExecute() {
    TWaveView& view = form_.View();
    if (!form_.Loaded() || !view.selected) return;
    form_.Document().Copy(view.selStart, view.selStop);
}

void TCommands::PasteActionExecute() {
    if (!form_.Loaded()) return;
    ApplyJoinSetting(form_.Document());
    form_.Document().Paste(form_.View().cursor);
}

void TCommands::DeleteActionExecute() {
    TWaveView& view = form_.View();
    Twavefile& doc = form_.Document();
    if (!form_.Loaded() || !view.selected || doc.Busy()) return;
    const auto [s, e] = OrderedSelection(view, doc.Frames());
    ApplyJoinSetting(doc);
    doc.Delete(s, e);
    ShrinkView(e - s);
    view.selected = false;
    view.SetCursor(s);
}

void TCommands::SelectAllActionExecute() {
    if (!form_.Loaded()) return;
    const uint32_t frames = form_.Document().Frames();
    form_.WritePosition(form_.selstart(), 0, 0);
    form_.WritePosition(form_.selstop(), frames, form_.View().SamplesToMs(frames));
    form_.sel()->setChecked(true);
    form_.selClick();
}

void TCommands::DeselectAllActionExecute() {
    form_.sel()->setChecked(false);
    form_.selClick();
}

// --- Operations --------------------------------------------------------------------------------

void TCommands::PlayActionExecute() {
    if (!form_.Loaded()) return;
    form_.View().Play();
    // The player takes a volume only while it has a buffer: set it again now.
    form_.VolumeBarChange();
    StopAction->setEnabled(true);
    PlayAction->setEnabled(false);
    form_.Meter().ResetMeter();
}

void TCommands::PauseActionExecute() {
    // The cursor stays where playback got to, so the next Play goes on from there.
    if (form_.Playing()) form_.View().Stop();
}

void TCommands::StopActionExecute() {
    if (!form_.Playing()) return;
    form_.View().Stop();
    StopAction->setEnabled(false);
    PlayAction->setEnabled(true);
    TVUMeter& meter = form_.Meter();
    const std::vector<int16_t> silent(std::max<uint16_t>(form_.Document().Channels(), 1), 0);
    meter.SetLevels(silent);
    meter.ClearMeter();
    meter.update();
}

std::optional<int> TCommands::AskParameter(const char* titleKey, const char* labelKey,
                                           int minimum, int maximum, int value) {
    Tfilterform* dialog = form_.FilterForm();
    if (!dialog) return std::nullopt;
    dialog->setproperties(MsgText(titleKey), MsgText(labelKey), minimum, maximum, value);
    if (!form_.Dialogs().Run(*dialog)) return std::nullopt;
    return dialog->Value();
}

void TCommands::FadeInActionExecute() {
    TWaveView& view = form_.View();
    if (!form_.Loaded() || !view.selected) return;
    form_.Document().FadeIn(view.selStart, view.selStop);
    view.selected = false;
}

void TCommands::FadeOutActionExecute() {
    TWaveView& view = form_.View();
    if (!form_.Loaded() || !view.selected) return;
    form_.Document().FadeOut(view.selStart, view.selStop);
    view.selected = false;
}

void TCommands::SilenceActionExecute() {
    if (!form_.Loaded()) return;
    const std::optional<int> ms = AskParameter("silencetitle", "silencename", 0, 0, 500);
    // A negative duration means nothing to insert.
    if (!ms || *ms < 0) return;
    TWaveView& view = form_.View();
    form_.Document().InsertSilence(view.cursor, view.MsToSamples(uint32_t(*ms)));
}

void TCommands::NormalizationActionExecute() {
    if (!form_.Loaded()) return;
    if (const auto percent = AskParameter("normaltitle", "normalname", 0, 100, 95)) {
        form_.Document().Normalize(*percent);
    }
}

void TCommands::AmplifyIActionExecute() {
    if (!form_.Loaded()) return;
    if (const auto percent = AskParameter("amplifytitle", "amplifyname", 0, 200, 101)) {
        form_.Document().Amplify(*percent);
    }
}

void TCommands::AmplifyDActionExecute() {
    if (!form_.Loaded()) return;
    if (const auto percent = AskParameter("amplifytitle", "amplifyname", 0, 200, 10)) {
        form_.Document().Amplify(*percent);
    }
}

void TCommands::ReverseActionExecute() {
    if (form_.Loaded()) form_.Document().Reverse();
}

void TCommands::InvertActionExecute() {
    if (form_.Loaded()) form_.Document().Invert();
}

void TCommands::LoudnessActionExecute() {
    if (!form_.Loaded()) return;
    const auto target = AskParameter("loudnesstitle", "loudnesstarget", -70, 0, -16);
    if (!target) return;
    const auto ceiling = AskParameter("loudnesstitle", "loudnessceiling", -20, 0, -1);
    if (!ceiling) return;
    // The selection, or the whole sound when there is none.
    const TWaveView& view = form_.View();
    const bool part = view.selected && view.selStart != view.selStop;
    form_.Document().NormalizeLoudness(part ? view.selStart : 0, part ? view.selStop : 0,
                                       *target, *ceiling);
}

void TCommands::TrimSilenceActionExecute() {
    if (!form_.Loaded()) return;
    const auto threshold = AskParameter("trimtitle", "trimthreshold", -120, 0, -50);
    if (!threshold) return;
    const auto margin = AskParameter("trimtitle", "trimmargin", 0, 10000, 100);
    if (!margin) return;
    form_.Document().TrimSilence(*threshold, *margin);
    form_.View().selected = false;
}

void TCommands::ChannelsActionExecute(int which) {
    if (!form_.Loaded()) return;
    Twavefile& doc = form_.Document();
    if (doc.Busy()) return;
    const bool started = which == 0   ? doc.ToMono()
                         : which == 1 ? doc.ToStereo()
                                      : doc.SwapChannels();
    if (!started) form_.Dialogs().Error(MsgText(which == 1 ? "needsmono" : "needsstereo"));
}
