// orvane-cli --play end to end: the real binary through SDL's disk driver, and Ctrl+C.
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <cmath>
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

// A preview plays the effect's result on the range, which is what the same step gives for a
// sound holding that range alone (or, where the step reaches past the range, the range of
// what it gives for the whole sound), and applies nothing: the sound saved after it is the
// input.
TEST(CliPlay, PreviewPlaysTheEffectOnTheRangeAndAppliesNothing) {
    struct TCase {
        const char* name;
        QStringList effect;
        // The reference step's options when they differ (frames of the range alone, or of
        // the whole sound's result).
        QStringList reference;
        // The reference is the step on the whole sound, saved for the range.
        bool whole;
    };
    const TCase cases[] = {
        {"amplify", {"--amplify", "50"}, {}, false},
        {"highpass", {"--highpass", "1000:24"}, {}, false},
        {"tempo", {"--tempo", "80"}, {}, false},
        // By the whole sound's peak, which the range need not hold.
        {"normalize", {"--normalize", "90"}, {}, true},
        // Fades that start before the range and end inside it, and the other way round.
        {"fade in", {"--fade-in", "1000:3000"}, {}, true},
        {"fade out", {"--fade-out", "5000:7000"}, {}, true},
        {"loudness", {"--normalize-loudness", "-20:-3"}, {}, false},
        {"denoise", {"--denoise", "2500:4500:20"}, {"--denoise", "500:2500:20"}, false},
        // Silent to frame 2500 and from 6500: the trim keeps 2100..6900, of the range 2100..6000.
        {"trim", {"--trim-silence", "-30:50"}, {"--trim-silence", "-30:50", "--range", "0:3900"},
         true},
    };
    constexpr int64_t kStart = 2000, kEnd = 6000;
    TTempFolder dir;
    std::vector<int16_t> s(2 * 8000);
    for (size_t f = 0; f < s.size() / 2; ++f) {
        const double t = double(f) / 8000;
        s[2 * f] = int16_t(9000 * std::sin(2 * M_PI * 200 * t) + 6000 * std::sin(2 * M_PI * 2500 * t));
        s[2 * f + 1] = int16_t(12000 * std::sin(2 * M_PI * 330 * t));
        if (f < 2500 || f >= 6500) s[2 * f] = s[2 * f + 1] = 0;
    }
    WriteWav(dir.path("in.wav"), 2, 8000, s);
    WriteWav(dir.path("range.wav"), 2, 8000,
             std::vector<int16_t>(s.begin() + 2 * kStart, s.begin() + 2 * kEnd));
    const QByteArray input = ReadAll(dir.path("in.wav"));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess ref;
        QStringList args{dir.path(c.whole ? "in.wav" : "range.wav")};
        args += c.reference.isEmpty() ? c.effect : c.reference;
        if (c.whole && c.reference.isEmpty())
            args += QStringList{"--range", QString("%1:%2").arg(kStart).arg(kEnd)};
        ref.start(ORVANE_CLI, args + QStringList{"-o", dir.path("ref.wav")});
        ASSERT_TRUE(ref.waitForFinished(20000));
        ASSERT_EQ(ref.exitCode(), 0) << ref.readAllStandardError().toStdString();
        const std::vector<int16_t> r = ReadWavSamples(dir.path("ref.wav"));
        const QByteArray want(reinterpret_cast<const char*>(r.data()), qsizetype(r.size() * 2));

        QFile::remove(dir.path("out.raw"));
        QProcess p;
        p.setProcessEnvironment(DiskOutput(dir.path("out.raw")));
        p.start(ORVANE_CLI, QStringList{dir.path("in.wav"), "--preview",
                                        QString("%1:%2").arg(kStart).arg(kEnd)} +
                                c.effect + QStringList{"-o", dir.path("after.wav")});
        ASSERT_TRUE(p.waitForFinished(20000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        const QByteArray raw = ReadAll(dir.path("out.raw"));
        const qsizetype at = raw.indexOf(want);
        ASSERT_GE(at, 0) << "played " << raw.size() << " bytes, wanted " << want.size();
        // Silence before and after the result, nothing else.
        EXPECT_EQ(raw.left(at).count('\0'), at);
        EXPECT_EQ(raw.mid(at + want.size()).count('\0'), raw.size() - at - want.size());
        EXPECT_EQ(ReadWavSamples(dir.path("after.wav")), s);
        EXPECT_EQ(ReadAll(dir.path("in.wav")), input);
    }
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
