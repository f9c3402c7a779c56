// Takes through SDL's disk driver, which reads its "capture" from a raw file and, with a delay
// of 1 ms per callback, delivers far faster than real time: the take must still be the file's
// samples bit for bit, exactly as long as asked, in the place asked.
#include <gtest/gtest.h>

#include <QFile>
#include <random>

#include "capture.h"
#include "doctest_util.h"
#include "gatefileio.h"
#include "playback_util.h"
#include "settings.h"

namespace {

std::vector<int16_t> Noise(size_t samples, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<int16_t> v(samples);
    for (int16_t& s : v) s = int16_t(random());
    return v;
}

// The disk driver's input: raw samples in the take's own format, from its first byte.
void WriteRaw(const QString& path, const std::vector<int16_t>& samples) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * 2));
}

std::vector<int16_t> Join(
    std::initializer_list<std::pair<const std::vector<int16_t>*, std::pair<size_t, size_t>>>
        parts) {
    std::vector<int16_t> out;
    for (const auto& [v, range] : parts)
        out.insert(out.end(), v->begin() + long(range.first), v->begin() + long(range.second));
    return out;
}

struct TDiskInput {
    explicit TDiskInput(const QString& raw)
        : driver("SDL_AUDIODRIVER", "disk"),
          input("SDL_DISKAUDIOFILEIN", raw.toStdString()),
          delay("SDL_DISKAUDIODELAY", "1"),
          output("SDL_DISKAUDIOFILE", "/dev/null") {}
    TEnv driver, input, delay, output;
};

}  // namespace

// Mono and stereo at 44.1 and 48 kHz, as a new sound, inserted and over a range: the take is
// the input's start, the rest of the sound is untouched and Undo gives the sound back.
TEST(RecordTest, TakeIsTheInputBitForBitInItsPlaceAndUndoRestores) {
    enum TWhere { kNew, kAt, kOver };
    struct TCase {
        uint16_t channels;
        uint32_t rate;
        TWhere where;
    };
    std::vector<TCase> cases;
    for (const uint16_t c : {1, 2})
        for (const uint32_t r : {44100u, 48000u})
            for (const TWhere w : {kNew, kAt, kOver}) cases.push_back({c, r, w});
    for (const TCase& k : cases) {
        SCOPED_TRACE(std::to_string(k.channels) + " ch " + std::to_string(k.rate) + " Hz, " +
                     (k.where == kNew  ? "new"
                      : k.where == kAt ? "at"
                                       : "over"));
        TDocFixture f;
        const size_t n = k.channels;
        // Longer than any take: past its end the driver gives silence.
        std::vector<int16_t> input = Noise(size_t(k.rate) * 3 * n, k.rate + n);
        for (const size_t i : {5, 77, 1001}) input[i] = i == 77 ? -32768 : 32767;
        WriteRaw(f.dir.path("in.raw"), input);
        TDiskInput disk(f.dir.path("in.raw"));
        const std::vector<int16_t> before = Noise(size_t(k.rate) * n, 7);
        const int64_t frames = int64_t(before.size() / n);
        if (k.where != kNew) f.LoadSamples(k.channels, before, k.rate);
        // An odd length, so that no take ends on a callback's boundary.
        const int64_t take = k.where == kOver ? 30011 : k.rate + 1234;
        const int64_t at = 10007;
        TTakeRequest request{k.where == kNew  ? TTakePlace::kNewSound
                             : k.where == kAt ? TTakePlace::kInsert
                                              : TTakePlace::kReplace,
                             at, at + take, k.where == kOver ? 0 : take};
        auto capture = std::make_unique<TSdlCapture>("", k.channels, k.rate, request.maxFrames);
        ASSERT_TRUE(f.doc.Record(std::move(capture), request));
        f.Wait();
        ASSERT_TRUE(f.doc.Ready());
        EXPECT_EQ(f.doc.LastTakeEnd(), TTakeEnd::kLength);
        EXPECT_EQ(f.doc.TakeStatus().dropouts, 0);
        const size_t t = size_t(take) * n, a = size_t(at) * n;
        EXPECT_EQ(f.doc.TakeStatus().clips,
                  std::count_if(input.begin(), input.begin() + long(t),
                                [](int16_t v) { return v == 32767 || v == -32768; }));
        std::vector<int16_t> want;
        if (k.where == kNew) want = Join({{&input, {0, t}}});
        if (k.where == kAt)
            want = Join({{&before, {0, a}}, {&input, {0, t}}, {&before, {a, before.size()}}});
        if (k.where == kOver)
            want = Join({{&before, {0, a}}, {&input, {0, t}}, {&before, {a + t, before.size()}}});
        ASSERT_EQ(f.doc.Frames(), int64_t(want.size() / n));
        EXPECT_TRUE(f.Samples() == want);
        EXPECT_TRUE(f.doc.Modified());
        if (k.where == kNew) {
            EXPECT_FALSE(f.doc.CanUndo());
            continue;
        }
        f.doc.Undo();
        f.Wait();
        EXPECT_EQ(f.doc.Frames(), frames);
        EXPECT_TRUE(f.Samples() == before);
        EXPECT_FALSE(f.doc.Modified());
    }
}

