// orvane-cli --render: the picture's size and content, and the refusals.
#include <gtest/gtest.h>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <cmath>
#include <numbers>

#include "doctest_util.h"

namespace {

struct TRenderRun {
    int status = -1;
    QString err;
};

TRenderRun Render(const QStringList& args) {
    QProcess p;
    p.start(ORVANE_CLI, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardError())};
}

class CliRender : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<int16_t> s(44100, 0);
        for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(i % 200 < 100 ? 20000 : -20000);
        WriteWav(dir.path("mono.wav"), 1, 44100, s);
    }
    QString In() const { return dir.path("mono.wav"); }
    QString Out() const { return dir.path("out.png"); }
    TTempFolder dir;
};

TEST_F(CliRender, DrawsTheViewAtItsSizeWithTheEditorsLayout) {
    const TRenderRun r = Render({In(), "--render", Out(), "--timings"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QRegularExpression("timing: redraw [0-9.]+\n")))
        << r.err.toStdString();
    const QImage img(Out());
    ASSERT_EQ(img.size(), QSize(698, 250));
    EXPECT_EQ(img.pixel(690, 100) & 0xFFFFFF, 0xDCDCDCu);  // amplitude ruler
    // Its border, where the last column's stroke (drawn one column on) does not cover it.
    EXPECT_EQ(img.pixel(668, 240) & 0xFFFFFF, 0x969696u);
    EXPECT_EQ(img.pixel(668, 100) & 0xFFFFFF, 0x1CF0ABu);
}

TEST_F(CliRender, SelectionCursorAndRatioTwo) {
    const TRenderRun r =
        Render({In(), "--render", Out(), "--size", "330x120", "--view", "0:3000", "--select",
                "1000:2000", "--cursor", "2500", "--scale", "samples", "--dpr", "2"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QImage img(Out());
    ASSERT_EQ(img.size(), QSize(660, 240));
    // 10 frames per column: the selection covers columns 100 ... 199, the cursor is at 250.
    EXPECT_EQ(img.pixel(2 * 150, 2 * 22) & 0xFFFFFF, 0xFFFFFFu);  // black inverted
    EXPECT_EQ(img.pixel(2 * 250, 2 * 22) & 0xFFFFFF, 0xFFFF00u);  // cursor
    EXPECT_EQ(img.pixel(2 * 50, 2 * 22) & 0xFFFFFF, 0x000000u);
}

TEST_F(CliRender, RefusesBadValuesWithStatusTwo) {
    for (const QStringList& bad : {QStringList{"--size", "30x250"},
                                   {"--size", "698x20"},
                                   {"--size", "698"},
                                   {"--view", "5:5"},
                                   {"--view", "10:5"},
                                   {"--view", "0:44101"},
                                   {"--select", "0:50000"},
                                   {"--cursor", "44101"},
                                   {"--scale", "hours"},
                                   {"--dpr", "0"}}) {
        const TRenderRun r = Render(QStringList{In(), "--render", Out()} + bad);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(bad[0])) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Out()));
}

// The row of a column whose colour is lightest: the colour map's lightness rises with the level.
int LightestRow(const QImage& img, int x) {
    auto linear = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    auto light = [&](int y) {  // relative luminance
        const QColor c(img.pixel(x, y));
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    int best = 0;
    for (int y = 1; y < img.height(); ++y)
        if (light(y) > light(best)) best = y;
    return best;
}

struct TSpectrumCase {
    QStringList args;
    int height;
    double hzPerRow;  // linear axis; 0: logarithmic from 20 Hz
    std::string name;
};
class CliSpectrogram : public CliRender, public ::testing::WithParamInterface<TSpectrumCase> {};

TEST_P(CliSpectrogram, OneKilohertzOnItsRowWithinABin) {
    std::vector<int16_t> s(44100 * 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] =
            int16_t(std::lround(16000 * std::sin(2 * std::numbers::pi * 1000 * double(i) / 44100)));
    WriteWav(dir.path("sine.wav"), 1, 44100, s);
    const TSpectrumCase& c = GetParam();
    const TRenderRun r = Render(QStringList{dir.path("sine.wav"), "--render-spectrogram", Out(),
                                            "--size", "40x" + QString::number(c.height)} +
                                c.args);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QImage img(Out());
    ASSERT_EQ(img.size(), QSize(40, c.height));
    const double bin = 44100.0 / 2048;
    for (int x : {0, 19, 39}) {
        const double t = double(c.height - 1 - LightestRow(img, x)) / (c.height - 1);
        const double hz =
            c.hzPerRow > 0 ? t * c.hzPerRow * (c.height - 1) : 20 * std::pow(22050.0 / 20, t);
        EXPECT_NEAR(hz, 1000, bin) << "column " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Axes, CliSpectrogram,
    ::testing::Values(TSpectrumCase{{}, 1101, 22050.0 / 1100, "Linear"},
                      TSpectrumCase{{"--log-frequency"}, 300, 0, "Logarithmic"},
                      TSpectrumCase{{"--view", "20000:60000", "--fft-size", "2048"},
                                    1101,
                                    22050.0 / 1100,
                                    "PartOfTheSound"}),
    [](const auto& info) { return info.param.name; });

TEST_F(CliRender, SpectrogramRefusesABadWindow) {
    for (const QStringList& bad : {QStringList{"--fft-size", "1000"}, {"--fft-size", "16384"}}) {
        const TRenderRun r = Render(QStringList{In(), "--render-spectrogram", Out()} + bad);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(bad[0])) << r.err.toStdString();
    }
}

}  // namespace
