// The filter effects: the document's request and worker routine, run inside the edit frame
// like the seven effects. The part before and after the range is copied; the range goes
// through the effect's graph, its length scaled by the effect's ratio.
#include <cmath>

#include "apperror.h"
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

void Twavefile::DoFilter() {
    const int64_t s = range_.start, e = range_.end, frames = frames_;
    const int n = channels_;
    const int rate = int(sampleRate_);
    const TFilterRun run = BuildFilterRun(filter_, rate);
    const int64_t delay = MeasureDelay(run, n, rate);
    const int64_t out = run.lengthRatio == 1.0 ? e - s : std::llround(double(e - s) * run.lengthRatio);
    RunEdit(frames - (e - s) + out, [&](TLargeFile& src, TVersionWriter& dst) {
        dst.CopyFrom(src, 0, 0, s * n);
        RunFilterGraph(run, delay, src, dst, n, rate, s, e, s, out, progress_);
        dst.CopyFrom(src, e * n, (s + out) * n, (frames - e) * n);
    });
    if (out != e - s) {
        RunOnUiThread([&] {
            if (OnStretched && !destroying_) OnStretched(this, s, e, s + out);
        });
    }
}
