// The handlers of the main window's commands: each checks what it needs (a document, a
// selection, playback) and then calls the document, the view or the window.
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>
#include <vector>

#include "closingflow.h"
#include "commands.h"
#include "dialogs/filterform.h"
#include "effectpreview.h"
#include "filenames.h"
#include "mainform.h"
#include "recorder.h"
#include "settings.h"
#include "shelltexts.h"
#include "timetext.h"
#include "vumeter.h"
#include "wavfile.h"

namespace {

// The extensions a save writes, as the Save As dialog's types give them (compared exactly).
const QStringList& SavedExtensions() {
    static const QStringList all = {".wav", ".mp3", ".flac", ".ogg", ".oga", ".opus"};
    return all;
}

bool WritableFormat(const QString& name) {
    return SavedExtensions().contains(ExtensionOf(name).toLower());
}

// The Save As type proposed for a source we cannot write: FLAC, which keeps every sample.
constexpr int kFlacSaveType = 3;

}  // namespace

// --- closing and saving ------------------------------------------------------------------------

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
    const bool writable = WritableFormat(doc.FileName());
    const int type = writable ? Settings.savetype : kFlacSaveType;
    QString proposal = form_.SaveProposal();
    // "talk.wma" is proposed as "talk.flac", beside the source, so Enter does not overwrite it.
    if (!writable && QFileInfo(proposal).isFile()) proposal = ChangeFileExt(proposal, QStringLiteral("flac"));
    const std::optional<TSaveChoice> choice =
        form_.Dialogs().SaveFileName(SaveFilters(), SaveSuffixes(), type, proposal);
    if (!choice) return false;
    saveDialogType_ = choice->typeIndex;
    QString name = choice->fileName;
    // Compared exactly: "x.MP3" gets the default extension too.
    const QString ext = ExtensionOf(name);
    if (!SavedExtensions().contains(ext)) {
        name += '.' + choice->defaultSuffix;
    }
    if (!ConfirmOverwrite(name)) return false;
    Settings.savetype = choice->typeIndex;
    const QString previous = doc.FileName();
    doc.SetFileName(name);
    const bool started = doc.Save();
    if (started) {
        form_.updatecaption(name);
        form_.SavingAs(name);
    } else {
        doc.SetFileName(previous);
    }
    return started;
}

// --- File --------------------------------------------------------------------------------------

void TCommands::OpenActionExecute() {
    const QString path = form_.Dialogs().OpenFileName(OpenFilters(), form_.StartFolder());
    if (path.isEmpty()) return;
    form_.openfile(path);
}

void TCommands::CloseActionExecute() {
    form_.ClosingFlow().Close();
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
    if (!form_.Loaded() || !view.HasSelection()) return;
    const std::optional<TSaveChoice> choice =
        form_.Dialogs().SaveFileName(SaveFilters(), SaveSuffixes(), saveDialogType_,
                                     form_.StartFolder());
    if (!choice) return;
    saveDialogType_ = choice->typeIndex;
    const QString suffix = SaveSuffixes().value(choice->typeIndex - 1, SaveSuffixes().first());
    const QString name = ChangeFileExt(choice->fileName, suffix);
    if (!ConfirmOverwrite(name)) return;
    const auto [s, e] = view.OrderedSelection();
    form_.Document().SaveRange(name, s, e);
}

void TCommands::ExitActionExecute() {
    form_.close();
}

// --- Edit --------------------------------------------------------------------------------------