// The writer held up by the disk: the ring overflows, the dropout is counted at once, marked at
// the frame where it began, written as silence of the frames lost, and the take goes on with
// the input's samples at their own frames.
TEST(RecordTest, StalledWriterGivesOneDropoutMarkedWhereItBegan) {
    TDocFixture f;
    constexpr uint32_t kRate = 44100;
    const std::vector<int16_t> input = Noise(kRate * 24, 3);
    WriteRaw(f.dir.path("in.raw"), input);
    TDiskInput disk(f.dir.path("in.raw"));
    const int64_t take = kRate * 20;
    // The writer may put one second in the file before the disk stops taking it.
    TGateFileIO gate(kRate * 2, true);
    TScopedFileIO scope(gate);
    auto capture = std::make_unique<TSdlCapture>("", 1, kRate, take, 2.0);
    const int64_t ring = capture->Ring().CapacityFrames();
    std::vector<int64_t> seen;
    f.doc.OnTakeDropout = [&](Twavefile*, int64_t frame) { seen.push_back(frame); };
    ASSERT_TRUE(f.doc.Record(std::move(capture), {TTakePlace::kNewSound, 0, 0, take}));
    // Reported while the writer is still held: the dropout shows the moment it happens.
    ASSERT_TRUE(PumpUntil([&] { return f.doc.PollRecord() && !seen.empty(); }, 20000));
    EXPECT_EQ(gate.Held(), 1);
    QThread::msleep(100);
    gate.Release();
    f.Wait();
    ASSERT_TRUE(f.doc.Ready());
    ASSERT_EQ(f.doc.Frames(), take);
    const TTakeStatus& s = f.doc.TakeStatus();
    ASSERT_EQ(s.dropouts, 1);
    ASSERT_EQ(seen.size(), 1u);
    const int64_t d = seen[0], lost = s.lostFrames;
    EXPECT_EQ(s.dropoutFrames, std::vector<int64_t>{d});
    // Everything the writer had taken before it was held, and a full ring after it.
    EXPECT_GE(d, kRate + ring);
    EXPECT_GT(lost, 0);
    ASSERT_LT(d + lost, take);
    ASSERT_EQ(f.doc.Markers().size(), 1u);
    EXPECT_EQ(f.doc.Markers()[0].start, d);
    EXPECT_EQ(f.doc.Markers()[0].name, "Dropout");
    const std::vector<int16_t> got = f.Samples();
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + d, input.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + d, got.begin() + d + lost, [](int16_t v) { return !v; }));
    EXPECT_TRUE(std::equal(got.begin() + d + lost, got.end(), input.begin() + d + lost));
}

