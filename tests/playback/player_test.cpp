#include "player.h"

#include <gtest/gtest.h>
#include <string>

#include <unistd.h>
#include "testutil.h"

#include <QFile>
#include <cstdlib>
#include <cstring>

#include "doctest_util.h"
#include "manualbackend.h"
#include "playback_util.h"

namespace {

// Mono 16-bit at 8 kHz: a chunk is 1000 bytes (500 frames), the buffer 16000 bytes.
constexpr uint32_t kRate = 8000;
constexpr uint32_t kChunk = 1000;
constexpr uint32_t kChunkFrames = kChunk / 2;

std::vector<uint8_t> Bytes(const std::vector<int16_t>& samples, size_t first, size_t count) {
    std::vector<uint8_t> out(count * 2);
    std::memcpy(out.data(), samples.data() + first, count * 2);
    return out;
}

bool AllZero(const std::vector<uint8_t>& v, size_t from) {
    for (size_t i = from; i < v.size(); ++i)
        if (v[i] != 0) return false;
    return true;
}

// A sound whose every sample is non-zero, so silence cannot pass for it.
std::vector<int16_t> Ramp(size_t count) {
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i) s[i] = static_cast<int16_t>(1 + i % 30000);
    return s;
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        player.OnPosition = [this](int32_t p) { events.push_back("pos " + std::to_string(p)); };
        player.OnStatus = [this](bool on) { events.push_back(on ? "on" : "off"); };
        player.Init(backend);
        events.clear();
    }

    void Load(uint16_t channels, const std::vector<int16_t>& samples, uint32_t rate = kRate) {
        f.LoadSamples(channels, samples, rate);
        ASSERT_TRUE(f.doc.Ready());
        sound = samples;
    }
    void OpenFrames(uint32_t first, uint32_t count) {
        const uint16_t ch = f.doc.Channels();
        player.Open(&f.doc, first * ch, TWaveFormat::Pcm16(ch, f.doc.SampleRate()), count * ch * 2);
        events.clear();
    }
    // Moves the clock and lets every notification it caused run.
    void Tick(uint32_t frames = kChunkFrames) {
        backend->Advance(frames);
        Settle();
    }
    void Settle() {
        ASSERT_TRUE(PumpUntil([this] {
            TSoundBuffer* b = player.Buffer();
            return !b || !b->NotifyThread() || b->NotifyThread()->Pending() == 0;
        }));
    }
    // Plays to the end one chunk at a time; returns the chunks played.
    int PlayToEnd() {
        player.Play();
        int ticks = 0;
        while (player.Playing() && ticks < 100) {
            Tick();
            ++ticks;
        }
        return ticks;
    }

    TDocFixture f;
    std::shared_ptr<TManualClockBackend> backend = std::make_shared<TManualClockBackend>();
    TPlayer player;
    std::vector<std::string> events;
    std::vector<int16_t> sound;
};

struct TChunkCase {
    uint16_t channels;
    uint32_t rate;
    uint32_t chunk;
    uint32_t buffer;
};
class ChunkSizeTest : public ::testing::TestWithParam<TChunkCase> {};

TEST_P(ChunkSizeTest, SixteenthOfASecondOfWholeFrames) {
    const TWaveFormat fmt = TWaveFormat::Pcm16(GetParam().channels, GetParam().rate);
    EXPECT_EQ(TPlayer::ChunkBytes(fmt), GetParam().chunk);
    EXPECT_EQ(TPlayer::kChunks * TPlayer::ChunkBytes(fmt), GetParam().buffer);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ChunkSizeTest,
    ::testing::Values(TChunkCase{2, 44100, 11028, 176448}, TChunkCase{1, 44100, 5512, 88192},
                      TChunkCase{2, 48000, 12000, 192000}, TChunkCase{1, 8000, 1000, 16000}),
    [](const auto& info) {
        return std::to_string(info.param.channels) + "ChannelsAt" + std::to_string(info.param.rate);
    });

TEST_F(PlayerTest, NotificationOffsetsForStereo44k) {
    Load(2, Ramp(2000), 44100);
    OpenFrames(0, 1000);
    player.Play();
    TNotifyThread* t = player.Buffer()->NotifyThread();
    ASSERT_EQ(t->Count(), 17);
    for (int32_t i = 0; i < 15; ++i) EXPECT_EQ(t->Offset(i), 11028u * (i + 1));
    EXPECT_EQ(t->Offset(14), 165420u);
    EXPECT_EQ(t->Offset(15), 176447u);
    EXPECT_EQ(t->Offset(16), 0xFFFFFFFFu);
}

