// The filter effects through orvane-cli, on signals whose answers are known: tone levels after
// a filter, the lag of filtered noise, peaks after dynamics, lengths and pitches after a
// stretch, and where a tone burst starts after one.
#include <gtest/gtest.h>
#include <QProcess>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>

#include "doctest_util.h"
#include "spectrum.h"

namespace {

constexpr uint32_t kRate = 44100;

using TSound = std::vector<int16_t>;  // mono

TSound Tone(double hz, double amplitude, int64_t frames, int64_t from = 0) {
    TSound v(size_t(frames + from), 0);
    for (int64_t k = 0; k < frames; ++k)
        v[size_t(from + k)] = int16_t(std::lround(
            amplitude * 32767.0 * std::sin(2 * std::numbers::pi * hz * double(k) / kRate)));
    return v;
}

TSound Mix(const TSound& a, const TSound& b) {
    TSound v(std::max(a.size(), b.size()), 0);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = int16_t((i < a.size() ? a[i] : 0) + (i < b.size() ? b[i] : 0));
    return v;
}

TSound Noise(int64_t frames) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> d(-8000, 8000);
    TSound v(static_cast<size_t>(frames));
    for (auto& s : v) s = int16_t(d(gen));
    return v;
}

// The level in dB (full scale 0) of the `hz` component of frames [from, from + count): a
// single-bin DFT over a whole number of its periods.
double ToneDb(const TSound& v, double hz, int64_t from, int64_t count) {
    const int64_t periods = int64_t(double(count) * hz / kRate);
    count = std::llround(double(periods) * kRate / hz);
    std::complex<double> sum = 0;
    for (int64_t k = 0; k < count; ++k)
        sum += double(v[size_t(from + k)]) *
               std::polar(1.0, -2 * std::numbers::pi * hz * double(k) / kRate);
    return 20 * std::log10(2 * std::abs(sum) / double(count) / 32767.0);
}

double PeakDb(const TSound& v, size_t from = 0) {
    int peak = 0;
    for (size_t i = from; i < v.size(); ++i) peak = std::max(peak, std::abs(int(v[i])));
    return 20 * std::log10(peak / 32767.0);
}

// The lag (frames) at which the cross-correlation of b against a peaks, within +-maxLag.
int64_t BestLag(const TSound& a, const TSound& b, int64_t maxLag) {
    int64_t best = 0;
    double bestSum = -1e300;
    for (int64_t lag = -maxLag; lag <= maxLag; ++lag) {
        double sum = 0;
        for (int64_t i = maxLag; i + maxLag < int64_t(a.size()); ++i)
            sum += double(a[size_t(i)]) * b[size_t(i + lag)];
        if (sum > bestSum) bestSum = sum, best = lag;
    }
    return best;
}

// The first frame where the level over 10 ms reaches half the burst's median level.
int64_t Onset(const TSound& v) {
    const size_t w = kRate / 100;
    std::vector<double> level;
    double sum = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        sum += double(v[i]) * v[i] - (i >= w ? double(v[i - w]) * v[i - w] : 0.0);
        level.push_back(std::sqrt(std::max(0.0, sum) / double(w)));
    }
    std::vector<double> active;
    const double top = *std::max_element(level.begin(), level.end());
    for (double l : level)
        if (l > top / 10) active.push_back(l);
    std::sort(active.begin(), active.end());
    for (size_t i = 0; i < level.size(); ++i)
        if (level[i] >= active[active.size() / 2] / 2) return int64_t(i) - int64_t(w / 2);
    return -1;
}

