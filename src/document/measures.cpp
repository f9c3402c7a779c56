// Loudness normalization, trimming of silence and the channel operations: the document's
// requests and worker routines, run inside the edit frame like the seven effects.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "messages.h"
#include "samplemath.h"
#include "stretches.h"
#include "uithread.h"
#include "wavfile.h"

namespace {

constexpr int64_t kRunFrames = 32768;

// Below this a pass is not worth a second thread.
constexpr int64_t kMinStretchFrames = int64_t(1) << 20;

int16_t Limit(double v) {
    return static_cast<int16_t>(std::clamp(v, -32767.0, 32767.0));
}

// One run of a channel operation, `count` frames from a to b.
void MixRun(int32_t code, const int16_t* a, int16_t* b, int64_t count) {
    if (code == opToMono) {
        // The mean, rounded to nearest with ties to even, as a stereo paste into a mono sound
        // does. The sum of two samples is even or odd; half of an odd sum is a tie, which goes
        // to the even neighbour: the arithmetic shift floors, and the odd result steps up.
        for (int64_t k = 0; k < count; ++k) {
            const int32_t sum = int32_t(a[2 * k]) + a[2 * k + 1];
            const int32_t low = sum >> 1;
            b[k] = static_cast<int16_t>(low + (sum & low & 1));
        }
    } else if (code == opToStereo) {
        for (int64_t k = 0; k < count; ++k) b[2 * k] = b[2 * k + 1] = a[k];
    } else {
        for (int64_t k = 0; k < count; ++k) {
            b[2 * k] = a[2 * k + 1];
            b[2 * k + 1] = a[2 * k];
        }
    }
}

}  // namespace

// --- requests --------------------------------------------------------------------------------

void Twavefile::MeasureLoudness() {
    if (!ready_) return;
    Dispatch(opMeasureLoudness, nullptr);
}

std::optional<TLoudness> Twavefile::Loudness() const {
    if (loudnessPath_.isEmpty() || loudnessPath_ != tempPath_) return std::nullopt;
    return loudness_;
}

void Twavefile::NormalizeLoudness(int64_t start, int64_t end, double targetLufs,
                                  double ceilingDbtp) {
    if (!ready_) return;
    Dispatch(opNormalizeLoudness, [&] {
        range_ = start == end ? TRange{0, frames_} : Clamp(start, end);
        loudnessTarget_ = targetLufs;
        loudnessCeiling_ = ceilingDbtp;
    });
}

bool Twavefile::ToMono() {
    return ready_ && channels_ == 2 && Dispatch(opToMono, nullptr);
}

bool Twavefile::ToStereo() {
    return ready_ && channels_ == 1 && Dispatch(opToStereo, nullptr);
}

bool Twavefile::SwapChannels() {
    return ready_ && channels_ == 2 && Dispatch(opSwapChannels, nullptr);
}

void Twavefile::TrimSilence(double thresholdDb, int32_t marginMs) {
    if (!ready_) return;
    Dispatch(opTrimSilence, [&] {
        trimThreshold_ = thresholdDb;
        trimMarginMs_ = std::max(0, marginMs);
    });
}

void Twavefile::Notice(const char* messageKey, const char* captionKey, const QString& arg1,
                       const QString& arg2) {
    QString message = QString::fromStdString(Msg(messageKey));
    if (!arg1.isNull()) message = message.arg(arg1);
    if (!arg2.isNull()) message = message.arg(arg2);
    const QString caption = QString::fromStdString(Msg(captionKey));
    RunOnUiThread([&] {
        if (notifier_ && !destroying_) notifier_->ShowNotice(message, caption);
    });
}

// --- worker routines -------------------------------------------------------------------------

void Twavefile::DoMeasureLoudness() {
    TLargeFile source(tempPath_);
    const TLoudness l = ::MeasureLoudness(source, 0, frames_, channels_, sampleRate_, progress_, 0,
                                          {exactPeaks_, frames_});
    RunOnUiThread([&] {
        loudness_ = l;
        loudnessPath_ = tempPath_;
    });
}

bool Twavefile::LoudnessFactor(TLargeFile& src, int64_t from, int64_t to, double targetLufs,
                               double ceilingDbtp, TLoudnessGain& gain) {
    const TLoudness measured = MeasureForGain(src, from, to - from, channels_, sampleRate_,
                                              targetLufs, ceilingDbtp, progress_,
                                              {exactPeaks_, frames_});
    return LoudnessGain(measured, targetLufs, ceilingDbtp, gain);
}

void Twavefile::GainFrames(TLargeFile& src, TVersionWriter& dst, int64_t from, int64_t to,
                           int64_t at, double factor) {
    const int n = channels_;
    std::atomic<int64_t> done{0};
    RunInStretches(from, to, kPeakBlockFrames, kMinStretchFrames, &cancelled_,
                   [&](int64_t first, int64_t last) {
        std::vector<int16_t> buf(size_t(kRunFrames) * n);
        for (int64_t f = first; f < last;) {
            const int64_t count = std::min<int64_t>(kRunFrames, last - f);
            src.ReadSamples(buf.data(), f * n, (f + count) * n - 1);
            for (int64_t i = 0; i < count * n; ++i) buf[i] = Limit(RoundHalfEven(buf[i] * factor));
            const int64_t w = f - from + at;
            dst.WriteSamples(buf.data(), w * n, (w + count) * n - 1);
            f += count;
            progress_ = static_cast<int32_t>((done += count) * 100 / (to - from));
        }
    });
}

