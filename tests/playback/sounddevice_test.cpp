#include "sounddevice.h"

#include <gtest/gtest.h>
#include <string>

#include "testutil.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "manualbackend.h"
#include "playback_util.h"
#include "sdlbackend.h"
#include "uithread.h"

namespace {

// Mono 16-bit at 8 kHz: one frame is two bytes, so byte offsets are easy to work out.
const TWaveFormat kMono8k = TWaveFormat::Pcm16(1, 8000);
constexpr uint32_t kSize = 16000;

class SoundDeviceTest : public ::testing::Test {
protected:
    std::shared_ptr<TManualClockBackend> backend = std::make_shared<TManualClockBackend>();
    TSoundDevice device{backend};

    // Frames that move the cursor by `bytes` in the mono format.
    void AdvanceBytes(uint32_t bytes) { backend->Advance(bytes / kMono8k.blockAlign); }

    static bool Idle(TSoundBuffer* b) { return b->NotifyThread()->Pending() == 0; }
};

// Records each notification and the thread it ran on.
struct TRecorder {
    std::vector<int32_t> indices;
    bool allOnUiThread = true;
    void Attach(TSoundBuffer* b) {
        b->OnNotify = [this](TSoundBuffer*, int32_t index) {
            indices.push_back(index);
            allOnUiThread = allOnUiThread && IsUiThread();
        };
    }
};

TEST_F(SoundDeviceTest, PositionsArriveInPassingOrderOnTheUiThread) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    TRecorder rec;
    rec.Attach(b);
    // Given out of order: delivery follows the cursor, not the index.
    const uint32_t offsets[] = {3000, 1000, 2000, kSize - 1, TNotifyThread::kOffsetStop};
    b->SetNotifications(5, offsets);
    b->Play();
    AdvanceBytes(3500);  // passes 1000, 2000 and 3000 in one pull
    ASSERT_TRUE(PumpUntil([&] { return Idle(b); }));
    EXPECT_EQ(rec.indices, (std::vector<int32_t>{1, 2, 0}));
    AdvanceBytes(kSize - 3500);  // up to the end, wrapping to 0
    b->Stop();
    ASSERT_TRUE(PumpUntil([&] { return Idle(b); }));
    EXPECT_EQ(rec.indices, (std::vector<int32_t>{1, 2, 0, 3, 4}));
    EXPECT_TRUE(rec.allOnUiThread);
    EXPECT_EQ(b->GetCurrentPosition(), 0u);
}

TEST_F(SoundDeviceTest, StopSignalsOnlyWhenPlaying) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    TRecorder rec;
    rec.Attach(b);
    const uint32_t offsets[] = {TNotifyThread::kOffsetStop};
    b->SetNotifications(1, offsets);
    b->Stop();
    b->Play();
    b->Stop();
    b->Stop();
    ASSERT_TRUE(PumpUntil([&] { return Idle(b); }));
    EXPECT_EQ(rec.indices, (std::vector<int32_t>{0}));
}

TEST_F(SoundDeviceTest, OffsetZeroIsReachedWhenTheCursorWraps) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    TRecorder rec;
    rec.Attach(b);
    const uint32_t offsets[] = {0};
    b->SetNotifications(1, offsets);
    b->Play();
    AdvanceBytes(kSize - 2);
    ASSERT_TRUE(PumpUntil([&] { return Idle(b); }));
    EXPECT_TRUE(rec.indices.empty());
    AdvanceBytes(2);
    ASSERT_TRUE(PumpUntil([&] { return rec.indices.size() == 1; }));
}

struct TCountCase {
    int32_t count;
    bool accepted;
};
class NotificationCountTest : public SoundDeviceTest,
                              public ::testing::WithParamInterface<TCountCase> {};

