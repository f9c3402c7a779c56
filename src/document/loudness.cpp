// Loudness measured by libebur128 over runs of samples read from a version file.
#include "loudness.h"

#include <ebur128.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "apperror.h"
#include "largefile.h"

namespace {

constexpr int64_t kRunFrames = 65536;

struct TStateDeleter {
    void operator()(ebur128_state* s) const { ebur128_destroy(&s); }
};
using TState = std::unique_ptr<ebur128_state, TStateDeleter>;

double Decibels(double linear) {
    return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

void Check(int error) {
    if (error == EBUR128_ERROR_NOMEM) throw std::bad_alloc();
    if (error != EBUR128_SUCCESS) throw EAppError("The loudness could not be measured.");
}

}  // namespace

TLoudness MeasureLoudness(TLargeFile& source, int64_t first, int64_t count, int channels,
                          uint32_t sampleRate, std::atomic<int32_t>& progress) {
    TState state(ebur128_init(unsigned(channels), sampleRate,
                              EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK));
    if (!state) throw std::bad_alloc();
    std::vector<int16_t> run(size_t(kRunFrames) * channels);
    for (int64_t done = 0; done < count;) {
        progress = static_cast<int32_t>(done * 100 / count);
        const int64_t n = std::min(kRunFrames, count - done);
        const int64_t at = (first + done) * channels;
        source.ReadSamples(run.data(), at, at + n * channels - 1);
        Check(ebur128_add_frames_short(state.get(), run.data(), size_t(n)));
        done += n;
    }
    progress = 100;
    TLoudness l;
    double v = 0;
    Check(ebur128_loudness_global(state.get(), &v));
    // libebur128 gives -HUGE_VAL for a sound with no block above the absolute gate.
    l.integrated = std::isfinite(v) ? v : -std::numeric_limits<double>::infinity();
    Check(ebur128_loudness_range(state.get(), &v));
    l.range = v;
    double peak = 0;
    for (int c = 0; c < channels; ++c) {
        Check(ebur128_true_peak(state.get(), unsigned(c), &v));
        peak = std::max(peak, v);
    }
    l.truePeak = Decibels(peak);
    return l;
}

bool LoudnessGain(const TLoudness& m, double targetLufs, double ceilingDbtp, TLoudnessGain& out) {
    if (!std::isfinite(m.integrated) || !std::isfinite(m.truePeak)) return false;
    out.gainDb = targetLufs - m.integrated;
    out.limited = m.truePeak + out.gainDb > ceilingDbtp;
    if (out.limited) out.gainDb = ceilingDbtp - m.truePeak;
    out.reachedLufs = m.integrated + out.gainDb;
    return true;
}

QString LoudnessValue(double v) {
    if (!std::isfinite(v)) return QStringLiteral("-inf");
    // Never "-0.0".
    const double rounded = std::round(v * 10.0) / 10.0;
    return QString::number(rounded == 0 ? 0.0 : rounded, 'f', 1);
}

QString LoudnessReport(const TLoudness& l) {
    return QStringLiteral("Integrated loudness: %1 LUFS\nLoudness range: %2 LU\nTrue peak: %3 dBTP\n")
        .arg(LoudnessValue(l.integrated), LoudnessValue(l.range), LoudnessValue(l.truePeak));
}
