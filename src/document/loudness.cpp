// Loudness measured by libebur128 over runs of samples read from a version file; the true peak
// from the same runs oversampled by libswresample.
#include "loudness.h"

#include <ebur128.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "apperror.h"
#include "cache.h"
#include "largefile.h"
#include "peakscan.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr int64_t kRunFrames = 65536;
// The true peak is the largest magnitude of the sound oversampled four times, as BS.1770 asks.
constexpr int kOversampling = 4;
// swr's own filter at 16 taps a phase: exact on sines up to 20 kHz at 44.1 kHz and, on the
// overshoot of a full-scale square, within 0.01 dB of libebur128's interpolator (soxr's steeper
// filter reads 0.15 dB higher there), at a fifth of its cost.
constexpr int kFilterTaps = 16;
// Frames fed before and after each stretch so that the filter, which reaches 8 frames either
// way, sees there what one pass over the whole sound would; outside the sound that is silence.
constexpr int64_t kRollFrames = 64;
// Frames oversampled at a time.
constexpr int64_t kSliceFrames = 4096;

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

#if defined(__x86_64__) || defined(__i386__)
// Eight lanes at a time in four chains: the scan runs over four outputs per input sample,
// where two chains of four left it waiting on each maximum.
__attribute__((target("avx"))) float MaxMagnitudeAvx(const float* p, size_t n, float m) {
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    __m256 a = _mm256_set1_ps(m), b = a, c = a, d = a;
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        a = _mm256_max_ps(a, _mm256_and_ps(_mm256_loadu_ps(p + i), magnitude));
        b = _mm256_max_ps(b, _mm256_and_ps(_mm256_loadu_ps(p + i + 8), magnitude));
        c = _mm256_max_ps(c, _mm256_and_ps(_mm256_loadu_ps(p + i + 16), magnitude));
        d = _mm256_max_ps(d, _mm256_and_ps(_mm256_loadu_ps(p + i + 24), magnitude));
    }
    const __m256 all = _mm256_max_ps(_mm256_max_ps(a, b), _mm256_max_ps(c, d));
    float lanes[8];
    _mm256_storeu_ps(lanes, all);
    for (float v : lanes) m = std::max(m, v);
    for (; i < n; ++i) m = std::max(m, std::fabs(p[i]));
    return m;
}
#endif

// The largest of `m` and the magnitudes of n floats (never not-a-number here).
float MaxMagnitude(const float* p, size_t n, float m) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx) return MaxMagnitudeAvx(p, n, m);
#endif
    size_t i = 0;
#ifdef __SSE2__
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 a = _mm_set1_ps(m), b = a;
    for (; i + 8 <= n; i += 8) {
        a = _mm_max_ps(a, _mm_and_ps(_mm_loadu_ps(p + i), magnitude));
        b = _mm_max_ps(b, _mm_and_ps(_mm_loadu_ps(p + i + 4), magnitude));
    }
    float lanes[4];
    _mm_storeu_ps(lanes, _mm_max_ps(a, b));
    m = std::max({lanes[0], lanes[1], lanes[2], lanes[3]});
#endif
    for (; i < n; ++i) m = std::max(m, std::fabs(p[i]));
    return m;
}

// From interleaved 16-bit to planar float at four times the rate.
SwrContext* MakeOversampler(int channels, uint32_t rate) {
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    SwrContext* swr = nullptr;
    if (swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_FLTP, int(rate) * kOversampling, &layout,
                            AV_SAMPLE_FMT_S16, int(rate), 0, nullptr) < 0 ||
        av_opt_set_int(swr, "resampler", SWR_ENGINE_SWR, 0) < 0 ||
        av_opt_set_int(swr, "filter_size", kFilterTaps, 0) < 0 || swr_init(swr) < 0) {
        swr_free(&swr);
        throw EAppError("The true peak could not be measured.");
    }
    return swr;
}