TEST_P(NotificationCountTest, SixtyThreePositionsFitTheWaitHandles) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    std::vector<uint32_t> offsets(GetParam().count);
    for (size_t i = 0; i < offsets.size(); ++i) offsets[i] = uint32_t(i) * 200;
    const int32_t before = TNotifyThread::Alive();
    if (GetParam().accepted) {
        b->SetNotifications(GetParam().count, offsets.data());
        EXPECT_EQ(TNotifyThread::Alive(), before + 1);
        EXPECT_EQ(b->NotifyThread()->Count(), GetParam().count);
    } else {
        try {
            b->SetNotifications(GetParam().count, offsets.data());
            FAIL() << "accepted " << GetParam().count << " positions";
        } catch (const ESoundWrapperError& e) {
            EXPECT_STREQ(e.what(), "Notification positions exceed maximum of 64");
        }
        EXPECT_EQ(TNotifyThread::Alive(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, NotificationCountTest,
                         ::testing::Values(TCountCase{1, true}, TCountCase{63, true},
                                           TCountCase{64, false}, TCountCase{100, false}),
                         [](const auto& info) {
                             return std::to_string(info.param.count) +
                                    (info.param.accepted ? "Accepted" : "Refused");
                         });

TEST_F(SoundDeviceTest, SettingNotificationsTwiceLeavesOneThread) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    const int32_t before = TNotifyThread::Alive();
    const uint32_t first[] = {1000};
    const uint32_t second[] = {2000, 4000};
    b->SetNotifications(1, first);
    b->SetNotifications(2, second);
    EXPECT_EQ(TNotifyThread::Alive(), before + 1);
    EXPECT_EQ(b->NotifyThread()->Count(), 2);
    // Only the new positions signal.
    TRecorder rec;
    rec.Attach(b);
    b->Play();
    AdvanceBytes(4000);
    ASSERT_TRUE(PumpUntil([&] { return Idle(b); }));
    EXPECT_EQ(rec.indices, (std::vector<int32_t>{0, 1}));
    b->SetNotifications(0, nullptr);
    EXPECT_EQ(TNotifyThread::Alive(), before);
}

TEST_F(SoundDeviceTest, OffsetsBeyondTheBufferAreRefused) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    const uint32_t offsets[] = {kSize};
    EXPECT_THROW(b->SetNotifications(1, offsets), ESoundDeviceError);
    EXPECT_THROW(b->SetCurrentPosition(kSize), ESoundDeviceError);
    EXPECT_THROW(b->Lock(kSize, 2), ESoundDeviceError);
    EXPECT_THROW(b->Lock(0, kSize + 2), ESoundDeviceError);
    EXPECT_THROW(b->SetVolume(1), ESoundDeviceError);
    EXPECT_THROW(b->SetVolume(-10001), ESoundDeviceError);
}

TEST_F(SoundDeviceTest, UnsupportedFormatsAreRefused) {
    TWaveFormat f = kMono8k;
    f.bitsPerSample = 24;
    EXPECT_THROW(device.CreateBuffer(f, 3000), ESoundDeviceError);
    EXPECT_THROW(device.CreateBuffer(TWaveFormat::Pcm16(2, 44100), 4002), ESoundDeviceError);
    EXPECT_THROW(device.CreateBuffer(kMono8k, 0), ESoundDeviceError);
    EXPECT_EQ(device.BufferCount(), 0u);
}

TEST_F(SoundDeviceTest, DestroyingTheDeviceDestroysItsBuffers) {
    const int32_t before = TNotifyThread::Alive();
    {
        TSoundDevice own(backend);
        const uint32_t offsets[] = {1000, TNotifyThread::kOffsetStop};
        for (int i = 0; i < 3; ++i) own.CreateBuffer(kMono8k, kSize)->SetNotifications(2, offsets);
        delete own.CreateBuffer(kMono8k, kSize);  // a buffer leaves the list itself
        EXPECT_EQ(own.BufferCount(), 3u);
        EXPECT_EQ(backend->OpenStreams(), 3);
        EXPECT_EQ(TNotifyThread::Alive(), before + 3);
    }
    EXPECT_EQ(backend->OpenStreams(), 0);
    EXPECT_EQ(TNotifyThread::Alive(), before);
}