TEST_F(PlayerTest, StretchShorterThanAChunk) {
    Load(1, Ramp(4000));
    OpenFrames(100, 300);
    EXPECT_EQ(PlayToEnd(), 2);
    // The first notification reports the length; the second stops; the buffer's stop
    // notification stops once more.
    EXPECT_EQ(events, (std::vector<std::string>{"on", "pos 600", "off", "off"}));
    const std::vector<uint8_t> out = backend->TakeOutput();
    ASSERT_EQ(out.size(), 2 * kChunk);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 600), Bytes(sound, 100, 300));
    EXPECT_TRUE(AllZero(out, 600));
}

TEST_F(PlayerTest, StretchOfThreeAndAHalfChunks) {
    Load(1, Ramp(4000));
    OpenFrames(7, 1750);
    EXPECT_EQ(PlayToEnd(), 4);
    EXPECT_EQ(events,
              (std::vector<std::string>{"on", "pos 1000", "pos 2000", "pos 3500", "off", "off"}));
    const std::vector<uint8_t> out = backend->TakeOutput();
    ASSERT_EQ(out.size(), 4 * kChunk);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 3500), Bytes(sound, 7, 1750));
    EXPECT_TRUE(AllZero(out, 3500));
    // Rewound: ready to play the same stretch again.
    EXPECT_TRUE(player.BufferExists());
    EXPECT_EQ(player.Position(), 0u);
}

TEST_F(PlayerTest, StretchOfExactlyOneBuffer) {
    Load(1, Ramp(9000));
    OpenFrames(0, 16 * kChunkFrames);
    EXPECT_EQ(PlayToEnd(), 16);
    std::vector<std::string> expected{"on"};
    for (int k = 1; k <= 14; ++k) expected.push_back("pos " + std::to_string(k * kChunk));
    expected.push_back("pos 16000");
    expected.push_back("off");
    expected.push_back("off");
    EXPECT_EQ(events, expected);
    EXPECT_EQ(backend->TakeOutput(), Bytes(sound, 0, 16 * kChunkFrames));
}

TEST_F(PlayerTest, LongStretchStreamsCompleteAndInOrder) {
    const std::vector<int16_t> s = Ramp(30000);
    Load(1, s);
    OpenFrames(123, 25000);  // over three buffers, ending inside a chunk
    const int ticks = PlayToEnd();
    EXPECT_EQ(ticks, 50);
    const std::vector<uint8_t> out = backend->TakeOutput();
    ASSERT_GE(out.size(), 50000u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 50000), Bytes(s, 123, 25000));
    EXPECT_TRUE(AllZero(out, 50000));
    EXPECT_EQ(events[events.size() - 3], "pos 50000");
}

TEST_F(PlayerTest, ALateStopRunsIntoSilenceNotIntoTheLastLap) {
    const std::vector<int16_t> s = Ramp(30000);
    Load(1, s);
    OpenFrames(0, 25000);
    player.Play();
    while (events.back() != "pos 50000") Tick();
    // The user-interface thread is busy while the device plays on for six more chunks.
    backend->Advance(6 * kChunkFrames);
    Settle();
    EXPECT_FALSE(player.Playing());
    const std::vector<uint8_t> out = backend->TakeOutput();
    ASSERT_GE(out.size(), 50000u + 5 * kChunk);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 50000), Bytes(s, 0, 25000));
    EXPECT_TRUE(AllZero(out, 50000));
}

TEST_F(PlayerTest, ALateNotificationDoesNotCutTheEnd) {
    const std::vector<int16_t> s = Ramp(30000);
    Load(1, s);
    OpenFrames(0, 24750);  // 49.5 chunks
    player.Play();
    while (events.back() != "pos 47000") Tick();
    // Handled late: the notification at 48 chunks is taken with the cursor at 48.8, less than a
    // chunk before the end, which marks the end as near.
    backend->Advance(kChunkFrames * 18 / 10);
    Settle();
    ASSERT_EQ(events.back(), "pos 49500");
    // The next notification comes with half a chunk still to play: playback goes on.
    backend->Advance(kChunkFrames * 2 / 10);
    Settle();
    EXPECT_TRUE(player.Playing());
    Tick();
    EXPECT_FALSE(player.Playing());
    const std::vector<uint8_t> out = backend->TakeOutput();
    ASSERT_GE(out.size(), 49500u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 49500), Bytes(s, 0, 24750));
    EXPECT_TRUE(AllZero(out, 49500));
}