// The most the oversampled sound can rise above its largest sample: the sum of the filter's
// tap magnitudes at its worst phase, read from its answer to a single sample.
double OversamplingGain(uint32_t rate) {
    SwrContext* swr = MakeOversampler(1, rate);
    constexpr int kFrames = 256;
    std::vector<int16_t> in(kFrames, 0);
    in[kFrames / 2] = 16384;
    std::vector<float> out(size_t(kFrames) * kOversampling + 256);
    double sum[kOversampling] = {};
    int64_t k = 0;
    for (bool drain : {false, true}) {
        for (;;) {
            uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(out.data())};
            const uint8_t* src[1] = {reinterpret_cast<const uint8_t*>(in.data())};
            const int n = swr_convert(swr, planes, int(out.size()), drain ? nullptr : src,
                                      drain ? 0 : kFrames);
            for (int i = 0; i < n; ++i, ++k) sum[k % kOversampling] += std::fabs(out[size_t(i)]);
            if (!drain || n <= 0) break;
        }
    }
    swr_free(&swr);
    // The impulse was half of full scale; a little more for the rounding of the float sums.
    return 2.0 * *std::max_element(sum, sum + kOversampling) * 1.0001;
}

// The peak of stretches oversampled: frames are fed in order, and only the output for the
// frames marked by KeepNext counts (output k is the sound at fed frame k / 4). Outputs depend
// only on the frames within the filter's reach, so stretches apart may be fed one after the
// other, each with kRollFrames of its own neighbours around it.
class TTruePeak {
public:
    TTruePeak(int channels, uint32_t rate) : channels_(channels) {
        swr_ = MakeOversampler(channels, rate);
    }
    ~TTruePeak() { swr_free(&swr_); }
    TTruePeak(const TTruePeak&) = delete;
    TTruePeak& operator=(const TTruePeak&) = delete;

    // The next `count` frames fed count for the peak.
    void KeepNext(int64_t count) {
        keep_.push_back({fed_ * kOversampling, (fed_ + count) * kOversampling});
    }
    // frames nullptr: `count` frames of silence.
    void Feed(const int16_t* frames, int64_t count) {
        if (frames == nullptr) {
            silence_.assign(size_t(count) * channels_, 0);
            frames = silence_.data();
        }
        fed_ += count;
        // In slices whose four-fold output stays in the core's cache until it is scanned.
        for (int64_t at = 0; at < count; at += kSliceFrames)
            Convert(frames + at * channels_, int(std::min(kSliceFrames, count - at)));
    }
    // The peak, linear (full scale 1), once everything is fed.
    double Finish() {
        Convert(nullptr, 0);
        return peak_;
    }

private:
    void Convert(const int16_t* frames, int count) {
        const int room = swr_get_out_samples(swr_, count) + 64;
        out_.resize(size_t(room) * channels_);
        std::vector<uint8_t*> planes(static_cast<size_t>(channels_));
        for (int c = 0; c < channels_; ++c)
            planes[size_t(c)] = reinterpret_cast<uint8_t*>(out_.data() + size_t(c) * room);
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(frames)};
        // Draining gives what the filter still holds, possibly over several calls.
        for (;;) {
            const int n = swr_convert(swr_, planes.data(), room, frames ? in : nullptr, count);
            if (n < 0) throw EAppError("The true peak could not be measured.");
            while (next_ < keep_.size() && keep_[next_].second <= done_) ++next_;
            for (size_t r = next_; r < keep_.size() && keep_[r].first < done_ + n; ++r) {
                const int64_t from = std::max<int64_t>(keep_[r].first - done_, 0);
                const int64_t to = std::min<int64_t>(keep_[r].second - done_, n);
                for (int c = 0; c < channels_ && from < to; ++c) {
                    const float* p = out_.data() + size_t(c) * room;
                    peak_ = MaxMagnitude(p + from, size_t(to - from), peak_);
                }
            }
            done_ += n;
            if (frames != nullptr || n == 0) return;
        }
    }

    SwrContext* swr_ = nullptr;
    int channels_;
    std::vector<std::pair<int64_t, int64_t>> keep_;  // output indices [first, second)
    size_t next_ = 0;                                // the first range not yet passed
    int64_t fed_ = 0;                                // frames fed
    int64_t done_ = 0;                               // outputs received
    float peak_ = 0;
    std::vector<float> out_;
    std::vector<int16_t> silence_;
};