// The stop notification of a buffer stopped just before it is destroyed still runs, with the
// buffer intact, before the destruction returns: both before the thread has taken the signal
// and while it is waiting for the hand-over.
class PendingAtDestructionTest : public SoundDeviceTest,
                                 public ::testing::WithParamInterface<bool> {};

TEST_P(PendingAtDestructionTest, RunsDuringDestruction) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    const uint32_t offsets[] = {1000, TNotifyThread::kOffsetStop};
    b->SetNotifications(2, offsets);
    std::vector<int32_t> seen;
    uint32_t sizeSeen = 0;
    b->OnNotify = [&](TSoundBuffer* sender, int32_t index) {
        seen.push_back(index);
        sizeSeen = sender->Size();
        sender->GetCurrentPosition();
    };
    b->Play();
    AdvanceBytes(500);
    b->Stop();
    if (GetParam()) {
        // Wait, without serving the event loop, until the thread is inside the hand-over.
        for (int i = 0; i < 5000 && b->NotifyThread()->Delivering() != 1; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(b->NotifyThread()->Delivering(), 1);
    }
    delete b;
    EXPECT_EQ(seen, (std::vector<int32_t>{1}));
    EXPECT_EQ(sizeSeen, kSize);
    // The queued call that was posted for it finds nothing left to do.
    QCoreApplication::processEvents();
    EXPECT_EQ(seen.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Timing, PendingAtDestructionTest, ::testing::Bool(), [](const auto& info) {
    return info.param ? std::string("InsideTheHandOver") : std::string("BeforeTheSignalIsTaken");
});

TEST_F(SoundDeviceTest, HandlerFailuresAreReportedAndDeliveryGoesOn) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    const uint32_t offsets[] = {1000, 2000};
    b->SetNotifications(2, offsets);
    std::vector<int32_t> seen;
    std::string error;
    b->OnNotify = [&](TSoundBuffer*, int32_t index) {
        seen.push_back(index);
        if (index == 0) throw ESoundDeviceError("refill failed");
    };
    b->OnNotifyError = [&](const std::exception& e) { error = e.what(); };
    b->Play();
    AdvanceBytes(2000);
    ASSERT_TRUE(PumpUntil([&] { return Idle(b); }));
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(error, "refill failed");
}

TEST_F(SoundDeviceTest, CursorLoopsAndCountsBackWhatTheOutputHolds) {
    auto held = std::make_shared<TManualClockBackend>(100);
    TSoundDevice dev(held);
    TSoundBuffer* b = dev.CreateBuffer(kMono8k, kSize);
    b->Play();
    held->Advance(50);  // all of it still in the output: nothing heard yet
    EXPECT_EQ(b->GetCurrentPosition(), 0u);
    held->Advance(250);
    EXPECT_EQ(b->GetCurrentPosition(), 400u);
    held->Advance(kSize / 2 - 300 + 20);  // pulled past the end: the cursor wrapped
    EXPECT_EQ(b->GetCurrentPosition(), kSize - 160);
    b->Stop();
    b->SetCurrentPosition(1001);  // rounded down to a whole frame
    EXPECT_EQ(b->GetCurrentPosition(), 1000u);
}

TEST_F(SoundDeviceTest, LockWrapsAndWhatIsWrittenIsPlayed) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    TSoundBuffer::TRegion r = b->Lock(kSize - 4, 8);
    ASSERT_EQ(r.firstBytes, 4u);
    ASSERT_EQ(r.secondBytes, 4u);
    const uint8_t tail[] = {1, 0, 2, 0};
    const uint8_t head[] = {3, 0, 4, 0};
    std::memcpy(r.first, tail, 4);
    std::memcpy(r.second, head, 4);
    b->Unlock(r);
    b->SetCurrentPosition(kSize - 4);
    b->Play();
    backend->Advance(4);
    EXPECT_EQ(backend->TakeOutput(), (std::vector<uint8_t>{1, 0, 2, 0, 3, 0, 4, 0}));
    b->Stop();
    backend->Advance(4);  // a stopped buffer is not pulled
    EXPECT_TRUE(backend->TakeOutput().empty());
}

