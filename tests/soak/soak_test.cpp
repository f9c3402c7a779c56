// The soak: long random runs of edits, effects, undo, redo and save-and-reopen on a small
// document, each step checked bit for bit against a model that keeps the samples in memory and
// computes every effect from its formula; the version files on disk, and their peak files, must
// always be exactly the current one plus those on the undo and redo stacks, and none may remain
// after closing.
//
// Ten seeds by default; ORVANE_SOAK_SEEDS=N runs seeds 1..N, ORVANE_SOAK_STEPS the steps per seed.
#include <gtest/gtest.h>

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <random>
#include <sstream>

#include "doctest_util.h"
#include "samplemath.h"

namespace {

using TSamples = std::vector<int16_t>;

int EnvNumber(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

// What the document should hold: its samples, its undo and redo stacks and the clipboard.
struct TModel {
    int channels = 1;
    TSamples samples;
    std::vector<TSamples> undo, redo;
    std::optional<TSamples> clip;
    int clipChannels = 1;

    int64_t Frames() const { return int64_t(samples.size()) / channels; }
    // The document's rule: ordered, then limited to 0..frames.
    std::pair<int64_t, int64_t> Clamp(int64_t a, int64_t b) const {
        if (a > b) std::swap(a, b);
        return {std::clamp<int64_t>(a, 0, Frames()), std::clamp<int64_t>(b, 0, Frames())};
    }
    void Edit(TSamples next) {
        undo.push_back(std::move(samples));
        redo.clear();
        samples = std::move(next);
    }
    TSamples Slice(int64_t s, int64_t e) const {
        return TSamples(samples.begin() + s * channels, samples.begin() + e * channels);
    }
    int16_t Peak() const {
        int16_t p = 0;
        for (int16_t v : samples) p = std::max(p, v);
        return p;
    }
};

// Builds the clipboard image of samples in `channels` channels, at the document's rate (audio at
// another rate would be converted, which the model does not do).
QByteArray WaveImage(int channels, const TSamples& s) {
    const TWavHeaderBytes h =
        TWavHeader::Pcm16(uint16_t(channels), 22050, uint32_t(s.size() * 2)).Bytes();
    QByteArray image(reinterpret_cast<const char*>(h.data()), qsizetype(h.size()));
    image.append(reinterpret_cast<const char*>(s.data()), qsizetype(s.size() * 2));
    return image;
}

class Soak : public ::testing::TestWithParam<int>, public TDocFixture {
protected:
    std::mt19937 rng;
    TModel model;
    std::string step;  // the step being checked, for messages
    int fadeTies = 0;

    int64_t Rand(int64_t lo, int64_t hi) {
        return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
    }
    TSamples Noise(int64_t count) {
        TSamples s(size_t(std::max<int64_t>(count, 0)));
        // Mostly small values, now and then the extremes the effects treat specially.
        for (auto& v : s) {
            const int64_t r = Rand(0, 99);
            v = r == 0 ? -32768 : r == 1 ? 32767 : int16_t(Rand(-12000, 12000));
        }
        return s;
    }
    // A position a little outside the sound now and then, to exercise the clamping.
    int64_t Pos() { return Rand(-5, model.Frames() + 5); }

    void Run(const std::function<void()>& request) {
        request();
        Wait();
    }

    void Fade(bool in) {
        const int64_t a = Pos(), b = Pos();
        step = (in ? "fade in " : "fade out ") + std::to_string(a) + ":" + std::to_string(b);
        Run([&] { in ? doc.FadeIn(a, b) : doc.FadeOut(a, b); });
        const auto [s, e] = model.Clamp(a, b);
        TSamples next = model.samples;
        const TSamples actual = Samples();
        const double stepAngle = e > s ? 90.0 / double(e - s) : 0;
        for (int64_t f = s; f < e; ++f) {
            const double angle = double(f - s) * stepAngle * std::numbers::pi / 200.0;
            const double gain = in ? std::sin(angle) : std::cos(angle);
            for (int c = 0; c < model.channels; ++c) {
                const size_t i = size_t(f * model.channels + c);
                const double exact = next[i] * gain;
                next[i] = int16_t(RoundHalfEven(exact));
                // The program's gains are within 1e-15 of these: a product that close to a half
                // may round either way.
                const double frac = std::fabs(exact - std::floor(exact) - 0.5);
                if (i < actual.size() && actual[i] != next[i] && frac < 1e-9 &&
                    std::abs(actual[i] - next[i]) == 1) {
                    next[i] = actual[i];
                    ++fadeTies;
                }
            }
        }
        model.Edit(std::move(next));
    }

    void Normalize() {
        const int32_t pct = int32_t(Rand(1, 200));
        step = "normalize " + std::to_string(pct);
        Run([&] { doc.Normalize(pct); });
        const int16_t peak = model.Peak();
        const double factor = peak > 0 ? (pct / 100.0 * 32768.0) / peak : 1.0;
        TSamples next = model.samples;
        for (auto& v : next)
            v = int16_t(std::clamp(RoundHalfEven(v * factor), -32767.0, 32767.0));
        model.Edit(std::move(next));
    }

    void Amplify() {
        const int32_t pct = int32_t(Rand(0, 400));
        step = "amplify " + std::to_string(pct);
        Run([&] { doc.Amplify(pct); });
        const float factor = float(pct) / 100.0f;
        TSamples next = model.samples;
        for (auto& v : next) {
            const auto x = static_cast<int64_t>(double(v) * double(factor));
            v = int16_t(std::clamp<int64_t>(x, -32767, 32767));
        }
        model.Edit(std::move(next));
    }

    void Paste() {
        const int64_t at = Pos();
        step = "paste at " + std::to_string(at);
        Run([&] { doc.Paste(at); });
        if (!model.clip) return;
        const int64_t p = std::clamp<int64_t>(at, 0, model.Frames());
        const int n = model.channels, cn = model.clipChannels;
        TSamples in;
        for (size_t f = 0; f < model.clip->size() / size_t(cn); ++f) {
            const int16_t a = (*model.clip)[f * cn], b = cn == 2 ? (*model.clip)[f * cn + 1] : a;
            if (n == 2) {
                in.push_back(a);
                in.push_back(b);
            } else {
                in.push_back(cn == 2 ? int16_t(RoundHalfEven((a + b) / 2.0)) : a);
            }
        }
        TSamples next = model.samples;
        next.insert(next.begin() + p * n, in.begin(), in.end());
        model.Edit(std::move(next));
    }

    void SaveAndReopen() {
        step = "save and reopen of " + std::to_string(model.Frames()) + " frames";
        ASSERT_TRUE(doc.Save());
        Wait();
        ASSERT_EQ(ReadWavSamples(doc.FileName()), model.samples) << "the saved file";
        Load(doc.FileName());
        model.undo.clear();
        model.redo.clear();
    }

    void SaveRange() {
        const int64_t a = Pos(), b = Pos();
        step = "save range " + std::to_string(a) + ":" + std::to_string(b);
        const QString path = dir.path("part.wav");
        ASSERT_TRUE(doc.SaveRange(path, a, b));
        Wait();
        const auto [s, e] = model.Clamp(a, b);
        ASSERT_EQ(ReadWavSamples(path), model.Slice(s, e)) << step;
    }

    void OneStep() {
        const int64_t a = Pos(), b = Pos();
        switch (Rand(0, 16)) {
            case 0: {
                step = "cut " + std::to_string(a) + ":" + std::to_string(b);
                Run([&] { doc.Cut(a, b); });
                const auto [s, e] = model.Clamp(a, b);
                model.clip = model.Slice(s, e);
                model.clipChannels = model.channels;
                TSamples next = model.samples;
                next.erase(next.begin() + s * model.channels, next.begin() + e * model.channels);
                model.Edit(std::move(next));
                break;
            }
            case 1: {
                step = "copy " + std::to_string(a) + ":" + std::to_string(b);
                Run([&] { doc.Copy(a, b); });
                const auto [s, e] = model.Clamp(a, b);
                model.clip = model.Slice(s, e);
                model.clipChannels = model.channels;
                break;
            }
            case 2:
                return Paste();
            case 3: {
                step = "delete " + std::to_string(a) + ":" + std::to_string(b);
                Run([&] { doc.Delete(a, b); });
                const auto [s, e] = model.Clamp(a, b);
                TSamples next = model.samples;
                next.erase(next.begin() + s * model.channels, next.begin() + e * model.channels);
                model.Edit(std::move(next));
                break;
            }
            case 4: {
                const int64_t count = Rand(0, 300);
                step = "insert silence " + std::to_string(a) + "+" + std::to_string(count);
                Run([&] { doc.InsertSilence(a, count); });
                const int64_t p = std::clamp<int64_t>(a, 0, model.Frames());
                TSamples next = model.samples;
                next.insert(next.begin() + p * model.channels, size_t(count * model.channels), 0);
                model.Edit(std::move(next));
                break;
            }
            case 5:
                return Fade(true);
            case 6:
                return Fade(false);
            case 7:
                return Normalize();
            case 8:
                return Amplify();
            case 9: {
                step = "reverse";
                Run([&] { doc.Reverse(); });
                TSamples next;
                for (int64_t f = model.Frames() - 1; f >= 0; --f) {
                    for (int c = 0; c < model.channels; ++c)
                        next.push_back(model.samples[size_t(f * model.channels + c)]);
                }
                model.Edit(std::move(next));
                break;
            }
            case 10: {
                step = "invert";
                Run([&] { doc.Invert(); });
                TSamples next = model.samples;
                for (auto& v : next) v = int16_t(-int32_t(v));
                model.Edit(std::move(next));
                break;
            }
            case 11:
            case 12: {
                step = "undo";
                Run([&] { doc.Undo(); });
                if (model.undo.empty()) break;
                model.redo.push_back(std::move(model.samples));
                model.samples = std::move(model.undo.back());
                model.undo.pop_back();
                break;
            }
            case 13: {
                step = "redo";
                Run([&] { doc.Redo(); });
                if (model.redo.empty()) break;
                model.undo.push_back(std::move(model.samples));
                model.samples = std::move(model.redo.back());
                model.redo.pop_back();
                break;
            }
            case 14: {
                // Audio another program put on the clipboard, in the other channel count.
                step = "foreign clipboard";
                model.clipChannels = 3 - model.channels;
                model.clip = Noise(Rand(0, 200) * model.clipChannels);
                clipboard.SetWave(WaveImage(model.clipChannels, *model.clip));
                break;
            }
            case 15:
                return Rand(0, 3) == 0 ? SaveAndReopen() : SaveRange();
            default:
                return Paste();
        }
    }

    void Check() {
        ASSERT_FALSE(doc.Busy()) << step;
        ASSERT_TRUE(notifier.errors.empty()) << step << ": " << notifier.errors.front();
        ASSERT_TRUE(notifier.warnings.empty()) << step << ": " << notifier.warnings.front();
        ASSERT_TRUE(doc.Ready()) << step;
        ASSERT_EQ(int64_t(doc.Frames()), model.Frames()) << step;
        ASSERT_EQ(Samples(), model.samples) << step;
        ASSERT_EQ(doc.UndoStack().Items().size(), model.undo.size()) << step;
        ASSERT_EQ(doc.RedoStack().Items().size(), model.redo.size()) << step;
        ASSERT_EQ(size_t(dir.tempFiles().size()), model.undo.size() + model.redo.size() + 1)
            << step;
        // The peaks held are the rebuild's, whichever way they came (gathered by an edit, taken
        // from a peak file); only a version not left since its load keeps the decoder's.
        if (!model.undo.empty() || !model.redo.empty()) {
            Tindexdata table;
            TLevels levels;
            std::atomic<int32_t> progress{0};
            RebuildPeaks(*doc.Store(), doc.Frames(), doc.Channels(), progress, table, levels);
            ASSERT_EQ(doc.PeakTable(), table) << step;
            ASSERT_EQ(doc.ChannelPeak(), levels.channelPeak) << step;
            ASSERT_EQ(doc.Level(), levels.level) << step;
        }
        ASSERT_EQ(doc.Peak(), model.Peak()) << step;
        // Every version keeps its peaks beside it.
        ASSERT_EQ(size_t(dir.peakFiles().size()), model.undo.size() + model.redo.size() + 1)
            << step;
    }
};

TEST_P(Soak, EveryStepMatchesTheModel) {
    rng.seed(uint32_t(GetParam()));
    model.channels = int(Rand(1, 2));
    model.samples = Noise(Rand(0, 2000) * model.channels);
    LoadSamples(uint16_t(model.channels), model.samples, 22050);
    ASSERT_TRUE(doc.Ready());
    const int steps = EnvNumber("ORVANE_SOAK_STEPS", 1000);
    for (int i = 0; i < steps; ++i) {
        OneStep();
        if (HasFatalFailure()) return;
        Check();
        if (HasFatalFailure()) {
            ADD_FAILURE() << "seed " << GetParam() << ", step " << i << " (" << step << ")";
            return;
        }
    }
    doc.Close();
    EXPECT_TRUE(dir.tempFiles().empty());
    EXPECT_TRUE(dir.peakFiles().empty());
    RecordProperty("steps", steps);
    RecordProperty("fade_ties", fadeTies);
    std::printf("seed %d: %d steps, final %lld frames, %d fade products within 1e-9 of a half\n",
                GetParam(), steps, static_cast<long long>(model.Frames()), fadeTies);
}

class Reopen : public ::testing::Test, public TDocFixture {};

// Reopening passes the document's own file name, which closing the old document clears.
TEST_F(Reopen, LoadingTheDocumentsOwnFileNameReloadsIt) {
    LoadSamples(2, {1, -1, 2, -2});
    doc.Invert();
    Wait();
    ASSERT_TRUE(doc.Save());
    Wait();
    Load(doc.FileName());
    EXPECT_TRUE(notifier.warnings.empty());
    ASSERT_TRUE(doc.Ready());
    EXPECT_EQ(doc.FileName(), dir.path("source.wav"));
    EXPECT_EQ(Samples(), (TSamples{-1, 1, -2, 2}));
}

std::vector<int> Seeds() {
    std::vector<int> seeds(size_t(EnvNumber("ORVANE_SOAK_SEEDS", 10)));
    for (size_t i = 0; i < seeds.size(); ++i) seeds[i] = int(i) + 1;
    return seeds;
}

INSTANTIATE_TEST_SUITE_P(Seeds, Soak, ::testing::ValuesIn(Seeds()),
                         [](const auto& info) { return "Seed" + std::to_string(info.param); });

}  // namespace
