// The handlers of the filter effects and of noise reduction: each runs its dialog and hands the
// values to the document, over the selection or, when there is none, the whole sound.
#include "commands.h"
#include "dialogs/effectdialog.h"
#include "dialogs/eqdialog.h"
#include "dialogs/noisedialog.h"
#include "effectpreview.h"
#include "mainform.h"
#include "shelltexts.h"
#include "wavfile.h"

void TCommands::ApplyToSelection(const TFilterSettings& settings) {
    TWaveView& view = form_.View();
    const auto [s, e] = view.OrderedSelection();
    const bool part = view.HasSelection() && s != e;
    Twavefile& doc = form_.Document();
    if (!doc.ApplyFilter(settings, part ? s : 0, part ? e : 0)) return;
    // A new length leaves no selection that would still mean what it meant.
    if (FindFilterEffect(settings.effect)->build(settings.values, int(doc.SampleRate()))
            .lengthRatio != 1.0)
        view.ClearSelection();
}

void TCommands::FilterActionExecute(const char* effect, const char* titleKey) {
    if (!form_.Loaded()) return;
    const TFilterEffect* e = FindFilterEffect(effect);
    if (!e) return;
    if (!effectDialog_) effectDialog_ = new TEffectDialog(&form_);
    std::vector<double>& last = filterValues_[effect];
    effectDialog_->SetEffect(*e, MsgText(titleKey), last);
    TEffectDialog* dialog = effectDialog_;
    const bool ok = RunWithPreview(
        *dialog, [dialog](TEffectPreview* p) { dialog->SetPreview(p); },
        [dialog, effect]() -> std::optional<TPreviewEffect> {
            TPreviewEffect p;
            p.filter = {effect, dialog->Values()};
            return p;
        });
    if (!ok) return;
    last = effectDialog_->Values();
    ApplyToSelection({effect, last});
}

void TCommands::EqualizerActionExecute() {
    if (!form_.Loaded()) return;
    if (!eqDialog_) eqDialog_ = new TEqDialog(&form_);
    eqDialog_->Prepare();
    TEqDialog* dialog = eqDialog_;
    const bool ok = RunWithPreview(
        *dialog, [dialog](TEffectPreview* p) { dialog->SetPreview(p); },
        [dialog]() -> std::optional<TPreviewEffect> {
            TPreviewEffect p;
            p.filter = {"eq", dialog->Values()};
            // Every band flat: the sound as it is, which the player plays without us.
            if (p.filter.values.empty()) return std::nullopt;
            return p;
        });
    if (!ok) return;
    const std::vector<double> bands = eqDialog_->Values();
    // Every band flat: nothing to do.
    if (!bands.empty()) ApplyToSelection({"eq", bands});
}

void TCommands::NoiseProfileActionExecute() {
    if (!form_.Loaded()) return;
    const TWaveView& view = form_.View();
    const auto [s, e] = view.OrderedSelection();
    if (!view.HasSelection() || s == e) {
        form_.Dialogs().Error(MsgText("noiseselect"));
        return;
    }
    form_.Document().GetNoiseProfile(s, e);
}

void TCommands::NoiseReductionActionExecute() {
    if (!form_.Loaded()) return;
    Twavefile& doc = form_.Document();
    if (!doc.HasNoiseProfile()) {
        form_.Dialogs().Error(MsgText("noiseprofileneeded"));
        return;
    }
    if (!noiseDialog_) noiseDialog_ = new TNoiseDialog(&form_);
    noiseDialog_->Prepare();
    TNoiseDialog* dialog = noiseDialog_;
    const bool ok = RunWithPreview(
        *dialog, [dialog](TEffectPreview* p) { dialog->SetPreview(p); },
        [dialog]() -> std::optional<TPreviewEffect> {
            TPreviewEffect p;
            p.kind = TPreviewEffect::kDenoise;
            p.denoiseDb = dialog->Strength();
            p.sensitivity = dialog->Sensitivity();
            return p;
        });
    if (!ok) return;
    const TWaveView& view = form_.View();
    const auto [s, e] = view.OrderedSelection();
    const bool part = view.HasSelection() && s != e;
    if (!doc.ReduceNoise(part ? s : 0, part ? e : 0, noiseDialog_->Strength(),
                         noiseDialog_->Sensitivity()))
        form_.Dialogs().Error(MsgText("noiseprofileneeded"));
}