// Frames [a, b) of a measured range of `count` frames from `first` into the oversampler, in
// runs through `buffer`; silence outside the range.
void Roll(TTruePeak& peak, TLargeFile& reader, std::vector<int16_t>& buffer, int channels,
          int64_t first, int64_t count, int64_t a, int64_t b) {
    const int64_t sa = std::clamp<int64_t>(a, 0, count), sb = std::clamp<int64_t>(b, 0, count);
    if (sa > a) peak.Feed(nullptr, sa - a);
    const int64_t run = int64_t(buffer.size()) / channels;
    for (int64_t at = sa; at < sb;) {
        const int64_t n = std::min(run, sb - at);
        reader.ReadSamples(buffer.data(), (first + at) * channels, (first + at + n) * channels - 1);
        peak.Feed(buffer.data(), n);
        at += n;
    }
    if (b > sb) peak.Feed(nullptr, b - sb);
}

// Frames [a, b) of the measured range oversampled for their peak, with their neighbours.
void FeedKept(TTruePeak& peak, TLargeFile& reader, std::vector<int16_t>& buffer, int channels,
              int64_t first, int64_t count, int64_t a, int64_t b) {
    Roll(peak, reader, buffer, channels, first, count, a - kRollFrames, a);
    peak.KeepNext(b - a);
    Roll(peak, reader, buffer, channels, first, count, a, b);
    Roll(peak, reader, buffer, channels, first, count, b, b + kRollFrames);
}

// The stretches of a measured range ([first, first + count) of the store) whose oversampled
// sound could reach `floor` (linear): from the version's peak table, a frame's outputs are at
// most `gain` times the largest magnitude in its block and the blocks either side, which
// cover the filter's reach. In range coordinates, in order.
std::vector<std::pair<int64_t, int64_t>> LoudStretches(const TKnownPeaks& known, int channels,
                                                       int64_t first, int64_t count, double gain,
                                                       double floor) {
    const Tindexdata& t = *known.table;
    const int64_t blocks = int64_t(t.size()) / channels;
    auto magnitude = [&](int64_t k) {
        if (k < 0 || k >= blocks) return 0;
        int m = 0;
        for (int c = 0; c < channels; ++c) {
            const TPeakEntry& e = t[size_t(k * channels + c)];
            m = std::max({m, int(e.max), -int(e.min)});
        }
        return m;
    };
    std::vector<std::pair<int64_t, int64_t>> out;
    const int64_t kFirst = first / kPeakBlockFrames, kLast = (first + count - 1) / kPeakBlockFrames;
    int prev = magnitude(kFirst - 1), cur = magnitude(kFirst);
    for (int64_t k = kFirst; k <= kLast; ++k) {
        const int next = magnitude(k + 1);
        // Silence all round gives silence out, which holds no peak.
        const double bound = gain * std::max({prev, cur, next}) / 32768.0;
        if (bound > 0 && bound >= floor) {
            const int64_t a = std::max<int64_t>(k * kPeakBlockFrames - first, 0);
            const int64_t b = std::min<int64_t>((k + 1) * kPeakBlockFrames - first, count);
            // Neighbours closer than the rolls on either side go in one stretch.
            if (!out.empty() && a - out.back().second <= 2 * kRollFrames) {
                out.back().second = b;
            } else {
                out.push_back({a, b});
            }
        }
        prev = cur;
        cur = next;
    }
    return out;
}

}  // namespace