namespace {

// The undo rule: a page larger than the document shrinks to it.
void FitPage(QScrollBar& bar, int64_t frames) {
    if (bar.pageStep() >= 0 && int64_t(bar.pageStep()) > frames) bar.setPageStep(int(frames));
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

void TCommands::ShrinkView(int64_t removed) {
    QScrollBar& bar = form_.Scroll();
    TWaveView& view = form_.View();
    bar.setPageStep(int(std::max<int64_t>(int64_t(bar.pageStep()) - removed, 0)));
    view.ShrinkVisible(removed);
}

namespace {

// The smooth-joins setting as it is now, for the edit about to be requested.
void ApplyJoinSetting(Twavefile& doc) {
    doc.SetJoinFade(Settings.smoothjoins ? Settings.joinfade : 0);
}

}  // namespace

void TCommands::CutActionExecute() {
    TWaveView& view = form_.View();
    Twavefile& doc = form_.Document();
    if (!form_.Loaded() || !view.HasSelection() || doc.Busy()) return;
    const auto [s, e] = view.OrderedSelection();
    ApplyJoinSetting(doc);
    doc.Cut(s, e);
    ShrinkView(e - s);
    view.ClearSelection();
    view.SetCursor(s);
}

void TCommands::CopyActionExecute() {
    TWaveView& view = form_.View();
    if (!form_.Loaded() || !view.HasSelection()) return;
    const auto [s, e] = view.OrderedSelection();
    form_.Document().Copy(s, e);
}

void TCommands::PasteActionExecute() {
    if (!form_.Loaded()) return;
    ApplyJoinSetting(form_.Document());
    form_.Document().Paste(form_.View().CursorFrame());
}

void TCommands::DeleteActionExecute() {
    TWaveView& view = form_.View();
    Twavefile& doc = form_.Document();
    if (!form_.Loaded() || !view.HasSelection() || doc.Busy()) return;
    const auto [s, e] = view.OrderedSelection();
    ApplyJoinSetting(doc);
    doc.Delete(s, e);
    ShrinkView(e - s);
    view.ClearSelection();
    view.SetCursor(s);
}

void TCommands::SelectAllActionExecute() {
    if (!form_.Shown()) return;
    const int64_t frames = form_.Document().Frames();
    form_.WritePosition(form_.selstart(), 0, 0);
    form_.WritePosition(form_.selstop(), frames, form_.View().SamplesToMs(frames));
    form_.sel()->setChecked(true);
    form_.selClick();
}

void TCommands::DeselectAllActionExecute() {
    form_.sel()->setChecked(false);
    form_.selClick();
}

// --- Recording ---------------------------------------------------------------------------------

void TCommands::RecordActionExecute(bool append) {
    if (form_.Recorder().Active()) return form_.Recorder().Stop();
    form_.Recorder().Record(append);
}

void TCommands::MonitorActionExecute() {
    const bool on = MonitorAction->isChecked();
    try {
        form_.Recorder().SetMonitor(on);
    } catch (...) {
        MonitorAction->setChecked(false);
        throw;
    }
}

// --- Operations --------------------------------------------------------------------------------

void TCommands::PlayActionExecute() {
    if (!form_.Shown()) return;
    form_.View().Play();
    // The player takes a volume only while it has a buffer: set it again now.
    form_.VolumeBarChange();
    StopAction->setEnabled(true);
    PlayAction->setEnabled(false);
    form_.Meter().ResetMeter();
}

void TCommands::PauseActionExecute() {
    if (form_.Recorder().Active()) return form_.Recorder().TogglePause();
    // The cursor stays where playback got to, so the next Play goes on from there.
    if (form_.Playing()) form_.View().Stop();
}

void TCommands::StopActionExecute() {
    if (form_.Recorder().Active()) return form_.Recorder().Stop();
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
                                           int minimum, int maximum, int value,
                                           TValueEffect effect) {
    Tfilterform* dialog = form_.FilterForm();
    if (!dialog) return std::nullopt;
    dialog->setproperties(MsgText(titleKey), MsgText(labelKey), minimum, maximum, value);
    const bool ok =
        effect ? RunWithPreview(
                     *dialog, [dialog](TEffectPreview* p) { dialog->SetPreview(p); },
                     [dialog, effect]() -> std::optional<TPreviewEffect> {
                         return effect(dialog->Value());
                     })
               : form_.Dialogs().Run(*dialog);
    if (!ok) return std::nullopt;
    return dialog->Value();
}

bool TCommands::RunWithPreview(QDialog& dialog,
                               const std::function<void(TEffectPreview*)>& attach,
                               std::function<std::optional<TPreviewEffect>()> effect) {
    const auto [s, e] = PreviewRange();
    auto preview = std::make_unique<TEffectPreview>(form_.Document(), std::move(effect), s, e,
                                                    form_.Backend());
    attach(preview.get());
    const bool ok = form_.Dialogs().Run(dialog);
    // Ended before the step: the document must be free for it.
    preview.reset();
    return ok;
}

std::pair<int64_t, int64_t> TCommands::PreviewRange() {
    constexpr int kPreviewMs = 6000;
    TWaveView& view = form_.View();
    // The dialog's sound and the window's playing would talk over each other.
    if (view.Playing()) view.Stop();
    const auto [s, e] = view.OrderedSelection();
    if (view.HasSelection() && s != e) return {s, e};
    const int64_t from = view.CursorFrame();
    return {from, std::min(form_.Document().Frames(), from + view.MsToSamples(kPreviewMs))};
}

namespace {

TPreviewEffect WithPercent(TPreviewEffect::TKind kind, int percent) {
    TPreviewEffect p;
    p.kind = kind;
    p.percent = percent;
    return p;
}

TPreviewEffect Loudness(double target, double ceiling) {
    TPreviewEffect p;
    p.kind = TPreviewEffect::kLoudness;
    p.targetLufs = target;
    p.ceilingDbtp = ceiling;
    return p;
}

// The ceiling the loudness dialog proposes; the target's preview takes it.
constexpr int kDefaultCeiling = -1;

TPreviewEffect Trim(int thresholdDb, int marginMs) {
    TPreviewEffect p;
    p.kind = TPreviewEffect::kTrim;
    p.trimDb = thresholdDb;
    p.trimMarginMs = marginMs;
    return p;
}

// The margin the trim dialog proposes; the threshold's preview takes it.
constexpr int kDefaultMargin = 100;

}  // namespace

void TCommands::FadeInActionExecute() {
    TWaveView& view = form_.View();
    if (!form_.Loaded() || !view.HasSelection()) return;
    const auto [s, e] = view.OrderedSelection();
    form_.Document().FadeIn(s, e);
    view.ClearSelection();
}

void TCommands::FadeOutActionExecute() {
    TWaveView& view = form_.View();
    if (!form_.Loaded() || !view.HasSelection()) return;
    const auto [s, e] = view.OrderedSelection();
    form_.Document().FadeOut(s, e);
    view.ClearSelection();
}

void TCommands::SilenceActionExecute() {
    if (!form_.Loaded()) return;
    const std::optional<int> ms = AskParameter("silencetitle", "silencename", 0, 0, 500);
    // A negative duration means nothing to insert.
    if (!ms || *ms < 0) return;
    TWaveView& view = form_.View();
    form_.Document().InsertSilence(view.CursorFrame(), view.MsToSamples(*ms));
}

void TCommands::NormalizationActionExecute() {
    if (!form_.Loaded()) return;
    if (const auto percent =
            AskParameter("normaltitle", "normalname", 0, 100, 95, [](int v) {
                return WithPercent(TPreviewEffect::kNormalize, v);
            })) {
        form_.Document().Normalize(*percent);
    }
}

void TCommands::AmplifyIActionExecute() {
    if (!form_.Loaded()) return;
    if (const auto percent = AskParameter("amplifytitle", "amplifyname", 0, 200, 101, [](int v) {
            return WithPercent(TPreviewEffect::kAmplify, v);
        })) {
        form_.Document().Amplify(*percent);
    }
}

void TCommands::AmplifyDActionExecute() {
    if (!form_.Loaded()) return;
    if (const auto percent = AskParameter("amplifytitle", "amplifyname", 0, 200, 10, [](int v) {
            return WithPercent(TPreviewEffect::kAmplify, v);
        })) {
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
    const auto target = AskParameter("loudnesstitle", "loudnesstarget", -70, 0, -16, [](int v) {
        return Loudness(v, kDefaultCeiling);
    });
    if (!target) return;
    const int t = *target;
    const auto ceiling =
        AskParameter("loudnesstitle", "loudnessceiling", -20, 0, kDefaultCeiling,
                     [t](int v) { return Loudness(t, v); });
    if (!ceiling) return;
    // The selection, or the whole sound when there is none.
    const TWaveView& view = form_.View();
    const auto [s, e] = view.OrderedSelection();
    const bool part = view.HasSelection() && s != e;
    form_.Document().NormalizeLoudness(part ? s : 0, part ? e : 0,
                                       *target, *ceiling);
}

void TCommands::TrimSilenceActionExecute() {
    if (!form_.Loaded()) return;
    const auto threshold = AskParameter("trimtitle", "trimthreshold", -120, 0, -50, [](int v) {
        return Trim(v, kDefaultMargin);
    });
    if (!threshold) return;
    const int t = *threshold;
    const auto margin = AskParameter("trimtitle", "trimmargin", 0, 10000, kDefaultMargin,
                                     [t](int v) { return Trim(t, v); });
    if (!margin) return;
    form_.Document().TrimSilence(*threshold, *margin);
    form_.View().ClearSelection();
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
