// Previews: an effect's result on a range written to a short-lived WAV file of its own, for the
// player. The same per-range routines as the effects' steps fill it; nothing of the document
// (versions, history, markers) is touched.
#include <algorithm>
#include <cmath>

#include "apperror.h"
#include "denoise.h"
#include "filtergraph.h"
#include "largefile.h"
#include "peakbuilder.h"
#include "uithread.h"
#include "versionfiles.h"
#include "wavfile.h"

namespace {

// The values a step would refuse are refused for its preview too.
bool Acceptable(const TPreviewEffect& e, int sampleRate, bool profile) {
    switch (e.kind) {
        case TPreviewEffect::kFilter:
            try {
                BuildFilterRun(e.filter, sampleRate);
            } catch (const EAppError&) {
                return false;
            }
            return true;
        case TPreviewEffect::kAmplify:
        case TPreviewEffect::kNormalize:
            return e.percent >= 0;
        case TPreviewEffect::kFadeIn:
        case TPreviewEffect::kFadeOut:
            return true;
        case TPreviewEffect::kLoudness:
            return std::isfinite(e.targetLufs) && std::isfinite(e.ceilingDbtp);
        case TPreviewEffect::kTrim:
            return std::isfinite(e.trimDb);
        case TPreviewEffect::kDenoise:
            return profile && e.denoiseDb > 0 && e.denoiseDb <= 100 && e.sensitivity >= 0 &&
                   e.sensitivity <= 1;
    }
    return false;
}

}  // namespace

bool Twavefile::Preview(const TPreviewEffect& effect, int64_t start, int64_t end) {
    if (!ready_ || busy_) return false;
    const bool profile = !noiseProfile_.empty() && noiseChannels_ == channels_;
    if (!Acceptable(effect, int(sampleRate_), profile)) return false;
    return Dispatch(opPreview, [&] {
        range_ = start == end ? TRange{0, frames_} : Clamp(start, end);
        preview_ = effect;
        const TRange fade = Clamp(effect.fadeStart, effect.fadeEnd);
        preview_.fadeStart = fade.start;
        preview_.fadeEnd = fade.end;
    });
}

void Twavefile::DropPreview() {
    if (previewPath_.isEmpty()) return;
    previewWritten_ = 0;
    RemoveVersionFile(previewPath_);
    previewPath_.clear();
}

void Twavefile::RenderPreview(TLargeFile& source, TVersionWriter& writer, int64_t s, int64_t e) {
    const TPreviewEffect& p = preview_;
    const int n = channels_;
    switch (p.kind) {
        case TPreviewEffect::kFilter:
            FilterFrames(p.filter, source, writer, s, e, 0);
            break;
        case TPreviewEffect::kAmplify:
            AmplifyFrames(source, writer, s, e, 0, p.percent);
            break;
        case TPreviewEffect::kNormalize:
            NormalizeFrames(source, writer, s, e, 0, p.percent);
            break;
        case TPreviewEffect::kFadeIn:
        case TPreviewEffect::kFadeOut: {
            // The range may hold the fade's start or end, or lie wholly before or after it.
            const int64_t a = std::clamp(p.fadeStart, s, e), b = std::clamp(p.fadeEnd, s, e);
            writer.CopyFrom(source, s * n, 0, (a - s) * n);
            FadeFrames(source, writer, p.fadeStart, p.fadeEnd, a, b, a - s,
                       p.kind == TPreviewEffect::kFadeIn);
            writer.CopyFrom(source, b * n, (b - s) * n, (e - b) * n);
            break;
        }
        case TPreviewEffect::kLoudness: {
            TLoudnessGain gain;
            if (LoudnessFactor(source, s, e, p.targetLufs, p.ceilingDbtp, gain)) {
                GainFrames(source, writer, s, e, 0, std::pow(10.0, gain.gainDb / 20.0));
            } else {
                // Silence: the step leaves it as it is.
                writer.CopyFrom(source, s * n, 0, (e - s) * n);
            }
            break;
        }
        case TPreviewEffect::kTrim:
            // DoPreview has cut the range to what the trim keeps.
            writer.CopyFrom(source, s * n, 0, (e - s) * n);
            break;
        case TPreviewEffect::kDenoise:
            ::ReduceNoise(noiseProfile_, p.denoiseDb, p.sensitivity, source, writer, n,
                          int(sampleRate_), s, e, 0, tempFolder_, progress_);
            break;
    }
}

void Twavefile::DoPreview() {
    int64_t s = range_.start, e = range_.end;
    int64_t keepStart = 0, keepEnd = frames_;
    if (preview_.kind == TPreviewEffect::kTrim &&
        TrimBounds(preview_.trimDb, preview_.trimMarginMs, keepStart, keepEnd)) {
        // The frames of the range the trim keeps (none when it takes all of them).
        s = std::clamp(s, keepStart, keepEnd);
        e = std::clamp(e, s, keepEnd);
    }
    const int n = channels_;
    const bool filter = preview_.kind == TPreviewEffect::kFilter;
    const int64_t out = filter ? FilterLength(preview_.filter, e - s) : e - s;
    const uint64_t bytes = uint64_t(out) * n * 2;
    RunOnUiThread([&] { DropPreview(); });
    const QString path = CreateVersionFile(tempFolder_);
    try {
        TWavHeader h = header_;
        h.SetDataBytes(bytes);
        TLargeFile source(tempPath_);
        TLargeFile target(path, WavFileBytes(bytes));
        target.WriteHeader(h);
        // A preview's peaks are never drawn: nothing is taken from the source's table.
        static const Tindexdata kUnknown;
        TVersionWriter writer(target, {&source, &kUnknown, frames_}, out, n);
        previewWritten_ = 0;
        writer.TrackWritten(&previewWritten_);
        RunOnUiThread([&] { renderingPath_ = path; });
        RenderPreview(source, writer, s, e);
        if (cancelled_) throw EAbort();
    } catch (...) {
        RunOnUiThread([&] { renderingPath_.clear(); });
        RemoveVersionFile(path);
        throw;
    }
    // Stretches written side by side are counted only now.
    previewWritten_ = out * n;
    progress_ = 100;
    RunOnUiThread([&] {
        renderingPath_.clear();
        if (cancelled_) {
            RemoveVersionFile(path);
            return;
        }
        previewPath_ = path;
    });
    if (previewPath_ != path) throw EAbort();
}