TEST_F(PlayerTest, PlayWhilePlayingRestartsFromTheBeginning) {
    Load(1, Ramp(4000));
    OpenFrames(0, 1750);
    player.Play();
    Tick();
    Tick();
    backend->TakeOutput();
    events.clear();
    player.Play();
    Settle();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "off");
    EXPECT_EQ(events.back(), "on");
    Tick();
    EXPECT_EQ(backend->TakeOutput(), Bytes(sound, 0, kChunkFrames));
    EXPECT_EQ(events.back(), "pos 1000");
}

TEST_F(PlayerTest, StopRewindsAndCloseReleasesTheBuffer) {
    Load(1, Ramp(4000));
    OpenFrames(0, 3000);
    player.Play();
    Tick();
    player.Stop();
    Settle();
    EXPECT_FALSE(player.Playing());
    EXPECT_TRUE(player.BufferExists());
    player.Play();
    Tick();
    // The first chunk, then (rewound) the first chunk again.
    std::vector<uint8_t> twice = Bytes(sound, 0, kChunkFrames);
    const std::vector<uint8_t> once = twice;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(backend->TakeOutput(), twice);
    const int32_t threads = TNotifyThread::Alive();
    player.Close();
    EXPECT_FALSE(player.BufferExists());
    EXPECT_EQ(player.Buffer(), nullptr);
    EXPECT_EQ(TNotifyThread::Alive(), threads - 1);
    EXPECT_EQ(backend->OpenStreams(), 0);
    // Without a buffer, Play reports that it cannot start and Stop has nothing to rewind.
    events.clear();
    player.Play();
    player.Stop();
    EXPECT_EQ(events, (std::vector<std::string>{"off", "off"}));
}

// A file still being written plays what has come, in order: kept ahead of the cursor it plays
// without a gap; run dry, it goes silent once and then plays on from where it stopped. Either
// way the position ends at the stretch's length.
TEST_F(PlayerTest, AGrowingFilePlaysWhatHasComeInOrder) {
    struct TRow {
        const char* name;
        std::vector<uint32_t> chunks;  // there at the open, then after each tick
        bool gap;
    };
    const std::vector<int16_t> s = Ramp(20 * kChunkFrames + 100);
    const uint64_t total = s.size() * 2;
    TTempFolder dir;
    WriteWav(dir.path("growing.wav"), 1, kRate, s);
    for (const TRow& row : {TRow{"ahead", {2, 5, 8, 11, 14, 17, 20, 21}, false},
                            TRow{"dry", {2, 2, 2, 2, 2, 2, 21}, true}}) {
        SCOPED_TRACE(row.name);
        uint64_t ready = 0;
        auto at = [&](size_t tick) {
            ready = std::min<uint64_t>(total, row.chunks[std::min(tick, row.chunks.size() - 1)] * kChunk);
        };
        at(0);
        player.OpenFile(dir.path("growing.wav"), [&] { return ready; });
        events.clear();
        player.Play();
        for (size_t t = 1; player.Playing() && t < 100; ++t) {
            Tick();
            at(t);
        }
        const std::vector<uint8_t> out = backend->TakeOutput();
        std::vector<int16_t> heard(out.size() / 2);
        std::memcpy(heard.data(), out.data(), heard.size() * 2);
        std::vector<int16_t> sound;
        int silences = 0;
        for (size_t i = 0; i < heard.size(); ++i) {
            if (heard[i] != 0) {
                if (!sound.empty() && heard[i - 1] == 0) ++silences;
                sound.push_back(heard[i]);
            }
        }
        EXPECT_EQ(sound, s);
        EXPECT_EQ(silences, row.gap ? 1 : 0);
        std::string last;
        for (const std::string& e : events)
            if (e.rfind("pos ", 0) == 0) last = e;
        EXPECT_EQ(last, "pos " + std::to_string(total));
        player.Close();
    }
}