struct TVolumeCase {
    int32_t volume;
    int16_t in;
    int16_t out;
};
class VolumeTest : public SoundDeviceTest, public ::testing::WithParamInterface<TVolumeCase> {};

TEST_P(VolumeTest, GainIsAppliedAsSamplesArePulled) {
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    TSoundBuffer::TRegion r = b->Lock(0, 2);
    std::memcpy(r.first, &GetParam().in, 2);
    b->Unlock(r);
    b->SetVolume(GetParam().volume);
    EXPECT_EQ(b->GetVolume(), GetParam().volume);
    b->Play();
    backend->Advance(1);
    const std::vector<uint8_t> out = backend->TakeOutput();
    ASSERT_EQ(out.size(), 2u);
    int16_t v;
    std::memcpy(&v, out.data(), 2);
    EXPECT_EQ(v, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Gains, VolumeTest,
    ::testing::Values(TVolumeCase{0, 32767, 32767}, TVolumeCase{0, -32768, -32768},
                      TVolumeCase{-10000, 32767, 0}, TVolumeCase{-600, 10000, 5012},
                      TVolumeCase{-2000, -20000, -2000}, TVolumeCase{-242, 32767, 24799}),
    [](const auto& info) {
        return "Volume" +
               ((info.param.volume) < 0 ? "Minus" + std::to_string(-int64_t(info.param.volume))
                                        : std::to_string(info.param.volume)) +
               "Sample" +
               ((info.param.in) < 0 ? "Minus" + std::to_string(-int64_t(info.param.in))
                                    : std::to_string(info.param.in));
    });

TEST(VolumeGainTest, EndsAreExact) {
    EXPECT_EQ(VolumeGain(0), 1.0f);
    EXPECT_EQ(VolumeGain(-10000), 0.0f);
    EXPECT_NEAR(VolumeGain(-2000), 0.1f, 1e-6);
}

TEST(EightBitTest, SilenceIsTheMidpointAndGainKeepsIt) {
    auto backend = std::make_shared<TManualClockBackend>();
    TSoundDevice device(backend);
    TWaveFormat f;
    f.channels = 1;
    f.bitsPerSample = 8;
    f.blockAlign = 1;
    f.samplesPerSec = 8000;
    f.avgBytesPerSec = 8000;
    TSoundBuffer* b = device.CreateBuffer(f, 1000);
    TSoundBuffer::TRegion r = b->Lock(0, 1);
    r.first[0] = 228;  // +100
    b->Unlock(r);
    b->SetVolume(-600);
    b->Play();
    backend->Advance(2);
    EXPECT_EQ(backend->TakeOutput(), (std::vector<uint8_t>{178, 128}));
}

// --- through SDL itself ---

TEST(SdlBackendTest, AnUnknownDriverFallsBackToSilentOutput) {
    TEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    TSdlBackend backend;
    EXPECT_TRUE(backend.Silent());
    EXPECT_NE(backend.NoOutputMessage().find("No sound output"), std::string::npos);
}

TEST(SdlBackendTest, SilentOutputStillMovesTheCursorInRealTime) {
    TEnv driver("SDL_AUDIODRIVER", "dummy");
    TSoundDevice device;
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kSize);
    int hits = 0;
    b->OnNotify = [&](TSoundBuffer*, int32_t) { ++hits; };
    const uint32_t offsets[] = {800};  // 50 ms in
    b->SetNotifications(1, offsets);
    b->Play();
    EXPECT_TRUE(PumpUntil([&] { return hits == 1; }, 3000));
    b->Stop();
    EXPECT_GT(b->GetCurrentPosition(), 0u);
}

}  // namespace
