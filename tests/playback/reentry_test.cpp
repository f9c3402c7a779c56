// Closing or restarting playback from inside its own notification: the notification thread is
// still waiting for that very delivery, so it must not be joined there.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "doctest_util.h"
#include "manualbackend.h"
#include "playback_util.h"
#include "player.h"

namespace {

// Ends the process with a message if the test has not finished in time: a deadlock would
// otherwise hang the suite until CTest gives up.
class TWatchdog {
public:
    explicit TWatchdog(int seconds) {
        thread_ = std::thread([this, seconds] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return over_; })) {
                std::fprintf(stderr, "deadlock: the test did not finish in %d s\n", seconds);
                std::_Exit(3);
            }
        });
    }
    ~TWatchdog() {
        {
            std::lock_guard lock(mutex_);
            over_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool over_ = false;
    std::thread thread_;
};

const TWaveFormat kMono8k = TWaveFormat::Pcm16(1, 8000);
constexpr uint32_t kBufferBytes = 16000;

// --- the sound buffer ------------------------------------------------------------------------

enum class TBufferAction { kDelete, kRenotify, kClearNotifications };

struct TBufferCase {
    const char* name;
    TBufferAction action;
};

void PrintTo(const TBufferCase& c, std::ostream* os) {
    *os << c.name;
}

class BufferReentryTest : public ::testing::TestWithParam<TBufferCase> {};

TEST_P(BufferReentryTest, ItsOwnDeliveryMayEndTheNotificationThread) {
    TWatchdog watchdog(20);
    auto backend = std::make_shared<TManualClockBackend>();
    TSoundDevice device(backend);
    const int32_t before = TNotifyThread::Alive();
    TSoundBuffer* b = device.CreateBuffer(kMono8k, kBufferBytes);
    const uint32_t offsets[] = {1000, 2000};
    b->SetNotifications(2, offsets);
    std::vector<int32_t> seen;
    b->OnNotify = [&](TSoundBuffer* sender, int32_t index) {
        seen.push_back(index);
        if (index != 0) return;
        switch (GetParam().action) {
            case TBufferAction::kDelete:
                delete sender;
                b = nullptr;
                break;
            case TBufferAction::kRenotify:
                sender->SetNotifications(2, offsets);
                break;
            case TBufferAction::kClearNotifications:
                sender->SetNotifications(0, nullptr);
                break;
        }
    };
    b->Play();
    backend->Advance(600);  // past the first offset only
    ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
    if (b) {
        EXPECT_EQ(b->NotifyThread() != nullptr, GetParam().action == TBufferAction::kRenotify);
        // A renewed thread still delivers.
        if (b->NotifyThread()) {
            backend->Advance(500);
            ASSERT_TRUE(PumpUntil([&] { return seen.size() == 2; }));
            EXPECT_EQ(seen.back(), 1);
        }
        delete b;
    }
    // The thread whose delivery ended it finishes once that delivery has returned.
    EXPECT_TRUE(PumpUntil([&] { return TNotifyThread::Alive() == before; }));
}

const TBufferCase kBufferCases[] = {
    {"DeletingTheBuffer", TBufferAction::kDelete},
    {"SettingNewNotifications", TBufferAction::kRenotify},
    {"RemovingTheNotifications", TBufferAction::kClearNotifications},
};

INSTANTIATE_TEST_SUITE_P(Actions, BufferReentryTest, ::testing::ValuesIn(kBufferCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the player ------------------------------------------------------------------------------

enum class TEntry { kClose, kPlay, kOpen, kShutdown };
// Which event the owner acts in: the stop at the end of the stretch, or a position report.
enum class TEvent { kStatusOff, kPosition };

struct TPlayerCase {
    const char* name;
    TEntry entry;
    TEvent event;
};

void PrintTo(const TPlayerCase& c, std::ostream* os) {
    *os << c.name;
}

// The output is the first `frames` frames of the sound, then silence only.
bool PlayedFromTheStart(const std::vector<uint8_t>& out, const std::vector<int16_t>& sound,
                        size_t frames) {
    if (out.size() < frames * 2 || std::memcmp(out.data(), sound.data(), frames * 2) != 0) {
        return false;
    }
    for (size_t i = frames * 2; i < out.size(); ++i) {
        if (out[i] != 0) return false;
    }
    return true;
}

class PlayerReentryTest : public ::testing::TestWithParam<TPlayerCase> {
protected:
    void Open(uint32_t frames) { player.Open(&f.doc, 0, kMono8k, frames * 2); }
    // Advances a chunk at a time until `done` holds, letting every notification run.
    bool RunUntil(const std::function<bool()>& done, int chunks = 100) {
        for (int i = 0; i < chunks && !done(); ++i) {
            backend->Advance(500);
            PumpUntil([&] {
                TSoundBuffer* b = player.Buffer();
                return !b || !b->NotifyThread() || b->NotifyThread()->Pending() == 0;
            });
        }
        return done();
    }

    TDocFixture f;
    std::shared_ptr<TManualClockBackend> backend = std::make_shared<TManualClockBackend>();
    TPlayer player;
};

TEST_P(PlayerReentryTest, OwnerMayCloseOrRestartFromInsideANotification) {
    TWatchdog watchdog(20);
    std::vector<int16_t> sound(4000);
    for (size_t i = 0; i < sound.size(); ++i) sound[i] = int16_t(1 + i);
    f.LoadSamples(1, sound, 8000);
    const int32_t before = TNotifyThread::Alive();
    player.Init(backend);
    Open(1500);
    bool started = false, acted = false;
    int statusOn = 0;
    auto act = [&] {
        if (acted) return;
        acted = true;
        switch (GetParam().entry) {
            case TEntry::kClose:
                player.Close();
                break;
            case TEntry::kPlay:
                player.Play();
                break;
            case TEntry::kOpen:
                Open(700);
                break;
            case TEntry::kShutdown:
                player.Shutdown();
                break;
        }
    };
    player.OnStatus = [&](bool on) {
        if (on) {
            started = true;
            ++statusOn;
        } else if (started && GetParam().event == TEvent::kStatusOff) {
            act();
        }
    };
    player.OnPosition = [&](int32_t) {
        if (GetParam().event == TEvent::kPosition) act();
    };
    player.Play();
    ASSERT_TRUE(RunUntil([&] { return acted; }));
    switch (GetParam().entry) {
        case TEntry::kClose:
            EXPECT_FALSE(player.BufferExists());
            break;
        case TEntry::kShutdown:
            EXPECT_EQ(player.Device(), nullptr);
            EXPECT_FALSE(f.doc.HasStoreListener(&player));
            break;
        case TEntry::kPlay:
            // Restarted from the beginning, and played to its end.
            EXPECT_EQ(statusOn, 2);
            backend->TakeOutput();
            EXPECT_TRUE(RunUntil([&] { return !player.Playing(); }));
            EXPECT_TRUE(PlayedFromTheStart(backend->TakeOutput(), sound, 1500));
            break;
        case TEntry::kOpen:
            EXPECT_TRUE(player.BufferExists());
            EXPECT_FALSE(player.Playing());
            EXPECT_EQ(player.Length(), 700u * 2);
            backend->TakeOutput();
            player.Play();
            EXPECT_TRUE(RunUntil([&] { return !player.Playing(); }));
            EXPECT_TRUE(PlayedFromTheStart(backend->TakeOutput(), sound, 700));
            break;
    }
    player.Shutdown();
    EXPECT_TRUE(PumpUntil([&] { return TNotifyThread::Alive() == before; }));
}

const TPlayerCase kPlayerCases[] = {
    {"CloseWhenStopped", TEntry::kClose, TEvent::kStatusOff},
    {"PlayWhenStopped", TEntry::kPlay, TEvent::kStatusOff},
    {"OpenWhenStopped", TEntry::kOpen, TEvent::kStatusOff},
    {"ShutdownWhenStopped", TEntry::kShutdown, TEvent::kStatusOff},
    {"CloseOnAPosition", TEntry::kClose, TEvent::kPosition},
    {"PlayOnAPosition", TEntry::kPlay, TEvent::kPosition},
    {"OpenOnAPosition", TEntry::kOpen, TEvent::kPosition},
    {"ShutdownOnAPosition", TEntry::kShutdown, TEvent::kPosition},
};

INSTANTIATE_TEST_SUITE_P(EntryPoints, PlayerReentryTest, ::testing::ValuesIn(kPlayerCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
