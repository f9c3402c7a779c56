// The filter effects: the document's request and worker routine, run inside the edit frame
// like the seven effects. The part before and after the range is copied; the range goes
// through the effect's graph, its length scaled by the effect's ratio.
#include <cmath>

#include "apperror.h"
#include "denoise.h"
#include "filtergraph.h"
#include "uithread.h"
#include "wavfile.h"

bool Twavefile::ApplyFilter(const TFilterSettings& settings, int64_t start, int64_t end) {
    if (!ready_) return false;
    try {
        BuildFilterRun(settings, int(sampleRate_));
    } catch (const EAppError&) {
        return false;
    }
    return Dispatch(opFilter, [&] {
        range_ = start == end ? TRange{0, frames_} : Clamp(start, end);
        filter_ = settings;
    });
}

int64_t Twavefile::FilterFrames(const TFilterSettings& settings, TLargeFile& src,
                                TVersionWriter& dst, int64_t from, int64_t to, int64_t at) {
    const int n = channels_;
    const int rate = int(sampleRate_);
    const TFilterRun run = BuildFilterRun(settings, rate);
    const int64_t delay = MeasureDelay(run, n, rate);
    const int64_t out = FilterLength(settings, to - from);
    RunFilterGraph(run, delay, src, dst, n, rate, from, to, at, out, progress_);
    return out;
}

int64_t Twavefile::FilterLength(const TFilterSettings& settings, int64_t frames) const {
    const double ratio = BuildFilterRun(settings, int(sampleRate_)).lengthRatio;
    return ratio == 1.0 ? frames : std::llround(double(frames) * ratio);
}

void Twavefile::DoFilter() {
    const int64_t s = range_.start, e = range_.end, frames = frames_;
    const int n = channels_;
    const int64_t out = FilterLength(filter_, e - s);
    const TMarkerList marks = MarkersAfterStretch(markers_, s, e, s + out);
    RunEdit(frames - (e - s) + out, [&](TLargeFile& src, TVersionWriter& dst) {
        dst.CopyFrom(src, 0, 0, s * n);
        FilterFrames(filter_, src, dst, s, e, s);
        dst.CopyFrom(src, e * n, (s + out) * n, (frames - e) * n);
    }, 0, &marks);
    if (out != e - s) {
        RunOnUiThread([&] {
            if (OnStretched && !destroying_) OnStretched(this, s, e, s + out);
        });
    }
}

bool Twavefile::GetNoiseProfile(int64_t start, int64_t end) {
    if (!ready_ || end <= start) return false;
    return Dispatch(opNoiseProfile, [&] { range_ = Clamp(start, end); });
}

bool Twavefile::ReduceNoise(int64_t start, int64_t end, double strengthDb, double sensitivity) {
    if (!ready_ || noiseProfile_.empty() || noiseChannels_ != channels_) return false;
    if (!(strengthDb > 0 && strengthDb <= 100) || !(sensitivity >= 0 && sensitivity <= 1))
        return false;
    return Dispatch(opReduceNoise, [&] {
        range_ = start == end ? TRange{0, frames_} : Clamp(start, end);
        denoiseDb_ = strengthDb;
        denoiseSensitivity_ = sensitivity;
    });
}

void Twavefile::DoNoiseProfile() {
    TLargeFile source(tempPath_);
    std::string profile = NoiseProfile(source, channels_, int(sampleRate_), range_.start,
                                       range_.end, tempFolder_);
    RunOnUiThread([&] {
        noiseProfile_ = std::move(profile);
        noiseChannels_ = channels_;
    });
}

void Twavefile::DoReduceNoise() {
    const int64_t s = range_.start, e = range_.end, frames = frames_;
    const int n = channels_;
    RunEdit(frames, [&](TLargeFile& src, TVersionWriter& dst) {
        dst.CopyFrom(src, 0, 0, s * n);
        ::ReduceNoise(noiseProfile_, denoiseDb_, denoiseSensitivity_, src, dst, n,
                      int(sampleRate_), s, e, s, tempFolder_, progress_);
        dst.CopyFrom(src, e * n, e * n, (frames - e) * n);
    });
}