// Cancel leaves the sound as it was and nothing of the take on disk; Stop keeps what came.
TEST(RecordTest, CancelLeavesTheSoundAndStopKeepsTheTakeSoFar) {
    TDocFixture f;
    constexpr uint32_t kRate = 8000;
    const std::vector<int16_t> input = Noise(kRate * 30, 5);
    WriteRaw(f.dir.path("in.raw"), input);
    TDiskInput disk(f.dir.path("in.raw"));
    TEnv slow("SDL_DISKAUDIODELAY", "20");
    const std::vector<int16_t> before = Noise(kRate, 9);
    f.LoadSamples(1, before, kRate);
    const QStringList files = f.dir.tempFiles();
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancel" : "stop");
        ASSERT_TRUE(f.doc.Record(std::make_unique<TSdlCapture>("", 1, kRate),
                                 {TTakePlace::kAppend, 0, 0, 0}));
        ASSERT_TRUE(PumpUntil(
            [&] { return f.doc.PollRecord() && f.doc.TakeStatus().frames > 4000; }, 20000));
        f.doc.PauseRecording(true);
        EXPECT_TRUE(f.doc.TakeStatus().paused);
        f.doc.PauseRecording(false);
        if (cancel)
            f.doc.Cancel();
        else
            f.doc.StopRecording();
        f.Wait();
        ASSERT_TRUE(f.doc.Ready());
        if (cancel) {
            EXPECT_EQ(f.doc.LastTakeEnd(), TTakeEnd::kCancelled);
            EXPECT_TRUE(f.Samples() == before);
            EXPECT_FALSE(f.doc.CanUndo());
            EXPECT_EQ(f.dir.tempFiles(), files);
            continue;
        }
        EXPECT_EQ(f.doc.LastTakeEnd(), TTakeEnd::kStopped);
        const int64_t take = f.doc.Frames() - int64_t(before.size());
        EXPECT_GE(take, 4000);
        const std::vector<int16_t> got = f.Samples();
        EXPECT_TRUE(std::equal(before.begin(), before.end(), got.begin()));
        // Each take opens the device anew, which reads its file from the start.
        EXPECT_TRUE(std::equal(got.begin() + long(before.size()), got.end(), input.begin()));
        EXPECT_TRUE(f.doc.CanUndo());
    }
}

// Near a full disk the take stops by itself, says so, and is kept: the input's start, whole.
TEST(RecordTest, NearlyFullDiskStopsTheTakeAndKeepsIt) {
    TSmallDisk disk("24M");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    TDocFixture f;
    const std::vector<int16_t> input = Noise(8 << 20, 13);
    WriteRaw(f.dir.path("in.raw"), input);
    TDiskInput driver(f.dir.path("in.raw"));
    Settings.tempfolder = disk.path();
    std::vector<TTakeEnd> ended;
    f.doc.OnTakeEnded = [&](Twavefile*, TTakeEnd end) { ended.push_back(end); };
    TTakeRequest request{TTakePlace::kNewSound};
    // Leaves 4 MiB for the take (the rest of the disk counts as full).
    request.reserveBytes = 20 << 20;
    ASSERT_TRUE(f.doc.Record(std::make_unique<TSdlCapture>("", 1, 8000), request));
    // The disk time left: at most the 4 MiB above the reserve, at 16000 bytes a second.
    ASSERT_TRUE(PumpUntil(
        [&] { return !f.doc.PollRecord() || f.doc.TakeStatus().diskSecondsLeft >= 0; }, 20000));
    const double left = f.doc.TakeStatus().diskSecondsLeft;
    EXPECT_GT(left, 0);
    EXPECT_LE(left, 4.0 * (1 << 20) / 16000);
    f.Wait();
    ASSERT_TRUE(f.doc.Ready());
    EXPECT_EQ(ended, std::vector<TTakeEnd>{TTakeEnd::kDiskFull});
    ASSERT_EQ(f.notifier.warnings.size(), 1u);
    EXPECT_NE(f.notifier.warnings[0].find("nearly full"), std::string::npos);
    const std::vector<int16_t> got = f.Samples();
    EXPECT_GT(got.size(), 1u << 20);
    EXPECT_LT(got.size(), size_t(8) << 20);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), input.begin()));
    f.doc.Close();
}

// The monitor measures the input without recording: per channel the highest absolute sample,
// and the samples at full scale.
TEST(RecordTest, MonitorShowsTheInputPeaksPerChannelAndCountsClips) {
    TTempFolder dir;
    std::vector<int16_t> input(2 * 8000);
    for (size_t i = 0; i < input.size(); i += 2) {
        input[i] = int16_t(int(i % 2001) - 1000);  // left: -1000..1000
        input[i + 1] = int16_t(i % 7 == 0 ? 100 : -200);
    }
    input[2 * 4000 + 1] = -32768;
    input[2 * 4001 + 1] = 32767;
    WriteRaw(dir.path("in.raw"), input);
    TDiskInput disk(dir.path("in.raw"));
    TInputMonitor monitor("", 2, 8000);
    std::array<int16_t, kMaxPeakChannels> high{};
    ASSERT_TRUE(PumpUntil(
        [&] {
            const auto p = monitor.TakePeaks();
            for (size_t c = 0; c < high.size(); ++c) high[c] = std::max(high[c], p[c]);
            return monitor.Clips() == 2;
        },
        20000));
    EXPECT_EQ(high[0], 1000);
    EXPECT_EQ(high[1], 32767);
    EXPECT_EQ(high[2], 0);
}