TEST(PlayerBareTest, SetVolumeBeforeOpenDoesNothing) {
    TDocFixture f;
    f.LoadSamples(1, std::vector<int16_t>(4000, 100), kRate);
    TPlayer player;
    std::vector<bool> status;
    player.OnStatus = [&](bool on) { status.push_back(on); };
    EXPECT_NO_THROW(player.SetVolume(-5000));  // no device yet
    auto backend = std::make_shared<TManualClockBackend>();
    player.Init(backend);
    status.clear();
    EXPECT_NO_THROW(player.SetVolume(-5000));  // a device, no buffer
    // No event, no buffer, no stream: nothing happened.
    EXPECT_TRUE(status.empty());
    EXPECT_EQ(player.Buffer(), nullptr);
    EXPECT_EQ(backend->OpenStreams(), 0);
    int16_t levels[2] = {7, 7};
    player.GetLevels(levels);  // no stretch, no store: nothing is read, both channels silent
    EXPECT_EQ(levels[0], 1);
    EXPECT_EQ(levels[1], 1);
    // Nor is the volume remembered: the next buffer starts at full volume.
    player.Open(&f.doc, 0, TWaveFormat::Pcm16(1, kRate), 2000);
    ASSERT_NE(player.Buffer(), nullptr);
    EXPECT_EQ(player.Buffer()->GetVolume(), kVolumeFull);
    player.Shutdown();
}

TEST_F(PlayerTest, VolumeAppliesToTheOpenedBuffer) {
    Load(1, std::vector<int16_t>(4000, 10000));
    OpenFrames(0, 1000);
    player.SetVolume(-600);
    player.Play();
    Tick(1);
    const std::vector<uint8_t> out = backend->TakeOutput();
    int16_t v;
    std::memcpy(&v, out.data(), 2);
    EXPECT_EQ(v, 5012);
    EXPECT_EQ(player.Buffer()->GetVolume(), -600);
}

struct TLevelCase {
    int16_t value;
    int16_t level;
};
class LevelTest : public PlayerTest, public ::testing::WithParamInterface<TLevelCase> {};

TEST_P(LevelTest, PeakOfTheNextTenthOfASecond) {
    // Left carries the value once, inside the window; right stays silent.
    std::vector<int16_t> s(2 * 2000, 0);
    s[2 * 700] = GetParam().value;
    Load(2, s);
    OpenFrames(0, 2000);
    int16_t levels[2] = {};
    player.GetLevels(levels);
    EXPECT_EQ(levels[0], GetParam().level);
    EXPECT_EQ(levels[1], 1);
}

INSTANTIATE_TEST_SUITE_P(Values, LevelTest,
                         ::testing::Values(TLevelCase{0, 1}, TLevelCase{1, 0},
                                           TLevelCase{-32768, 128}, TLevelCase{32767, 127},
                                           TLevelCase{3277, 99}, TLevelCase{-16384, 119}),
                         [](const auto& info) {
                             return "Sample" +
                                    ((info.param.value) < 0
                                         ? "Minus" + std::to_string(-int64_t(info.param.value))
                                         : std::to_string(info.param.value)) +
                                    "GivesLevel" + std::to_string(info.param.level);
                         });

TEST_F(PlayerTest, LevelsAtTheEndOfTheStoreReadNothing) {
    std::vector<int16_t> s(2 * 1000, 0);
    s[2 * 999] = 20000;
    s[2 * 999 + 1] = -20000;
    Load(2, s);
    OpenFrames(999, 1);
    int16_t levels[2] = {};
    player.GetLevels(levels);
    EXPECT_GT(levels[0], 100);  // the last frame is still ahead
    EXPECT_GT(levels[1], 100);
    player.Play();
    Tick();
    ASSERT_EQ(player.Position(), 4u);  // finished: the frame now playing is past the store
    player.GetLevels(levels);
    EXPECT_EQ(levels[0], 1);
    EXPECT_EQ(levels[1], 1);
}

TEST_F(PlayerTest, AnEditClosesTheBufferBeforeTheStoreIsReplaced) {
    Load(1, Ramp(20000));
    OpenFrames(0, 20000);
    player.Play();
    Tick();
    TLargeFile* old = f.doc.Store();
    f.doc.Invert();
    f.Wait();
    EXPECT_FALSE(player.Playing());
    ASSERT_NE(f.doc.Store(), old);
    EXPECT_FALSE(player.BufferExists());
    int16_t level[1] = {5};
    player.GetLevels(level);  // the released store is not read
    EXPECT_EQ(level[0], 1);
    // The next Open takes the new store.
    OpenFrames(0, 10);
    backend->TakeOutput();
    player.Play();
    Tick(10);
    EXPECT_EQ(backend->TakeOutput(), Bytes(f.Samples(), 0, 10));
}

