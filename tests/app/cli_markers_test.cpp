// orvane-cli's markers: steps in order with the edits, the listing, and the label text
// exchange.
#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>

#include "doctest_util.h"

namespace {

struct TRun {
    int status = -1;
    QString out, err;
};

TRun Cli(const QStringList& args) {
    QProcess p;
    p.start(ORVANE_CLI, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

TEST(CliMarkers, StepsRunInOrderWithTheEdits) {
    TTempFolder dir;
    WriteWav(dir.path("in.wav"), 1, 1000, std::vector<int16_t>(10000, 100));
    const TRun r = Cli({dir.path("in.wav"), "--marker", "8000:eight: o'clock", "--region",
                        "1000:3000", "--markers", "--delete", "0:2000", "--markers", "--undo",
                        "--insert-silence", "0:5", "--markers", "--clear-markers", "--markers"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(),
              "region 1000 3000 \n"
              "marker 8000 eight: o'clock\n"
              // The region lost what was deleted of it; the marker moved back.
              "region 0 1000 \n"
              "marker 6000 eight: o'clock\n"
              "region 1005 3005 \n"
              "marker 8005 eight: o'clock\n");
    for (const QStringList& bad : {QStringList{"--marker", "12000"}, {"--region", "3:3"}}) {
        const TRun b = Cli(QStringList{dir.path("in.wav")} + bad);
        EXPECT_NE(b.status, 0) << bad.join(' ').toStdString();
    }
}

// Times finer than a frame, a region, an empty name, a name holding a tab: the same text back.
TEST(CliMarkers, LabelTextComesBackAsItWent) {
    TTempFolder dir;
    WriteWav(dir.path("in.wav"), 2, 44100, std::vector<int16_t>(2 * 44100 * 5, 0));
    const QByteArray labels =
        "0.000000\t0.000000\tstart\n"
        "0.123457\t1.000001\tverse one\n"
        "1.500000\t1.500000\t\n"
        "2.718282\t2.718282\tname\twith a tab\n"
        "4.999977\t4.999977\tлейбл\n";
    QFile f(dir.path("in.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(labels);
    f.close();
    const TRun r = Cli({dir.path("in.wav"), "--import-labels", dir.path("in.txt"),
                        "--export-labels", dir.path("out.txt"), "--export-labels",
                        dir.path("out.json")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(ReadAll(dir.path("out.txt")).toStdString(), labels.toStdString());
    const QByteArray json = ReadAll(dir.path("out.json"));
    EXPECT_TRUE(json.contains("\"version\": \"1.2.0\"")) << json.toStdString();
    EXPECT_TRUE(json.contains("\"startTime\": 1.5")) << json.toStdString();
    EXPECT_TRUE(json.contains("\"endTime\": 1,")) << json.toStdString();
    QFile bad(dir.path("bad.txt"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("1.0\t2.0\tfine\nnot a time\t3\tx\n");
    bad.close();
    const TRun b = Cli({dir.path("in.wav"), "--import-labels", dir.path("bad.txt")});
    EXPECT_EQ(b.status, 1);
    EXPECT_TRUE(b.err.contains("line 2")) << b.err.toStdString();
}

}  // namespace
