// Playback hand-over latency and stall tolerance. A stand-in for SDL's audio thread pulls the
// player's buffer in real time (256 frames every 5.8 ms at 44.1 kHz, as SDL does) through the
// manual-clock backend and notes when each notification position is passed; the player's
// notification handler, on this (user-interface) thread, notes when each one reaches it.
//
// Run: build-<name>/bench/playback_latency [seconds]   (default 20 s of stereo 44.1 kHz)
// Prints "<measure> <value>" lines: the hand-over latency (median, p99, max, in microseconds)
// without stalls, then with the user-interface thread stalled for 50 ms and 200 ms every
// 2 seconds, whether what reached the output was the stretch itself (no gap, nothing repeated).
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "manualbackend.h"
#include "player.h"
#include "settings.h"
#include "wavfile.h"
#include "wavlayout.h"

namespace {

using TClock = std::chrono::steady_clock;
constexpr uint16_t kChannels = 2;
constexpr uint32_t kRate = 44100;
constexpr uint32_t kPullFrames = 256;
constexpr uint32_t kStallEveryNotifications = 32;  // every two seconds

std::vector<int16_t> MakeSignal(uint32_t frames) {
    std::vector<int16_t> s(size_t(frames) * kChannels);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(1 + (i * 7919) % 30000);
    return s;
}

void WriteWav(const QString& path, const std::vector<int16_t>& s) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) throw EAppError("cannot write " + path.toStdString());
    const TWavHeaderBytes h = TWavHeader::Pcm16(kChannels, kRate, uint32_t(s.size() * 2)).Bytes();
    f.write(reinterpret_cast<const char*>(h.data()), h.size());
    f.write(reinterpret_cast<const char*>(s.data()), qint64(s.size() * 2));
}

struct TResult {
    std::vector<double> latencyUs;
    bool gapless = false;
};

TResult Run(Twavefile& doc, const std::vector<int16_t>& signal, int stallMs) {
    auto backend = std::make_shared<TManualClockBackend>();
    TPlayer player;
    bool started = false, ended = false;
    QEventLoop loop;
    player.OnStatus = [&](bool on) {
        if (on) {
            started = true;
        } else if (started && !ended) {
            ended = true;
            loop.quit();
        }
    };
    player.Init(backend);
    const uint32_t length = uint32_t(signal.size() * 2);
    player.Open(&doc, 0, TWaveFormat::Pcm16(kChannels, kRate), length);
    const uint32_t chunk = player.ChunkSize();
    const uint32_t size = player.BufferSize();

    // Absolute pulled-byte count at which the n-th notification position is passed.
    auto positionAt = [&](uint64_t n) {
        const uint64_t lap = n / TPlayer::kChunks, k = n % TPlayer::kChunks + 1;
        return lap * size + (k == TPlayer::kChunks ? size - 1 : k * chunk);
    };
    const size_t expected = length / chunk + 64;
    std::vector<TClock::time_point> passed(expected), delivered(expected);
    std::atomic<size_t> passedCount{0};
    size_t deliveredCount = 0;

    player.Play();
    auto inner = player.Buffer()->OnNotify;
    player.Buffer()->OnNotify = [&](TSoundBuffer* sender, int32_t index) {
        if (index != TPlayer::kStopIndex && deliveredCount < expected) {
            delivered[deliveredCount++] = TClock::now();
            if (stallMs > 0 && deliveredCount % kStallEveryNotifications == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
            }
        }
        inner(sender, index);
    };

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        const auto period = std::chrono::nanoseconds(1000000000ull * kPullFrames / kRate);
        auto next = TClock::now();
        uint64_t pulled = 0;
        size_t n = 0;
        while (!stop.load()) {
            next += period;
            std::this_thread::sleep_until(next);
            backend->Advance(kPullFrames);
            pulled += uint64_t(kPullFrames) * kChannels * 2;
            const auto now = TClock::now();
            while (n < expected && pulled >= positionAt(n)) passed[n++] = now;
            passedCount.store(n);
        }
    });
    if (!ended) loop.exec();
    stop = true;
    audio.join();
    player.Shutdown();

    TResult r;
    const size_t n = std::min(deliveredCount, passedCount.load());
    for (size_t i = 0; i < n; ++i) {
        r.latencyUs.push_back(
            std::chrono::duration<double, std::micro>(delivered[i] - passed[i]).count());
    }
    std::vector<uint8_t> out = backend->TakeOutput();
    if (getenv("ORVANE_BENCH_DEBUG")) {
        size_t i = 0;
        const uint8_t* want = reinterpret_cast<const uint8_t*>(signal.data());
        while (i < length && i < out.size() && out[i] == want[i]) ++i;
        std::fprintf(stderr, "out %zu bytes, length %u, first difference at %zu\n", out.size(),
                     length, i);
    }
    r.gapless = out.size() >= length && std::memcmp(out.data(), signal.data(), length) == 0 &&
                std::all_of(out.begin() + length, out.end(), [](uint8_t b) { return b == 0; });
    return r;
}

void Print(const char* name, TResult r) {
    std::vector<double>& v = r.latencyUs;
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, size_t(q * v.size()))];
    };
    std::printf("%s_notifications %zu\n", name, v.size());
    std::printf("%s_handover_median_us %.0f\n", name, at(0.5));
    std::printf("%s_handover_p99_us %.0f\n", name, at(0.99));
    std::printf("%s_handover_max_us %.0f\n", name, v.empty() ? 0.0 : v.back());
    std::printf("%s_output_is_the_stretch %s\n", name, r.gapless ? "yes" : "NO");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const uint32_t seconds = argc > 1 ? uint32_t(std::stoul(argv[1])) : 20;
    Settings.tempfolder = DefaultTempFolder();
    const QString source = QDir::tempPath() + "/orvane-playback-bench.wav";
    const std::vector<int16_t> signal = MakeSignal(seconds * kRate);
    WriteWav(source, signal);
    Twavefile doc;
    bool ready = false;
    doc.OnReady = [&](Twavefile*) { ready = true; };
    doc.LoadFile(source);
    while (!ready) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    QFile::remove(source);
    if (!doc.Ready()) {
        std::fprintf(stderr, "playback_latency: could not load the test sound\n");
        return 1;
    }
    Print("steady", Run(doc, signal, 0));
    Print("stall50ms", Run(doc, signal, 50));
    Print("stall200ms", Run(doc, signal, 200));
    doc.Close();
    return 0;
}