void Twavefile::DoNormalizeLoudness() {
    const int64_t s = range_.start, e = range_.end, frames = frames_;
    const int n = channels_;
    TLoudnessGain gain;
    bool audible;
    {
        TLargeFile source(tempPath_);
        audible = LoudnessFactor(source, s, e, loudnessTarget_, loudnessCeiling_, gain);
    }
    if (!audible) {
        Notice("loudnesssilent", "loudnesstitle");
        return;
    }
    const double factor = std::pow(10.0, gain.gainDb / 20.0);
    RunEdit(frames, [&](TLargeFile& src, TVersionWriter& dst) {
        dst.CopyFrom(src, 0, 0, int64_t(s) * n);
        GainFrames(src, dst, s, e, s, factor);
        dst.CopyFrom(src, int64_t(e) * n, int64_t(e) * n, (int64_t(frames) - e) * n);
        progress_ = 100;
    });
    if (gain.limited) {
        Notice("loudnesslimited", "loudnesstitle", LoudnessValue(loudnessCeiling_),
               LoudnessValue(gain.reachedLufs));
    }
}

void Twavefile::DoChannels(int32_t code) {
    const int64_t frames = frames_;
    const int from = channels_;
    const int to = code == opToMono ? 1 : 2;
    RunEdit(
        frames,
        [&](TLargeFile& src, TVersionWriter& dst) {
            std::atomic<int64_t> done{0};
            RunInStretches(0, frames, kPeakBlockFrames, kMinStretchFrames, &cancelled_,
                           [&](int64_t first, int64_t last) {
                std::vector<int16_t> in(size_t(kRunFrames) * from), out(size_t(kRunFrames) * to);
                for (int64_t f = first; f < last;) {
                    const int64_t count = std::min<int64_t>(kRunFrames, last - f);
                    src.ReadSamples(in.data(), f * from, (f + count) * from - 1);
                    MixRun(code, in.data(), out.data(), count);
                    dst.WriteSamples(out.data(), f * to, (f + count) * to - 1);
                    f += count;
                    progress_ = static_cast<int32_t>((done += count) * 100 / frames);
                }
            });
            progress_ = 100;
        },
        uint16_t(to));
}

bool Twavefile::TrimBounds(double thresholdDb, int32_t marginMs, int64_t& start,
                           int64_t& end) {
    const int64_t frames = frames_;
    const int n = channels_;
    // A sample is sound when its magnitude passes the threshold (0 dBFS is 32768).
    const double threshold = 32768.0 * std::pow(10.0, thresholdDb / 20.0);
    auto loud = [&](const int16_t* frame) {
        for (int c = 0; c < n; ++c) {
            if (std::abs(int32_t(frame[c])) > threshold) return true;
        }
        return false;
    };
    int64_t first = -1, last = -1;
    {
        TLargeFile source(tempPath_);
        std::vector<int16_t> buf(size_t(kRunFrames) * n);
        for (int64_t f = 0; f < frames && first < 0;) {
            const int64_t count = std::min<int64_t>(kRunFrames, frames - f);
            source.ReadSamples(buf.data(), f * n, (f + count) * n - 1);
            for (int64_t k = 0; k < count; ++k) {
                if (loud(&buf[size_t(k * n)])) {
                    first = f + k;
                    break;
                }
            }
            f += count;
        }
        for (int64_t f = frames; f > first && first >= 0 && last < 0;) {
            const int64_t count = std::min<int64_t>(kRunFrames, f - first);
            source.ReadSamples(buf.data(), (f - count) * n, f * n - 1);
            for (int64_t k = count - 1; k >= 0; --k) {
                if (loud(&buf[size_t(k * n)])) {
                    last = f - count + k;
                    break;
                }
            }
            f -= count;
        }
    }
    if (first < 0) return false;
    const int64_t margin = int64_t(std::max(0, marginMs)) * sampleRate_ / 1000;
    start = std::max<int64_t>(0, first - margin);
    end = std::min<int64_t>(frames, last + 1 + margin);
    return true;
}

void Twavefile::DoTrimSilence() {
    const int64_t frames = frames_;
    const int n = channels_;
    int64_t s = 0, e = frames;
    if (!TrimBounds(trimThreshold_, trimMarginMs_, s, e)) {
        Notice("trimsilent", "trimtitle");
        return;
    }
    // Nothing to take away: no new version.
    if (s == 0 && e == frames) return;
    // The tail goes first, so the head's frames are those of the sound as it was.
    const TMarkerList marks = MarkersAfterDelete(MarkersAfterDelete(markers_, e, frames - e), 0, s);
    RunEdit(e - s, [&](TLargeFile& src, TVersionWriter& dst) {
        dst.CopyFrom(src, s * n, 0, (e - s) * n);
    }, 0, &marks);
}
