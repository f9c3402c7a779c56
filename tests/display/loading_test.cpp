// A load held half way by a disk that stops taking data: the view must already draw and play
// what is in, and the rest must follow once the disk goes on.
#include <gtest/gtest.h>
#include <QProcess>

#include "gatefileio.h"
#include "playback_util.h"
#include "player.h"
#include "render_util.h"
#include "waveview.h"

namespace {

constexpr uint32_t kRate = 44100;

// Block k of 512 frames swings between +a and -a (a square wave at 1378 Hz, which an MP3
// keeps) on the left, half that on the right:
// the peak table is known by heart.
int16_t Swing(int64_t block) {
    return int16_t(1000 + (block * 37) % 20000);
}
std::vector<int16_t> Swings(int64_t frames) {
    std::vector<int16_t> s(size_t(frames) * 2);
    for (int64_t f = 0; f < frames; ++f) {
        const int16_t a = Swing(f / kPeakBlockFrames);
        const int16_t v = (f / 16) % 2 == 0 ? a : int16_t(-a);
        s[size_t(2 * f)] = v;
        s[size_t(2 * f + 1)] = int16_t(v / 2);
    }
    return s;
}

bool Tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct TLoadCase {
    const char* name;
    const char* ext;   // made from the WAV by lame (mp3) or ffmpeg; "wav": the WAV itself
    int64_t seconds;
    int64_t gateBytes;  // per file written before the disk stops
    const char* parts;  // ORVANE_MP3_PARTS
    bool exactPeaks;    // lossless: the table is the swing's own
};
void PrintTo(const TLoadCase& c, std::ostream* os) {
    *os << c.name;
}

class LoadingView : public ::testing::TestWithParam<TLoadCase>, public TDocFixture {};

TEST_P(LoadingView, DrawsAndPlaysWhatIsInBeforeTheEnd) {
    const TLoadCase& c = GetParam();
    const int64_t frames = c.seconds * kRate;
    const std::vector<int16_t> sound = Swings(frames);
    const QString wav = dir.path("swing.wav");
    WriteWav(wav, 2, kRate, sound);
    QString source = wav;
    if (std::string(c.ext) != "wav") {
        source = dir.path(QStringLiteral("swing.") + c.ext);
        if (std::string(c.ext) == "mp3")
            ASSERT_TRUE(Tool("lame", {"--quiet", "-b", "192", wav, source}));
        else
            ASSERT_TRUE(Tool("ffmpeg", {"-v", "error", "-i", wav, source}));
    }
    const QString played = dir.path("played.raw");
    TEnv driver("SDL_AUDIODRIVER", "disk");
    TEnv target("SDL_DISKAUDIOFILE", played.toStdString());
    TEnv parts("ORVANE_MP3_PARTS", c.parts);
    TWaveView view;
    view.resize(1030, 250);

    TGateFileIO gate(c.gateBytes);
    TFileIO* system = InstallFileIO(&gate);
    // Whatever fails below, the load runs to its end before the gate goes.
    struct TOpen {
        TGateFileIO& gate;
        TFileIO* system;
        LoadingView& test;
        ~TOpen() {
            gate.Release();
            test.Wait();
            InstallFileIO(system);
        }
    } reopen{gate, system, *this};
    doc.LoadFile(source);
    const int writers = std::string(c.parts) == "2" ? 2 : 1;
    ASSERT_TRUE(PumpUntil([&] { return gate.Held() == writers; }, 60000)) << gate.Held();
    ASSERT_TRUE(PumpUntil([&] {
        doc.PollLoad();
        return doc.LoadedFrames() > 0;
    }, 10000));
    doc.PollLoad();
    ASSERT_TRUE(doc.Busy() && doc.Loading() && !doc.Ready());
    // Every source here says how long it is.
    EXPECT_NEAR(double(doc.Frames()), double(frames), 2 * 1152);
    const int64_t in = doc.LoadedFrames();
    EXPECT_GT(in, kRate);
    EXPECT_LT(in, frames / 2);
    EXPECT_NEAR(doc.Duration(), double(in) / kRate, 1e-9);

    // The peaks of what is in, none of the blocks after it (but those of a second part).
    const Tindexdata& table = doc.PeakTable();
    const int64_t whole = in / kPeakBlockFrames - 1;
    for (int64_t k = 0; k < whole; k += 97) {
        const TPeakEntry l = table[size_t(2 * k)], r = table[size_t(2 * k + 1)];
        if (c.exactPeaks) {
            ASSERT_EQ(l, (TPeakEntry{Swing(k), int16_t(-Swing(k))})) << k;
            ASSERT_EQ(r, (TPeakEntry{int16_t(Swing(k) / 2), int16_t(-Swing(k) / 2)})) << k;
        } else {
            ASSERT_GT(l.max, 0) << k;
        }
    }
    const int64_t gap = in / kPeakBlockFrames + 2;
    EXPECT_EQ(table[size_t(2 * gap)], TPeakEntry{});
    if (writers == 2) {
        // The second part's stretch, past the middle, has come too.
        const int64_t second = frames / 2 / kPeakBlockFrames + 64;
        EXPECT_GT(table[size_t(2 * second)].max, 0);
    }

    // The view draws the part that is in, a flat line after it.
    view.AttachDocument(&doc);
    const QImage& img = view.Renderer().backBuffer;
    const int centre = view.Renderer().channelCentre[0];
    const int wave = int(double(in) / double(doc.Frames()) * 1000);
    const auto reach = [&](int x) {
        int rows = 0;
        for (int y = TWaveRenderer::TopMargin; y < centre; ++y)
            rows += At(img, x, y) == Rgb(DisplayColors.WaveColor);
        return rows;
    };
    EXPECT_GT(reach(wave / 2), 5);
    // Between the first part and the second (at the middle), or after the only one.
    EXPECT_EQ(reach(writers == 2 ? (wave + 500) / 2 : (wave + 1000) / 2), 0);

    // Half a second from 0.25 s plays through the sound library as it is in the source.
    const int64_t from = kRate / 4, count = kRate / 2;
    view.SetSelection(from, from + count, true);
    bool started = false;
    view.OnPlayStatus = [&](bool on) { started = started || on; };
    view.Play();
    ASSERT_TRUE(PumpUntil([&] { return started && !view.Playing(); }, 10000));
    ASSERT_TRUE(doc.Busy() && doc.Loading());
    view.Player().Shutdown();
    QFile out(played);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    const QByteArray raw = out.readAll();

    // The zoom made during the load stays once it ends.
    view.ZoomIn();
    const int64_t span = view.viewSpan;
    gate.Release();
    Wait();
    ASSERT_TRUE(doc.Ready());
    EXPECT_FALSE(doc.Loading());
    view.LoadEnded();
    EXPECT_EQ(view.viewSpan, span);
    const std::vector<int16_t> final = Samples();
    if (c.exactPeaks) {
        EXPECT_EQ(final, sound);
        EXPECT_EQ(doc.PeakTable()[0], (TPeakEntry{Swing(0), int16_t(-Swing(0))}));
    }
    // What was heard during the load is the stretch of the finished sound, after the
    // device's lead-in of silence.
    const QByteArray want(reinterpret_cast<const char*>(final.data() + 2 * from), count * 4);
    const qsizetype at = raw.indexOf(want.left(4096));
    ASSERT_NE(at, -1);
    EXPECT_EQ(raw.mid(at, want.size()), want);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, LoadingView,
    ::testing::Values(
        // The kernel copy of a WAV in our layout: 8 MiB steps, the peaks from the filter.
        TLoadCase{"WavCopied", "wav", 120, 8 << 20, "", true},
        // FFmpeg's general loop through the 1 MiB output buffer.
        TLoadCase{"Flac", "flac", 30, 3 << 19, "", true},
        // Two parts at once: each fills its own stretch.
        TLoadCase{"Mp3InTwoParts", "mp3", 40, 3 << 19, "2", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
