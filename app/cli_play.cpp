#include "cli_play.h"

#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "player.h"
#include "wavfile.h"

namespace {

constexpr int kExitPlayed = 0;
constexpr int kExitFailure = 1;
constexpr int kExitInterrupted = 130;
// Readout refresh on a terminal; elsewhere (a log, a pipe) one line per second.
constexpr int kReadoutMs = 100;
constexpr int kLogEvery = 10;
constexpr int kMeterWidth = 16;
// The player's levels: 1 is silence (-90 dB), 128 full scale; 127/90 levels per decibel.
constexpr double kLevelFull = 128.0;
constexpr double kLevelsPerDb = 127.0 / 90.0;
constexpr int16_t kLevelSilent = 1;

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
    gInterrupted = 1;
}

std::string PositionText(uint64_t frame, uint32_t rate) {
    const uint64_t ms = rate ? frame * 1000 / rate : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu.%03llu",
                  static_cast<unsigned long long>(ms / 60000),
                  static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

std::string MeterText(int16_t level) {
    const int filled = std::clamp(level * kMeterWidth / 128, 0, kMeterWidth);
    std::string bar = "[" + std::string(filled, '#') + std::string(kMeterWidth - filled, '.') + "]";
    char db[16];
    if (level <= kLevelSilent) {
        std::snprintf(db, sizeof db, "  -inf");
    } else {
        std::snprintf(db, sizeof db, "%6.1f", (level - kLevelFull) / kLevelsPerDb);
    }
    return bar + db + " dB";
}

}  // namespace

// Plays what `open` opens in the player, its position shown from `startFrame` on.
static int PlayOpened(const std::function<void(TPlayer&)>& open, uint16_t channels,
                      uint32_t rate, int64_t startFrame) {
    const bool terminal = isatty(STDERR_FILENO);
    TPlayer player;
    QEventLoop loop;
    bool started = false, ended = false, failed = false, interrupted = false;
    int64_t position = 0;
    player.OnStatus = [&](bool on) {
        if (on) {
            started = true;
        } else if (started && !ended) {
            ended = true;
            loop.quit();
        }
    };
    player.OnPosition = [&](int64_t bytes) { position = bytes; };
    player.OnError = [&](const std::string& message) {
        std::fprintf(stderr, "\norvane-cli: error: %s\n", message.c_str());
        failed = ended = true;
        loop.quit();
    };

    std::vector<int16_t> levels(channels);
    auto readout = [&](bool last) {
        player.GetLevels(levels);
        std::string line = PositionText(uint64_t(startFrame + position / (2 * channels)), rate);
        for (uint16_t c = 0; c < channels; ++c) {
            line += "  ";
            if (channels == 2) line += c == 0 ? "L " : "R ";
            line += MeterText(levels[c]);
        }
        if (terminal) {
            std::fprintf(stderr, "\r\033[K%s%s", line.c_str(), last ? "\n" : "");
        } else {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        std::fflush(stderr);
    };

    gInterrupted = 0;
    struct sigaction action {
    }, previous{};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous);
    int status = kExitPlayed;
    try {
        player.Init();
        const std::string noOutput = player.NoOutputMessage();
        if (!noOutput.empty()) std::fprintf(stderr, "orvane-cli: %s\n", noOutput.c_str());
        open(player);
        player.Play();
        QTimer timer;
        int ticks = 0;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (gInterrupted) {
                interrupted = ended = true;
                loop.quit();
                return;
            }
            if (terminal || ++ticks % kLogEvery == 0) readout(false);
        });
        timer.start(kReadoutMs);
        if (!ended) loop.exec();
        timer.stop();
        if (interrupted) player.Stop();
        if (!failed) readout(true);
        player.Shutdown();
        status = failed ? kExitFailure : interrupted ? kExitInterrupted : kExitPlayed;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "\norvane-cli: error: %s\n", e.what());
        status = kExitFailure;
    }
    sigaction(SIGINT, &previous, nullptr);
    return status;
}

int RunPlay(Twavefile& doc, int64_t startFrame, int64_t endFrame) {
    if (!doc.Ready() || !doc.Store()) {
        std::fprintf(stderr, "orvane-cli: error: there is no sound to play\n");
        return kExitFailure;
    }
    endFrame = std::min(endFrame, doc.Frames());
    if (startFrame >= endFrame) return kExitPlayed;
    const uint16_t channels = doc.Channels();
    const uint32_t rate = doc.SampleRate();
    return PlayOpened(
        [&](TPlayer& player) {
            player.Open(&doc, startFrame * channels, TWaveFormat::Pcm16(channels, rate),
                        uint64_t(endFrame - startFrame) * channels * 2);
        },
        channels, rate, startFrame);
}

int RunPlayPreview(const Twavefile& doc, int64_t startFrame) {
    if (doc.PreviewPath().isEmpty()) {
        std::fprintf(stderr, "orvane-cli: error: there is no preview to play\n");
        return kExitFailure;
    }
    const QString path = doc.PreviewPath();
    return PlayOpened([&](TPlayer& player) { player.OpenFile(path); }, doc.Channels(),
                      doc.SampleRate(), startFrame);
}
