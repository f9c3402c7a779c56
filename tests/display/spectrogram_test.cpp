// The spectrogram engine against known-answer signals: where a tone lands, how loud it reads,
// and what the column cache keeps.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>

#include "render_util.h"
#include "spectrogram.h"

namespace {

std::vector<int16_t> Sine(double hz, double amplitude, uint32_t rate, size_t frames,
                          uint16_t channels = 1) {
    std::vector<int16_t> v(frames * channels);
    for (size_t i = 0; i < frames; ++i)
        for (uint16_t c = 0; c < channels; ++c)
            v[i * channels + c] = int16_t(std::lround(
                amplitude * 32767 * std::sin(2 * std::numbers::pi * hz * double(i) / rate)));
    return v;
}

// Level of each pixel, read back through the colour map.
int LevelAt(const QImage& image, int x, int y) {
    static const std::map<QRgb, int> levels = [] {
        std::map<QRgb, int> m;
        for (int i = 0; i < kLevels; ++i) m[SpectrumColor(uint8_t(i)) & 0xFFFFFFu] = i;
        return m;
    }();
    const auto it = levels.find(At(image, x, y));
    return it == levels.end() ? -1 : it->second;
}

// The whole sound drawn into a w x h image with every column computed.
QImage DrawAll(TSpectrogram& s, const TWaveSource& source, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    const double perColumn = double(source.frames) / w;
    s.Draw(image, image.rect(), source, 0, perColumn, 0);
    s.Wait();
    EXPECT_EQ(s.Draw(image, image.rect(), source, 0, perColumn, 0), 0);
    return image;
}

struct TToneCase {
    int window;
    bool logFrequency;
    int rows;  // enough that neighbouring rows lie closer than a bin at the tone
    double hz;
    double amplitude;
    std::string name;
};
class Tone : public ::testing::TestWithParam<TToneCase> {};

TEST_P(Tone, BrightestRowWithinOneBinAtItsLevel) {
    const TToneCase& c = GetParam();
    constexpr uint32_t rate = 44100;
    TRenderFixture f;
    f.Show(2, Sine(c.hz, c.amplitude, rate, rate, 2));
    TSpectrogram s(2);
    s.SetSettings({c.window, c.logFrequency});
    const QImage image = DrawAll(s, TWaveSource::Of(&f.doc), 6, c.rows);
    const double bin = double(rate) / c.window;
    for (int x = 0; x < image.width(); ++x) {
        int best = 0;
        for (int y = 1; y < c.rows; ++y)
            if (LevelAt(image, x, y) > LevelAt(image, x, best)) best = y;
        EXPECT_NEAR(RowFrequency(best, c.rows, rate, c.logFrequency), c.hz, bin) << "column " << x;
        // A tone on a bin's centre reads its amplitude in dB; between bins Hann loses at most
        // 1.5 dB.
        const int expected = LevelOf(float(20 * std::log10(c.amplitude)));
        const double binsOff = std::abs(c.hz / bin - std::round(c.hz / bin));
        const int slack = binsOff < 1e-9 ? 1 : int(std::ceil(1.5 / -kFloorDb * (kLevels - 1)));
        EXPECT_LE(LevelAt(image, x, best), expected + 1) << "column " << x;
        EXPECT_GE(LevelAt(image, x, best), expected - slack) << "column " << x;
        // Far from the tone the level is far below it.
        const int far = int(FrequencyRow(c.hz * 4, c.rows, rate, c.logFrequency));
        EXPECT_LT(LevelAt(image, x, far), expected - 100) << "column " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Windows, Tone,
    ::testing::Values(TToneCase{2048, false, 1200, 1000, 0.5, "Default1kHz"},
                      TToneCase{256, false, 200, 1000, 0.5, "Smallest1kHz"},
                      TToneCase{8192, false, 4200, 1000, 0.5, "Largest1kHz"},
                      TToneCase{2048, true, 500, 1000, 0.5, "Log1kHz"},
                      // Bin 48 of 2048 exactly: no scalloping, the level is the amplitude's.
                      TToneCase{2048, false, 1200, 48 * 44100.0 / 2048, 0.5, "OnBinHalfScale"},
                      TToneCase{2048, false, 1200, 48 * 44100.0 / 2048, 0.01, "OnBinMinus40"}),
    [](const auto& info) { return info.param.name; });

TEST(Spectrogram, SilenceIsTheDarkestColourAndEdgesAreRows) {
    TRenderFixture f;
    f.Show(1, std::vector<int16_t>(44100, 0));
    TSpectrogram s(1);
    const QImage image = DrawAll(s, TWaveSource::Of(&f.doc), 5, 50);
    for (int y = 0; y < 50; ++y) EXPECT_EQ(LevelAt(image, 2, y), 0) << y;
    // Row 0 is half the rate and the last row 0 Hz (the logarithmic axis ends at its floor).
    EXPECT_DOUBLE_EQ(RowFrequency(0, 50, 44100, false), 22050);
    EXPECT_DOUBLE_EQ(RowFrequency(49, 50, 44100, false), 0);
    EXPECT_NEAR(RowFrequency(0, 50, 44100, true), 22050, 1e-6);
    EXPECT_NEAR(RowFrequency(49, 50, 44100, true), LogFloorHz(44100), 1e-9);
    EXPECT_NEAR(FrequencyRow(RowFrequency(17, 50, 8000, true), 50, 8000, true), 17, 1e-9);
}

TEST(Spectrogram, ColourLightnessRisesWithLevel) {
    double last = -1;
    for (int i = 0; i < kLevels; ++i) {
        const QColor c(SpectrumColor(uint8_t(i)));
        // Relative luminance of sRGB, which CIE lightness follows monotonically.
        auto lin = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        const double luma =
            0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
        EXPECT_GT(luma, last) << i;
        last = luma;
    }
    EXPECT_EQ(LevelOf(float(kFloorDb) - 50), 0);
    EXPECT_EQ(LevelOf(12), kLevels - 1);
    EXPECT_EQ(TSpectrumSettings::ValidWindow(100), 256);
    EXPECT_EQ(TSpectrumSettings::ValidWindow(3000), 2048);
    EXPECT_EQ(TSpectrumSettings::ValidWindow(99999), 8192);
}

TEST(Spectrogram, CacheFollowsScrollAndForgetsOnChange) {
    TRenderFixture f;
    f.Show(1, Sine(440, 0.5, 44100, 441000));
    const TWaveSource source = TWaveSource::Of(&f.doc);
    TSpectrogram s(2);
    QImage image(100, 64, QImage::Format_RGB32);
    const double perColumn = 441;  // a tenth of the sound per view
    auto draw = [&](double first) {
        return s.Draw(image, image.rect(), source, first, perColumn, 0);
    };
    EXPECT_EQ(draw(0), 100);
    s.Wait();
    EXPECT_EQ(draw(0), 0);
    // Ten columns on: only the ten new ones are computed.
    EXPECT_EQ(draw(10 * perColumn), 10);
    s.Wait();
    EXPECT_EQ(draw(10 * perColumn), 0);
    // Across the whole sound and back: the cache stays bounded.
    for (double first = 0; first < 440000; first += 100 * perColumn) {
        draw(first);
        s.Wait();
    }
    EXPECT_LE(s.CachedColumns(), 4096u);
    // A new window size, or a changed sound, starts afresh.
    s.SetSettings({4096, false});
    EXPECT_EQ(draw(0), 100);
    s.Wait();
    s.Release();
    EXPECT_EQ(draw(0), 100);
    s.Wait();
    // Past the end of the sound nothing is asked for.
    EXPECT_EQ(draw(441000 - 50 * perColumn), 50);
}

}  // namespace
