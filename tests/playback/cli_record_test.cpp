// orvane-cli's takes end to end: the real binary through SDL's disk driver, read back by
// ffprobe, ended early by Ctrl+C, and killed with SIGKILL in the middle of a take.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <random>

#include "doctest_util.h"

namespace {

QByteArray NoiseBytes(qsizetype bytes, uint32_t seed) {
    std::mt19937 random(seed);
    QByteArray b(bytes, '\0');
    for (char& c : b) c = char(random());
    return b;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The samples of a WAV file orvane-cli wrote: its data after the 44-byte header.
QByteArray WavData(const QString& path) {
    return ReadAll(path).mid(44);
}

class TCliRecord : public ::testing::Test {
protected:
    TCliRecord() {
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("SDL_AUDIODRIVER", "disk");
        env_.insert("SDL_DISKAUDIOFILEIN", dir.path("in.raw"));
        env_.insert("SDL_DISKAUDIOFILE", "/dev/null");
        env_.insert("SDL_DISKAUDIODELAY", "1");
        env_.insert("XDG_STATE_HOME", dir.path("state"));
        env_.insert("TMPDIR", dir.path());
    }
    void Start(QProcess& p, const QStringList& args) {
        p.setProcessEnvironment(env_);
        p.start(ORVANE_CLI, args);
        ASSERT_TRUE(p.waitForStarted());
    }
    int Run(const QStringList& args, QString* out = nullptr) {
        QProcess p;
        Start(p, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        if (out) *out = QString::fromLocal8Bit(p.readAllStandardOutput());
        EXPECT_EQ(p.readAllStandardError(), "");
        return p.exitCode();
    }
    TTempFolder dir;
    QProcessEnvironment env_;
};

QString Probe(const QString& file) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-show_entries", "stream=sample_rate,channels,duration_ts",
                        "-of", "csv=p=0", file});
    p.waitForFinished(20000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

}  // namespace

// A new sound of exactly SECONDS x rate frames, as ffprobe reads it, holding the input's start.
TEST_F(TCliRecord, RecordMakesANewSoundOfExactlyTheSecondsAsked) {
    WriteFile(dir.path("in.raw"), NoiseBytes(48000 * 4 * 3, 1));
    QString listed;
    ASSERT_EQ(Run({"--list-inputs"}, &listed), 0);
    EXPECT_FALSE(listed.trimmed().isEmpty());
    for (const auto& [rate, channels] : {std::pair{"48000", "1"}, std::pair{"44100", "2"}}) {
        SCOPED_TRACE(rate);
        const QString out = dir.path(QString("take%1.wav").arg(rate));
        ASSERT_EQ(Run({"--record", "1.25", "--rate", rate, "--channels", channels, "-o", out}), 0);
        const int64_t frames = std::llround(1.25 * QString(rate).toInt());
        EXPECT_EQ(Probe(out), QString("%1,%2,%3").arg(rate, channels).arg(frames));
        EXPECT_EQ(WavData(out),
                  ReadAll(dir.path("in.raw")).left(frames * 2 * QString(channels).toInt()));
    }
}

// Ctrl+C ends the take early; the steps after it still run and the run succeeds.
TEST_F(TCliRecord, InterruptEndsTheTakeAndTheStepsGoOn) {
    WriteFile(dir.path("in.raw"), NoiseBytes(8000 * 2 * 60, 2));
    const std::vector<int16_t> before(8000, 1000);
    WriteWav(dir.path("in.wav"), 1, 8000, before);
    env_.insert("SDL_DISKAUDIODELAY", "20");
    QProcess p;
    Start(p, {dir.path("in.wav"), "--record-at", "100:50", "--amplify", "200", "-o",
              dir.path("out.wav")});
    QThread::msleep(1500);
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QByteArray got = WavData(dir.path("out.wav"));
    const qsizetype take = got.size() / 2 - 8000;
    EXPECT_GT(take, 0);
    EXPECT_LT(take, 8000 * 50);
    // Amplified after the take: the sound's own samples doubled on both sides of it.
    auto sample = [&](qsizetype i) {
        return int16_t(uint8_t(got[2 * i]) | (uint8_t(got[2 * i + 1]) << 8));
    };
    EXPECT_EQ(sample(0), 2000);
    EXPECT_EQ(sample(100 + take), 2000);
    EXPECT_EQ(sample(got.size() / 2 - 1), 2000);
}

// SIGKILL in the middle of a real-time take: recovery offers the take, at least as long as the
// time it ran less a second, and it is the input's start bit for bit.
TEST_F(TCliRecord, KilledTakeIsRecoveredToWithinASecond) {
    constexpr int kRate = 16000;
    WriteFile(dir.path("in.raw"), NoiseBytes(kRate * 2 * 25, 3));
    env_.remove("SDL_DISKAUDIODELAY");  // the driver's own pace: real time
    std::mt19937 random(11);
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        const int ms = 1500 + int(random() % 2000);
        QProcess p;
        Start(p, {"--record", "20", "--rate", QString::number(kRate), "--channels", "1", "-o",
                  dir.path("never.wav")});
        // The take begins when its version file is made, right before the device starts.
        QElapsedTimer clock;
        clock.start();
        while (dir.tempFiles().isEmpty() && clock.elapsed() < 10000) QThread::usleep(2000);
        clock.restart();
        QThread::msleep(ms);
        const double elapsed = clock.nsecsElapsed() / 1e9;
        ::kill(pid_t(p.processId()), SIGKILL);
        ASSERT_TRUE(p.waitForFinished(10000));
        QString list;
        ASSERT_EQ(Run({"--recover-list"}, &list), 0);
        const QStringList lines = list.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 1) << list.toStdString();
        const QString id = lines[0].section('\t', 0, 0);
        ASSERT_EQ(Run({"--recover", id, "-o", dir.path("back.wav")}), 0);
        const QByteArray got = WavData(dir.path("back.wav"));
        EXPECT_GE(double(got.size()) / (2 * kRate), elapsed - 1.0);
        EXPECT_EQ(got, ReadAll(dir.path("in.raw")).left(got.size()));
        // Recovered and saved: nothing is offered any more.
        ASSERT_EQ(Run({"--recover-list"}, &list), 0);
        EXPECT_TRUE(list.isEmpty());
    }
}