TSound RunCli(const TSound& in, const QStringList& effect) {
    TTempFolder dir;
    WriteWav(dir.path("in.wav"), 1, kRate, in);
    QProcess p;
    p.start(ORVANE_CLI, QStringList{dir.path("in.wav")} + effect + QStringList{"-o", dir.path("out.wav")});
    p.waitForFinished(120000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return ReadWavSamples(dir.path("out.wav"));
}

struct TCase {
    const char* name;
    QStringList effect;
    std::function<TSound()> input;
    std::function<void(const TSound& in, const TSound& out)> check;
};

const std::vector<TCase>& Cases() {
    static const int64_t second = kRate;
    static const std::vector<TCase> cases = {
        {"HighPassTwoTone", {"--highpass", "1000:12"},
         [] { return Mix(Tone(100, 0.4, 3 * second), Tone(5000, 0.4, 3 * second)); },
         [](const TSound& in, const TSound& out) {
             EXPECT_LE(ToneDb(out, 100, second, second), ToneDb(in, 100, second, second) - 20);
             EXPECT_NEAR(ToneDb(out, 5000, second, second), ToneDb(in, 5000, second, second), 0.5);
         }},
        {"LowPassTwoTone", {"--lowpass", "1000:12"},
         [] { return Mix(Tone(100, 0.4, 3 * second), Tone(5000, 0.4, 3 * second)); },
         [](const TSound& in, const TSound& out) {
             EXPECT_LE(ToneDb(out, 5000, second, second), ToneDb(in, 5000, second, second) - 20);
             EXPECT_NEAR(ToneDb(out, 100, second, second), ToneDb(in, 100, second, second), 0.5);
         }},
        {"HighPassNoiseInPlace", {"--highpass", "1000:12"}, [] { return Noise(second); },
         [](const TSound& in, const TSound& out) { EXPECT_LE(std::abs(BestLag(in, out, 64)), 16); }},
        {"LowPassNoiseInPlace", {"--lowpass", "1000:48"}, [] { return Noise(second); },
         [](const TSound& in, const TSound& out) { EXPECT_LE(std::abs(BestLag(in, out, 64)), 16); }},
        {"EqualizerBand", {"--eq", "1000:6:1"}, [] { return Tone(1000, 0.2, 2 * second); },
         [](const TSound& in, const TSound& out) {
             EXPECT_NEAR(ToneDb(out, 1000, second / 2, second) - ToneDb(in, 1000, second / 2, second),
                         6.0, 0.5);
         }},
        {"LimiterCeiling", {"--limit", "-12"}, [] { return Tone(440, 1.0, 2 * second); },
         [](const TSound&, const TSound& out) { EXPECT_LE(PeakDb(out), -12 + 0.1); }},
        // A quiet stretch under the threshold, then a loud one 14 dB over it: at 4:1 the loud
        // one comes out 3.5 dB over it.
        {"CompressorRatio", {"--compress", "-20:4:5:50"},
         [] { return Mix(Tone(1000, std::pow(10, -30 / 20.0), 2 * second), Tone(1000, 0.5, 2 * second, 2 * second)); },
         [](const TSound&, const TSound& out) {
             const double quiet = ToneDb(out, 1000, second, second / 2);
             const double loud = ToneDb(out, 1000, 3 * second, second / 2);
             EXPECT_NEAR(loud - quiet, (-20 + 14 / 4.0) - (-30), 1.0);
         }},
        {"TempoHalf", {"--tempo", "50"}, [] { return Tone(440, 0.5, 2 * second); },
         [](const TSound& in, const TSound& out) {
             EXPECT_NEAR(double(out.size()) / double(in.size()), 2.0, 2.0 * 0.005);
             EXPECT_NEAR(PeakHz(TSound(out.begin() + second, out.end() - second), 1, kRate), 440, 4.4);
         }},
        {"PitchOctave", {"--pitch", "12"}, [] { return Tone(440, 0.5, 2 * second); },
         [](const TSound& in, const TSound& out) {
             EXPECT_NEAR(double(out.size()) / double(in.size()), 1.0, 0.005);
             EXPECT_NEAR(PeakHz(TSound(out.begin() + second / 2, out.end() - second / 2), 1, kRate), 880, 8.8);
         }},
        {"SpeedDouble", {"--speed", "200"}, [] { return Tone(440, 0.5, 2 * second); },
         [](const TSound& in, const TSound& out) {
             EXPECT_NEAR(double(out.size()) / double(in.size()), 0.5, 0.5 * 0.005);
             EXPECT_NEAR(PeakHz(TSound(out.begin() + second / 4, out.end() - second / 4), 1, kRate), 880, 8.8);
         }},
    };
    return cases;
}

class FilterEffects : public ::testing::TestWithParam<TCase> {};

TEST_P(FilterEffects, KnownAnswer) {
    const TCase& c = GetParam();
    const TSound in = c.input();
    const TSound out = RunCli(in, c.effect);
    ASSERT_FALSE(out.empty());
    c.check(in, out);
}

INSTANTIATE_TEST_SUITE_P(Cli, FilterEffects, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A burst after a second of silence starts where the length ratio puts it: the stretchers'
// latency is taken off the head.
TEST(FilterEffectsOnset, StretchesKeepTheOnset) {
    struct TRow {
        QStringList effect;
        double ratio;
    };
    const TSound in = Tone(440, 0.5, kRate, kRate);
    for (const TRow& row : {TRow{{"--tempo", "50"}, 2.0}, TRow{{"--tempo", "150"}, 1 / 1.5},
                            TRow{{"--pitch", "7"}, 1.0}, TRow{{"--pitch", "-12"}, 1.0},
                            TRow{{"--speed", "200"}, 0.5}}) {
        const TSound out = RunCli(in, row.effect);
        const double expected = double(Onset(in)) * row.ratio;
        EXPECT_NEAR(double(Onset(out)), expected, kRate * 0.003) << row.effect.join(' ').toStdString();
    }
}

}  // namespace

namespace {

bool RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

double RmsDb(const TSound& v, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = from; i < from + count; ++i) sum += double(v[i]) * v[i];
    return 10 * std::log10(sum / double(count) / (32768.0 * 32768.0));
}

// The mean over 20 ms frames of the SNR of `v` against `clean`, each frame's within -10..35 dB.
double SegmentalSnr(const TSound& clean, const TSound& v) {
    const size_t w = kRate / 50;
    double total = 0;
    size_t frames = 0;
    for (size_t at = 0; at + w <= clean.size(); at += w, ++frames) {
        double signal = 1e-9, error = 1e-9;
        for (size_t i = at; i < at + w; ++i) {
            signal += double(clean[i]) * clean[i];
            error += (double(v[i]) - clean[i]) * (double(v[i]) - clean[i]);
        }
        total += std::clamp(10 * std::log10(signal / error), -10.0, 35.0);
    }
    return total / double(frames);
}

// Speech from espeak-ng with stationary pink noise at 10 dB SNR, two seconds of noise alone
// before and after; the profile from the first two seconds. The noise of the last two seconds
// falls by the strength, at 30 dB at least as far as sox's own noisered at 0.21 with the same
// profile, and the speech stays where it was.
TEST(NoiseReduction, FallsByTheStrengthAndStaysInPlace) {
    TTempFolder dir;
    const QString speech = dir.path("speech.wav"), noisy = dir.path("noisy.wav");
    if (!RunTool("espeak-ng", {"-w", dir.path("raw.wav"), "Noise reduction keeps the voice and takes the hiss away."}))
        GTEST_SKIP() << "espeak-ng is not installed";
    ASSERT_TRUE(RunTool("sox", {dir.path("raw.wav"), "-r", "44100", "-b", "16", "-c", "1", speech, "pad", "2", "2"}));
    TSound clean = ReadWavSamples(speech);
    // Pink noise 10 dB under the speech's level.
    const double speechDb = RmsDb(clean, 2 * kRate, clean.size() - 4 * kRate);
    ASSERT_TRUE(RunTool("sox", {"-R", "-n", "-r", "44100", "-b", "16", "-c", "1", dir.path("pink.wav"), "synth",
                            QString::number(clean.size() / kRate + 1), "pinknoise", "vol", "0.1"}));
    // A second longer than the speech: sox's length in samples can come out a little short.
    TSound pink = ReadWavSamples(dir.path("pink.wav"));
    ASSERT_GE(pink.size(), clean.size());
    pink.resize(clean.size());
    const double scale = std::pow(10, (speechDb - 10 - RmsDb(pink, 0, pink.size())) / 20);
    TSound in(clean.size());
    for (size_t i = 0; i < in.size(); ++i) in[i] = int16_t(std::lround(clean[i] + scale * pink[i]));
    WriteWav(noisy, 1, kRate, in);

    // sox's own noisered gives back a little less than it took: the stretch measured is the
    // first 1.5 s of the last two.
    const size_t tail = in.size() - 2 * kRate, span = kRate * 3 / 2;
    const double before = RmsDb(in, tail, span);
    ASSERT_TRUE(RunTool("sox", {noisy, "-n", "trim", "0s", QString::number(2 * kRate) + "s", "noiseprof", dir.path("profile")}));
    ASSERT_TRUE(RunTool("sox", {noisy, dir.path("sox.wav"), "noisered", dir.path("profile"), "0.21"}));
    const double soxFall = before - RmsDb(ReadWavSamples(dir.path("sox.wav")), tail, span);
    const QString profile = "0:" + QString::number(2 * kRate);

    const TSound strong = RunCli(in, {"--denoise", profile + ":30"});
    ASSERT_EQ(strong.size(), in.size());
    EXPECT_GE(before - RmsDb(strong, tail, span), soxFall);
    const TSound normal = RunCli(in, {"--denoise", profile});
    EXPECT_NEAR(before - RmsDb(normal, tail, span), 12.0, 3.0);
    const TSound speechPart(normal.begin() + 2 * kRate, normal.end() - 2 * kRate);
    const TSound cleanPart(clean.begin() + 2 * kRate, clean.end() - 2 * kRate);
    EXPECT_LE(std::abs(BestLag(cleanPart, speechPart, 64)), 16);
    const TSound noisyPart(in.begin() + 2 * kRate, in.end() - 2 * kRate);
    EXPECT_GE(SegmentalSnr(cleanPart, speechPart), SegmentalSnr(cleanPart, noisyPart));
}

}  // namespace
