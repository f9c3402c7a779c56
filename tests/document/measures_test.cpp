// Loudness against ffmpeg's ebur128 filter, trimming of silence and the channel operations with
// their undo steps.
#include <ebur128.h>
#include <gtest/gtest.h>
#include <QProcess>
#include <QRegularExpression>
#include <cmath>
#include <functional>

#include "doctest_util.h"

namespace {

// 1 kHz sine at `dbfs` peak level, the same on every channel.
std::vector<int16_t> Sine(int channels, double dbfs, double seconds, uint32_t rate = 48000) {
    const double a = 32768.0 * std::pow(10.0, dbfs / 20.0);
    const auto frames = size_t(seconds * rate);
    std::vector<int16_t> s(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        const auto v = int16_t(std::lround(a * std::sin(2 * M_PI * 1000.0 * double(i) / rate)));
        for (int c = 0; c < channels; ++c) s[i * channels + c] = v;
    }
    return s;
}

struct TFfmpegLoudness {
    double integrated = NAN, range = NAN, truePeak = NAN;
};

// The summary of `ffmpeg -af ebur128=peak=true`.
TFfmpegLoudness FfmpegLoudness(const QString& path) {
    QProcess p;
    p.start("ffmpeg", {"-nostats", "-hide_banner", "-i", path, "-af", "ebur128=peak=true", "-f",
                       "null", "-"});
    p.waitForFinished(60000);
    const QString out = QString::fromUtf8(p.readAllStandardError());
    const qsizetype summary = out.lastIndexOf("Summary:");
    const QString tail = out.mid(summary);
    auto value = [&](const char* label) {
        const QRegularExpression re(QString(label) + "\\s+(-?[0-9.]+|-inf)");
        const auto m = re.match(tail);
        return m.hasMatch() ? m.captured(1).toDouble() : NAN;
    };
    return {value("I:"), value("LRA:"), value("Peak:")};
}

class Measures : public ::testing::Test, public TDocFixture {
protected:
    TLoudness Measure() {
        doc.MeasureLoudness();
        Wait();
        EXPECT_TRUE(doc.Loudness().has_value());
        return doc.Loudness().value_or(TLoudness{});
    }
    QString SaveCurrent(const char* name) {
        const QString path = dir.path(name);
        EXPECT_TRUE(doc.SaveRange(path, 0, doc.Frames()));
        Wait();
        return path;
    }
};

TEST_F(Measures, LoudnessOfTestSinesAgreesWithFfmpeg) {
    struct Case {
        std::vector<int16_t> samples;
        int channels;
        double expected;  // NAN: whatever ffmpeg says
    };
    // Long enough to be measured in stretches side by side: quiet, then loud, so the gates and
    // the range depend on blocks from every stretch.
    std::vector<int16_t> stepped = Sine(2, -35, 50);
    const std::vector<int16_t> loud = Sine(2, -12, 40);
    stepped.insert(stepped.end(), loud.begin(), loud.end());
    // EBU Tech 3341: a 1 kHz stereo sine at -23 dBFS is -23 LUFS; mono counts one channel.
    const Case cases[] = {{Sine(2, -23, 20), 2, -23},
                          {Sine(2, -20, 20), 2, -20},
                          {Sine(1, -20, 20), 1, -23.01},
                          {stepped, 2, NAN}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const QString path = dir.path("sine.wav");
        WriteWav(path, uint16_t(c.channels), 48000, c.samples);
        Load(path);
        const TLoudness ours = Measure();
        const TFfmpegLoudness theirs = FfmpegLoudness(path);
        if (!std::isnan(c.expected)) {
            EXPECT_NEAR(ours.integrated, c.expected, 0.1);
        }
        EXPECT_NEAR(ours.integrated, theirs.integrated, 0.1);
        EXPECT_NEAR(ours.range, theirs.range, 0.1);
        EXPECT_NEAR(ours.truePeak, theirs.truePeak, 0.1);
        EXPECT_FALSE(doc.Modified());
    }
}

TEST_F(Measures, TruePeakOfKnownSignalsAgreesWithLibebur128AndFfmpeg) {
    constexpr uint32_t kRate = 44100;
    constexpr size_t kFrames = 2 * kRate;
    // Stereo, both channels alike. Sines fade in and out over 50 ms, so that no interpolator
    // rings at a sudden start.
    auto sine = [&](double hz, double amplitude, double phase) {
        std::vector<int16_t> s(2 * kFrames);
        const size_t fade = kRate / 20;
        for (size_t i = 0; i < kFrames; ++i) {
            const size_t edge = std::min(i, kFrames - 1 - i);
            const double g = edge < fade ? 0.5 - 0.5 * std::cos(M_PI * double(edge) / fade) : 1.0;
            s[2 * i] = s[2 * i + 1] =
                int16_t(std::lround(g * amplitude * std::sin(2 * M_PI * hz * double(i) / kRate + phase)));
        }
        return s;
    };
    const double minus1 = 32768 * std::pow(10.0, -1 / 20.0);
    // Two equal samples either side of the cut between two stretches (and four): the peak
    // between them needs the frames of both.
    std::vector<int16_t> pair(2 * kFrames, 0);
    for (size_t i : {2 * 44099, 2 * 44099 + 1, 2 * 44100, 2 * 44100 + 1}) pair[i] = 30000;
    std::vector<int16_t> square(2 * kFrames);
    for (size_t i = 0; i < kFrames; ++i) square[2 * i] = square[2 * i + 1] = (i / 50) % 2 ? -32767 : 32767;
    struct Case {
        const char* name;
        std::vector<int16_t> samples;
        double expected;  // NAN: no known answer, only the other meters'
        // Sound up to the rate's half, where the meters' filters part: ffmpeg's, at 192 kHz and
        // steeper than libebur128's, reads 0.15 dB more on the square than libebur128 does.
        bool broadband = false;
    };
    const Case cases[] = {
        {"997 Hz at -1 dBFS", sine(997, minus1, 0.3), -1.0},
        {"5 kHz", sine(5000, minus1, 0.3), -1.0},
        {"10 kHz", sine(10000, minus1, 0.3), -1.0},
        {"19 kHz", sine(19000, minus1, 0.3), -1.0},
        {"20 kHz, near Nyquist", sine(20000, minus1, 0.3), -1.0},
        // A quarter of the rate at 45 degrees: every sample at full scale, the peaks between
        // them 3 dB higher.
        {"inter-sample peaks", sine(kRate / 4.0, 32767 / std::sin(M_PI / 4), M_PI / 4),
         20 * std::log10(32767 / 32768.0 / std::sin(M_PI / 4))},
        {"two samples across a cut", pair, NAN, true},
        {"full-scale square", square, NAN, true},
        {"silence", std::vector<int16_t>(2 * kFrames, 0), -INFINITY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.path("peak.wav");
        WriteWav(path, 2, kRate, c.samples);
        ebur128_state* st = ebur128_init(2, kRate, EBUR128_MODE_TRUE_PEAK);
        ASSERT_NE(st, nullptr);
        ASSERT_EQ(ebur128_add_frames_short(st, c.samples.data(), kFrames), EBUR128_SUCCESS);
        double linear = 0, v = 0;
        for (unsigned ch = 0; ch < 2; ++ch) {
            ebur128_true_peak(st, ch, &v);
            linear = std::max(linear, v);
        }
        ebur128_destroy(&st);
        const double theirs = linear > 0 ? 20 * std::log10(linear) : -INFINITY;

        TLargeFile store(path);
        std::atomic<int32_t> progress{0};
        const double ours = MeasureLoudness(store, 0, kFrames, 2, kRate, progress, 1).truePeak;
        // Cut into stretches measured side by side, and oversampled only where the peak table
        // says the peak could be, the figure is the same to the last bit.
        Tindexdata table;
        TLevels levels;
        RebuildPeaks(store, kFrames, 2, progress, table, levels);
        for (int stretches = 1; stretches <= 4; ++stretches) {
            if (stretches > 1) {
                EXPECT_EQ(MeasureLoudness(store, 0, kFrames, 2, kRate, progress, stretches).truePeak,
                          ours)
                    << stretches << " stretches";
            }
            EXPECT_EQ(MeasureLoudness(store, 0, kFrames, 2, kRate, progress, stretches,
                                      {&table, int64_t(kFrames)})
                          .truePeak,
                      ours)
                << stretches << " stretches, with the peak table";
        }
        if (std::isinf(c.expected)) {
            EXPECT_TRUE(std::isinf(ours) && ours < 0) << ours;
            EXPECT_TRUE(std::isinf(theirs) && theirs < 0) << theirs;
            continue;
        }
        if (!std::isnan(c.expected)) {
            EXPECT_NEAR(ours, c.expected, 0.01);
        }
        EXPECT_NEAR(ours, theirs, 0.1);
        // ffmpeg shows one decimal.
        if (!c.broadband) {
            EXPECT_NEAR(ours, FfmpegLoudness(path).truePeak, 0.1);
        }
    }
}

TEST_F(Measures, LoudnessReportLines) {
    EXPECT_EQ(LoudnessReport({-16.04, 5.2, -0.96}).toStdString(),
              "Integrated loudness: -16.0 LUFS\nLoudness range: 5.2 LU\nTrue peak: -1.0 dBTP\n");
    EXPECT_EQ(LoudnessReport({-INFINITY, 0, -INFINITY}).toStdString(),
              "Integrated loudness: -inf LUFS\nLoudness range: 0.0 LU\nTrue peak: -inf dBTP\n");
}

TEST_F(Measures, NormalizeLoudnessMeetsTheTargetOrStopsAtTheCeiling) {
    struct Case {
        double target, ceiling, reached;
        bool limited;
    };
    for (const Case c : {Case{-16, -1, -16, false}, Case{-0.5, -1, -1, true},
                         Case{-30, -1, -30, false}}) {
        SCOPED_TRACE(c.target);
        LoadSamples(2, Sine(2, -23, 10), 48000);
        notifier.warnings.clear();
        doc.NormalizeLoudness(0, 0, c.target, c.ceiling);
        Wait();
        ASSERT_TRUE(doc.Ready());
        EXPECT_EQ(doc.UndoStack().Items().size(), 1u);
        const TFfmpegLoudness after = FfmpegLoudness(SaveCurrent("out.wav"));
        EXPECT_NEAR(after.integrated, c.reached, 0.1);
        EXPECT_LE(after.truePeak, c.ceiling + 0.1);
        EXPECT_EQ(notifier.warnings.size(), c.limited ? 1u : 0u);
        if (c.limited && !notifier.warnings.empty()) {
            EXPECT_NE(notifier.warnings[0].find("-1.0 LUFS"), std::string::npos);
        }
    }
}

TEST_F(Measures, NormalizeLoudnessOfASelectionLeavesTheRest) {
    std::vector<int16_t> s = Sine(1, -30, 2);
    LoadSamples(1, s, 48000);
    doc.NormalizeLoudness(48000, 96000, -20, -1);
    Wait();
    const std::vector<int16_t> r = Samples();
    ASSERT_EQ(r.size(), s.size());
    EXPECT_TRUE(std::equal(r.begin(), r.begin() + 48000, s.begin()));
    // Mono -30 dBFS is -33 LUFS: +13 dB.
    EXPECT_NEAR(double(r[48000 + 12]) / s[48000 + 12], std::pow(10.0, 13 / 20.0), 0.01);
}

TEST_F(Measures, SilenceIsNeitherNormalizedNorTrimmed) {
    LoadSamples(2, std::vector<int16_t>(20000, 0));
    doc.NormalizeLoudness(0, 0, -16, -1);
    Wait();
    doc.TrimSilence(-50, 100);
    Wait();
    EXPECT_TRUE(doc.UndoStack().IsEmpty());
    EXPECT_EQ(doc.Frames(), 10000u);
    EXPECT_EQ(notifier.warnings.size(), 2u);
}

TEST_F(Measures, TrimSilenceKeepsTheMarginAtBothEnds) {
    struct Case {
        int lead, tail;  // silent frames before and after the tone
        double threshold;
        int marginMs, start, frames;  // where the kept part starts, how long it is
    };
    // 1000 frames of tone at 10000 Hz sampling: a 10 ms margin is 100 frames.
    for (const Case c : {Case{500, 700, -50, 10, 400, 1200}, Case{50, 0, -50, 10, 0, 1050},
                         Case{500, 700, -50, 0, 500, 1000}, Case{0, 0, -50, 100, 0, 1000}}) {
        SCOPED_TRACE(c.lead);
        std::vector<int16_t> s(size_t(c.lead + 1000 + c.tail), 0);
        for (int i = 0; i < 1000; ++i) s[size_t(c.lead + i)] = int16_t(i % 2 ? 5000 : -5000);
        // Noise under the threshold (-50 dBFS is 103.6) counts as silence.
        if (c.lead > 0) s[0] = 100;
        LoadSamples(1, s, 10000);
        doc.TrimSilence(c.threshold, c.marginMs);
        Wait();
        const std::vector<int16_t> r = Samples();
        EXPECT_EQ(r, std::vector<int16_t>(s.begin() + c.start, s.begin() + c.start + c.frames));
    }
}

TEST_F(Measures, ChannelOperationsAndTheirUndoSteps) {
    struct Case {
        uint16_t channels;
        std::vector<int16_t> in;
        int op;  // 0 mono, 1 stereo, 2 swap
        uint16_t outChannels;
        std::vector<int16_t> out;
    };
    const std::vector<Case> cases = {
        // The mean, ties to even.
        {2, {1, 2, 3, 6, -1, -2, 32767, 32767, -32768, -32768, 32767, -32768}, 0, 1,
         {2, 4, -2, 32767, -32768, 0}},
        {1, {5, -7, 32767}, 1, 2, {5, 5, -7, -7, 32767, 32767}},
        {2, {1, 2, 3, 4}, 2, 2, {2, 1, 4, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        LoadSamples(c.channels, c.in);
        EXPECT_FALSE(c.op == 1 ? doc.ToMono() || doc.SwapChannels() : doc.ToStereo());
        EXPECT_TRUE(c.op == 0 ? doc.ToMono() : c.op == 1 ? doc.ToStereo() : doc.SwapChannels());
        Wait();
        EXPECT_EQ(doc.Channels(), c.outChannels);
        EXPECT_EQ(Samples(), c.out);
        const QString saved = SaveCurrent("out.wav");
        EXPECT_EQ(ReadWavSamples(saved), c.out);
        doc.Undo();
        Wait();
        EXPECT_EQ(doc.Channels(), c.channels);
        EXPECT_EQ(Samples(), c.in);
        doc.Redo();
        Wait();
        EXPECT_EQ(doc.Channels(), c.outChannels);
        EXPECT_EQ(Samples(), c.out);
    }
}

TEST_F(Measures, UndoAndRedoGiveTheExactVersions) {
    // A tone with silence at both ends, so trimming takes something away.
    std::vector<int16_t> s(2 * 70000, 0);
    const std::vector<int16_t> tone = Sine(2, -30, 1);
    std::copy(tone.begin(), tone.end(), s.begin() + 2 * 10000);
    const std::vector<std::function<void()>> operations = {
        [&] { doc.NormalizeLoudness(0, 0, -16, -1); },
        [&] { doc.NormalizeLoudness(12000, 50000, -20, -3); },
        [&] { doc.TrimSilence(-50, 5); },
        [&] {
            doc.SetJoinFade(5);
            doc.Delete(11000, 17000);
        },
    };
    for (size_t i = 0; i < operations.size(); ++i) {
        SCOPED_TRACE(i);
        LoadSamples(2, s, 48000);
        operations[i]();
        Wait();
        const std::vector<int16_t> after = Samples();
        EXPECT_NE(after, s);
        doc.Undo();
        Wait();
        EXPECT_EQ(Samples(), s);
        doc.Redo();
        Wait();
        EXPECT_EQ(Samples(), after);
    }
}

}  // namespace
