// orvane-cli --play end to end: the real binary through SDL's disk driver, and Ctrl+C.
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <cstring>

#include "doctest_util.h"

namespace {

std::vector<int16_t> NonZeroSignal(size_t n) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = int16_t(1 + (i * 7919) % 30000);
    return v;
}

QProcessEnvironment DiskOutput(const QString& file) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SDL_AUDIODRIVER", "disk");
    env.insert("SDL_DISKAUDIOFILE", file);
    return env;
}

TEST(CliPlay, PlaysTheRangeAndEndsWhenItHasPlayed) {
    TTempFolder dir;
    const std::vector<int16_t> s = NonZeroSignal(2 * 8000);
    WriteWav(dir.path("in.wav"), 2, 8000, s);
    QProcess p;
    p.setProcessEnvironment(DiskOutput(dir.path("out.raw")));
    p.start(ORVANE_CLI, {dir.path("in.wav"), "--play", "1000:3000"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    // The last readout is the end of the range: frame 3000 at 8 kHz.
    EXPECT_TRUE(err.contains("0:00.375")) << err.toStdString();
    const QByteArray raw = ReadAll(dir.path("out.raw"));
    qsizetype lead = 0;
    while (lead < raw.size() && raw[lead] == 0) ++lead;
    const QByteArray want(reinterpret_cast<const char*>(s.data() + 2 * 1000), 2000 * 4);
    ASSERT_GE(raw.size(), lead + want.size());
    EXPECT_EQ(raw.mid(lead, want.size()), want);
    EXPECT_EQ(raw.mid(lead + want.size()).count('\0'), raw.size() - lead - want.size());
}

TEST(CliPlay, CtrlCStopsCleanly) {
    TTempFolder dir;
    WriteWav(dir.path("long.wav"), 1, 8000, NonZeroSignal(8000 * 20));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SDL_AUDIODRIVER", "dummy");
    p.setProcessEnvironment(env);
    p.start(ORVANE_CLI, {dir.path("long.wav"), "--play"});
    ASSERT_TRUE(p.waitForStarted());
    // Give it time to start playing, then interrupt it.
    p.waitForFinished(800);
    ASSERT_EQ(p.state(), QProcess::Running);
    kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130);
}

}  // namespace