namespace {

// What a pass measures; the largest sample always.
struct TWhat {
    bool loudness = true;
    bool range = true;
    bool truePeak = true;
};
struct TFound {
    TLoudness loudness;
    double samplePeak = 0;  // linear, full scale 1
};

TFound Measure(TLargeFile& source, int64_t first, int64_t count, int channels, uint32_t sampleRate,
               std::atomic<int32_t>& progress, int stretches, TWhat what,
               const TKnownPeaks& known) {
    // The sound is cut into one stretch per core, each measured by its own state and reader;
    // libebur128 then combines their gating blocks as if one state had seen them all. A cut
    // falls on the 100 ms grid the library's blocks step on, so only the few blocks that would
    // straddle it are missing: far below the 0.1 LU the figures are shown with. The true peak
    // of each stretch is taken with its neighbours' frames around it, so the cuts change
    // nothing there.
    const int64_t step = (int64_t(sampleRate) + 5) / 10;
    if (stretches <= 0) {
        const int64_t minStretch = int64_t(sampleRate) * 30;
        const int64_t cores = std::max(1u, std::thread::hardware_concurrency());
        stretches = int(std::clamp<int64_t>(count / std::max<int64_t>(minStretch, 1), 1, cores));
    }
    // With the version's peak table, only what could hold the true peak is oversampled: the
    // block with the largest sample first, then every block that could pass what it gave. The
    // largest output is the same as that of the whole sound oversampled.
    const bool tableFits = known.table && known.frames >= first + count && count > 0 &&
                           known.table->size() ==
                               size_t(known.frames / kPeakBlockFrames + 1) * size_t(channels);
    bool pruned = what.truePeak && tableFits;
    double seedPeak = 0;
    std::vector<std::pair<int64_t, int64_t>> loud;
    if (pruned) {
        const Tindexdata& t = *known.table;
        int64_t best = first / kPeakBlockFrames;
        int bestMagnitude = -1;
        for (int64_t k = first / kPeakBlockFrames; k <= (first + count - 1) / kPeakBlockFrames; ++k) {
            for (int c = 0; c < channels; ++c) {
                const TPeakEntry& e = t[size_t(k * channels + c)];
                const int m = std::max(int(e.max), -int(e.min));
                if (m > bestMagnitude) bestMagnitude = m, best = k;
            }
        }
        TTruePeak seed(channels, sampleRate);
        std::vector<int16_t> buffer(size_t(kPeakBlockFrames) * channels);
        FeedKept(seed, source, buffer, channels, first, count,
                 std::max<int64_t>(best * kPeakBlockFrames - first, 0),
                 std::min<int64_t>((best + 1) * kPeakBlockFrames - first, count));
        seedPeak = seed.Finish();
        loud = LoudStretches(known, channels, first, count, OversamplingGain(sampleRate), seedPeak);
        // Where most of the sound could hold the peak (dense, compressed sound), reading the
        // loud stretches a second time costs more than it saves: all of it is fed along.
        int64_t covered = 0;
        for (const auto& [a, b] : loud) covered += b - a;
        if (covered > count / 2) {
            pruned = false;
            seedPeak = 0;
        }
    }
    std::vector<TState> states;
    for (int i = 0; i < stretches; ++i) {
        states.emplace_back(ebur128_init(unsigned(channels), sampleRate,
                                         what.range ? EBUR128_MODE_I | EBUR128_MODE_LRA
                                                    : EBUR128_MODE_I));
        if (!states.back()) throw std::bad_alloc();
    }
    std::vector<double> peaks(size_t(stretches), seedPeak);
    std::vector<int> samplePeaks(size_t(stretches), 0);
    std::atomic<int64_t> done{0};
    auto measure = [&](int i, TLargeFile& reader) {
        const int64_t from = count * i / stretches / step * step;
        const int64_t to = i + 1 == stretches ? count : count * (i + 1) / stretches / step * step;
        std::optional<TTruePeak> peak;
        if (what.truePeak) peak.emplace(channels, sampleRate);
        // Fed along with the loudness unless only the loud stretches are oversampled, after it.
        const bool along = peak && !pruned;
        std::vector<int16_t> run(size_t(kRunFrames) * channels);
        std::array<int16_t, kMaxPeakChannels> mx{}, mn{};
        if (along) {
            Roll(*peak, reader, run, channels, first, count, from - kRollFrames, from);
            peak->KeepNext(to - from);
        }
        for (int64_t at = from; at < to;) {
            const int64_t n = std::min(kRunFrames, to - at);
            const int64_t sample = (first + at) * channels;
            reader.ReadSamples(run.data(), sample, sample + n * channels - 1);
            if (what.loudness)
                Check(ebur128_add_frames_short(states[size_t(i)].get(), run.data(), size_t(n)));
            if (along) {
                peak->Feed(run.data(), n);
            } else if (!peak) {
                ScanExtremes(run.data(), size_t(n), channels, mx.data(), mn.data());
            }
            at += n;
            progress = static_cast<int32_t>((done += n) * 100 / std::max<int64_t>(count, 1));
        }
        if (along) Roll(*peak, reader, run, channels, first, count, to, to + kRollFrames);
        if (peak && pruned) {
            for (const auto& [a, b] : loud) {
                const int64_t ka = std::max(a, from), kb = std::min(b, to);
                if (ka < kb) FeedKept(*peak, reader, run, channels, first, count, ka, kb);
            }
        }
        if (peak) peaks[size_t(i)] = std::max(peaks[size_t(i)], peak->Finish());
        for (int c = 0; c < channels; ++c)
            samplePeaks[size_t(i)] = std::max({samplePeaks[size_t(i)], int(mx[size_t(c)]), -int(mn[size_t(c)])});
    };
    std::vector<std::exception_ptr> errors(static_cast<size_t>(stretches));
    std::vector<std::thread> helpers;
    for (int i = 1; i < stretches; ++i)
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
    if (what.loudness) {
        Check(ebur128_loudness_global_multiple(all.data(), all.size(), &v));
        // libebur128 gives -HUGE_VAL for a sound with no block above the absolute gate.
        l.integrated = std::isfinite(v) ? v : -std::numeric_limits<double>::infinity();
    }
    if (what.loudness && what.range) {
        Check(ebur128_loudness_range_multiple(all.data(), all.size(), &v));
        l.range = v;
    }
    l.truePeak = Decibels(*std::max_element(peaks.begin(), peaks.end()));
    return {l, *std::max_element(samplePeaks.begin(), samplePeaks.end()) / 32768.0};
}

}  // namespace

