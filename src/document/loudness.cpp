// Loudness measured by libebur128 over runs of samples read from a version file.
#include "loudness.h"

#include <ebur128.h>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <thread>
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
    // The sound is cut into one stretch per core, each measured by its own state and reader;
    // libebur128 then combines their gating blocks as if one state had seen them all. A cut
    // falls on the 100 ms grid the library's blocks step on, so only the few blocks that would
    // straddle it are missing: far below the 0.1 LU the figures are shown with.
    const int64_t step = (int64_t(sampleRate) + 5) / 10;
    const int64_t minStretch = int64_t(sampleRate) * 30;
    const int64_t cores = std::max(1u, std::thread::hardware_concurrency());
    const int64_t stretches = std::clamp<int64_t>(count / std::max<int64_t>(minStretch, 1), 1, cores);
    std::vector<TState> states;
    for (int64_t i = 0; i < stretches; ++i) {
        states.emplace_back(ebur128_init(unsigned(channels), sampleRate,
                                         EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK));
        if (!states.back()) throw std::bad_alloc();
    }
    std::atomic<int64_t> done{0};
    auto measure = [&](int64_t i, TLargeFile& reader) {
        const int64_t from = count * i / stretches / step * step;
        const int64_t to = i + 1 == stretches ? count : count * (i + 1) / stretches / step * step;
        std::vector<int16_t> run(size_t(kRunFrames) * channels);
        for (int64_t at = from; at < to;) {
            const int64_t n = std::min(kRunFrames, to - at);
            const int64_t sample = (first + at) * channels;
            reader.ReadSamples(run.data(), sample, sample + n * channels - 1);
            Check(ebur128_add_frames_short(states[i].get(), run.data(), size_t(n)));
            at += n;
            progress = static_cast<int32_t>((done += n) * 100 / count);
        }
    };
    std::vector<std::exception_ptr> errors(static_cast<size_t>(stretches));
    std::vector<std::thread> helpers;
    for (int64_t i = 1; i < stretches; ++i)
        helpers.emplace_back([&, i] {
            try {
                TLargeFile reader(source.Path());
                measure(i, reader);
            } catch (...) {
                errors[size_t(i)] = std::current_exception();
            }
        });
    try {
        measure(0, source);
    } catch (...) {
        errors[0] = std::current_exception();
    }
    for (auto& t : helpers) t.join();
    for (auto& e : errors)
        if (e) std::rethrow_exception(e);
    progress = 100;

    std::vector<ebur128_state*> all;
    for (auto& s : states) all.push_back(s.get());
    TLoudness l;
    double v = 0;
    Check(ebur128_loudness_global_multiple(all.data(), all.size(), &v));
    // libebur128 gives -HUGE_VAL for a sound with no block above the absolute gate.
    l.integrated = std::isfinite(v) ? v : -std::numeric_limits<double>::infinity();
    Check(ebur128_loudness_range_multiple(all.data(), all.size(), &v));
    l.range = v;
    double peak = 0;
    for (auto* s : all)
        for (int c = 0; c < channels; ++c) {
            Check(ebur128_true_peak(s, unsigned(c), &v));
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
