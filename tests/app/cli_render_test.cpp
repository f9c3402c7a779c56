// orvane-cli --render: the picture's size and content, and the refusals.
#include <gtest/gtest.h>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

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

}  // namespace