TLoudness MeasureLoudness(TLargeFile& source, int64_t first, int64_t count, int channels,
                          uint32_t sampleRate, std::atomic<int32_t>& progress, int stretches,
                          const TKnownPeaks& known) {
    return Measure(source, first, count, channels, sampleRate, progress, stretches, {}, known)
        .loudness;
}

TLoudness MeasureForGain(TLargeFile& source, int64_t first, int64_t count, int channels,
                         uint32_t sampleRate, double targetLufs, double ceilingDbtp,
                         std::atomic<int32_t>& progress, const TKnownPeaks& known) {
    // The loudness and the largest sample first: where even the most the oversampling could
    // add keeps the gained sound under the ceiling, the true peak decides nothing.
    TFound f = Measure(source, first, count, channels, sampleRate, progress, 0,
                       {.loudness = true, .range = false, .truePeak = false}, known);
    f.loudness.truePeak = Decibels(f.samplePeak * OversamplingGain(sampleRate));
    TLoudnessGain gain;
    if (!LoudnessGain(f.loudness, targetLufs, ceilingDbtp, gain) || !gain.limited)
        return f.loudness;
    f.loudness.truePeak = Measure(source, first, count, channels, sampleRate, progress, 0,
                                  {.loudness = false, .range = false, .truePeak = true}, known)
                              .loudness.truePeak;
    return f.loudness;
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