TEST_F(PlayerTest, ClosingTheDocumentWhilePlayingStopsAndReleases) {
    Load(1, Ramp(20000));
    OpenFrames(0, 20000);
    player.Play();
    Tick();
    f.doc.Close();
    EXPECT_FALSE(player.Playing());
    EXPECT_FALSE(player.BufferExists());
    EXPECT_EQ(events.back(), "off");
}

TEST_F(PlayerTest, ShutdownFreesTheDeviceAndLetsGoOfTheDocument) {
    Load(1, Ramp(4000));
    OpenFrames(0, 1000);
    player.Play();
    player.Shutdown();
    EXPECT_EQ(player.Device(), nullptr);
    EXPECT_EQ(backend->OpenStreams(), 0);
    EXPECT_FALSE(f.doc.HasStoreListener(&player));
}

TEST_F(PlayerTest, ReopeningKeepsOtherStoreListenersAttached) {
    Load(1, Ramp(4000));
    int viewReleases = 0;
    f.doc.AttachStoreListener(this, [&] { ++viewReleases; });
    OpenFrames(0, 1000);
    OpenFrames(0, 2000);
    player.Play();
    f.doc.Close();
    EXPECT_EQ(viewReleases, 1);
    EXPECT_FALSE(player.BufferExists());
    f.doc.DetachStoreListener(this);
}

// --- through SDL ---

// Plays a stretch through a player on SDL's current driver until it has ended.
bool PlayThroughSdl(TDocFixture& f, uint32_t first, uint32_t count, std::string* noOutput) {
    TPlayer player;
    bool started = false, ended = false;
    player.OnStatus = [&](bool on) {
        if (on)
            started = true;
        else if (started)
            ended = true;
    };
    player.Init();
    if (noOutput) *noOutput = player.NoOutputMessage();
    const uint16_t ch = f.doc.Channels();
    player.Open(&f.doc, first * ch, TWaveFormat::Pcm16(ch, f.doc.SampleRate()), count * ch * 2);
    player.Play();
    const bool done = PumpUntil([&] { return ended; }, 10000);
    player.Shutdown();
    return done;
}

TEST(PlayerSdlTest, DiskDriverReceivesTheStretchCompleteAndInOrder) {
    TDocFixture f;
    const std::vector<int16_t> s = Ramp(8000);
    f.LoadSamples(1, s, kRate);
    const QString file = f.dir.path("out.raw");
    // Real-time pacing (SDL's default delay for the disk driver): with no delay SDL would pull
    // the looping buffer far faster than any refill, as no real device can.
    TEnv driver("SDL_AUDIODRIVER", "disk");
    TEnv target("SDL_DISKAUDIOFILE", file.toStdString());
    ASSERT_TRUE(PlayThroughSdl(f, 500, 3200, nullptr));
    const QByteArray raw = ReadAll(file);
    std::vector<uint8_t> out(raw.begin(), raw.end());
    size_t lead = 0;
    while (lead < out.size() && out[lead] == 0) ++lead;
    const std::vector<uint8_t> want = Bytes(s, 500, 3200);
    ASSERT_GE(out.size(), lead + want.size());
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + lead, out.begin() + lead + want.size()), want);
    EXPECT_TRUE(AllZero(out, lead + want.size()));
}

TEST(PlayerSdlTest, WithoutASoundCardSilentOutputTakesOverQuietly) {
    TDocFixture f;
    f.LoadSamples(1, Ramp(4000), kRate);
    TEnv driver("SDL_AUDIODRIVER", "alsa");
    TEnv card("ALSA_CONFIG_PATH", f.dir.path("no-alsa.conf").toStdString());
    {
        QFile conf(f.dir.path("no-alsa.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("pcm.!default { type hw card 99 }\n");
    }
    // Whatever the libraries below print goes to a file for the length of the run.
    const QString errPath = f.dir.path("stderr.txt");
    fflush(stderr);
    const int saved = dup(2);
    FILE* err = fopen(errPath.toLocal8Bit().constData(), "w");
    dup2(fileno(err), 2);
    std::string message;
    const bool done = PlayThroughSdl(f, 0, 1600, &message);
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    fclose(err);
    EXPECT_TRUE(done);
    EXPECT_NE(message.find("No sound output"), std::string::npos) << message;
    EXPECT_EQ(ReadAll(errPath), QByteArray());
}

}  // namespace
