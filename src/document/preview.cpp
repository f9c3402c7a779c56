// Previews: an effect's result on a range written to a short-lived WAV file of its own, for the
// player. The same per-range routines as the effects' steps fill it; nothing of the document
// (versions, history, markers) is touched.
#include "apperror.h"
#include "largefile.h"
#include "peakbuilder.h"
#include "uithread.h"
#include "versionfiles.h"
#include "wavfile.h"

bool Twavefile::Preview(const TPreviewEffect& effect, int64_t start, int64_t end) {
    if (!ready_ || busy_) return false;
    if (effect.kind == TPreviewEffect::kFilter) {
        try {
            BuildFilterRun(effect.filter, int(sampleRate_));
        } catch (const EAppError&) {
            return false;
        }
    } else if (effect.percent < 0) {
        return false;
    }
    return Dispatch(opPreview, [&] {
        range_ = start == end ? TRange{0, frames_} : Clamp(start, end);
        preview_ = effect;
    });
}

void Twavefile::DropPreview() {
    if (previewPath_.isEmpty()) return;
    RemoveVersionFile(previewPath_);
    previewPath_.clear();
}

void Twavefile::DoPreview() {
    const int64_t s = range_.start, e = range_.end;
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
        if (filter) {
            FilterFrames(preview_.filter, source, writer, s, e, 0);
        } else {
            AmplifyFrames(source, writer, s, e, 0, preview_.percent);
        }
        if (cancelled_) throw EAbort();
    } catch (...) {
        RemoveVersionFile(path);
        throw;
    }
    progress_ = 100;
    RunOnUiThread([&] {
        if (cancelled_) {
            RemoveVersionFile(path);
            return;
        }
        previewPath_ = path;
    });
    if (previewPath_ != path) throw EAbort();
}
