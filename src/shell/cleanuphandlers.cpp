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
    const auto [s, end] = PreviewRange();
    TEffectDialog* dialog = effectDialog_;
    auto preview = std::make_unique<TEffectPreview>(
        form_.Document(),
        [dialog, effect]() -> std::optional<TPreviewEffect> {
            TPreviewEffect p;
            p.filter = {effect, dialog->Values()};
            return p;
        },
        s, end);
    effectDialog_->SetPreview(preview.get());
    const bool ok = form_.Dialogs().Run(*effectDialog_);
    // Ended before the step: the document must be free for it.
    preview.reset();
    if (!ok) return;
    last = effectDialog_->Values();
    ApplyToSelection({effect, last});
}

void TCommands::EqualizerActionExecute() {
    if (!form_.Loaded()) return;
    if (!eqDialog_) eqDialog_ = new TEqDialog(&form_);
    eqDialog_->Prepare();
    if (!form_.Dialogs().Run(*eqDialog_)) return;
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
    if (!form_.Dialogs().Run(*noiseDialog_)) return;
    const TWaveView& view = form_.View();
    const auto [s, e] = view.OrderedSelection();
    const bool part = view.HasSelection() && s != e;
    if (!doc.ReduceNoise(part ? s : 0, part ? e : 0, noiseDialog_->Strength(),
                         noiseDialog_->Sensitivity()))
        form_.Dialogs().Error(MsgText("noiseprofileneeded"));
}
