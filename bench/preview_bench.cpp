// How soon an effect dialog's preview is heard: for each effect, from Start (the Preview
// button) and from a changed value (Changed, the debounce included) to the first block handed
// to the sound output, on six seconds of a 44.1 kHz stereo sound of SECONDS. Every value is
// one not given before (no delay known), but for "step-on": the value a step of the arrows
// brings, whose delay the preview measures while it plays. Prints "<effect> <start ms>
// <restart ms> <step-on ms>" (medians of REPEATS); the restarts are held to 100 ms. EFFECTS
// (comma-separated names) measures only those.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "effectpreview.h"
#include "manualbackend.h"
#include "playback_util.h"
#include "player.h"
#include "settings.h"
#include "wavfile.h"

namespace {

// A render or a load of the bench's material may take longer than a test's wait.
constexpr int kWaitMs = 20000;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void WriteSong(const QString& path, int seconds) {
    const size_t frames = size_t(seconds) * 44100;
    std::vector<int16_t> s(2 * frames);
    uint32_t noise = 1;
    for (size_t i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = double(i) / 44100;
        const double v = 6000 * std::sin(2 * M_PI * 220 * t) + 3000 * std::sin(2 * M_PI * 3100 * t) +
                         double(int32_t(noise) >> 20);
        s[2 * i] = s[2 * i + 1] = int16_t(v);
    }
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    const TWavHeaderBytes h = TWavHeader::Pcm16(2, 44100, uint32_t(s.size() * 2)).Bytes();
    f.write(reinterpret_cast<const char*>(h.data()), h.size());
    f.write(reinterpret_cast<const char*>(s.data()), qint64(s.size() * 2));
}

struct TRow {
    const char* name;
    // The effect at its k-th value: each k a value of its own, so no delay is known before.
    std::function<TPreviewEffect(int k)> effect;
};

TPreviewEffect Filter(const char* name, std::vector<double> values) {
    TPreviewEffect p;
    p.filter = {name, std::move(values)};
    return p;
}

TPreviewEffect Kind(TPreviewEffect::TKind kind) {
    TPreviewEffect p;
    p.kind = kind;
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(7, atoi(argv[1])) : 60;
    const int repeats = argc > 2 ? std::max(1, atoi(argv[2])) : 7;
    const QStringList only = argc > 3 ? QString(argv[3]).split(',') : QStringList();
    QTemporaryDir dir(QDir::tempPath() + "/orvane-preview-XXXXXX");
    Settings.tempfolder = dir.path() + "/";
    const QString song = dir.path() + "/song.wav";
    WriteSong(song, seconds);
    Twavefile doc;
    doc.LoadFile(song);
    if (!PumpUntil([&] { return doc.Ready() && !doc.Busy(); }, kWaitMs)) return 1;
    doc.GetNoiseProfile(0, 44100);
    PumpUntil([&] { return !doc.Busy(); }, kWaitMs);

    const std::vector<TRow> rows = {
        {"amplify", [](int k) { auto p = Kind(TPreviewEffect::kAmplify); p.percent = 100 + k; return p; }},
        {"normalize", [](int k) { auto p = Kind(TPreviewEffect::kNormalize); p.percent = 50 + k; return p; }},
        {"fade-in", [](int k) { auto p = Kind(TPreviewEffect::kFadeIn); p.fadeStart = 44100 + 100 * k; p.fadeEnd = 5 * 44100; return p; }},
        {"loudness", [](int k) { auto p = Kind(TPreviewEffect::kLoudness); p.targetLufs = -30 + 0.5 * k; return p; }},
        {"denoise", [](int k) { auto p = Kind(TPreviewEffect::kDenoise); p.denoiseDb = 10 + 0.5 * k; return p; }},
        {"highpass", [](int k) { return Filter("highpass", {500.0 + 10 * k, 12}); }},
        {"lowpass", [](int k) { return Filter("lowpass", {1000.0 + 10 * k, 12}); }},
        {"eq", [](int k) { return Filter("eq", {1000, 1 + 0.2 * k, 1}); }},
        {"compress", [](int k) { return Filter("compress", {-30 + 0.5 * k, 4, 20, 250, 0}); }},
        {"limit", [](int k) { return Filter("limit", {-10 + 0.2 * k, 50}); }},
        {"tempo", [](int k) { return Filter("tempo", {60.0 + k}); }},
        {"pitch", [](int k) { return Filter("pitch", {-6 + 0.5 * k}); }},
        {"speed", [](int k) { return Filter("speed", {80.0 + k}); }},
    };
    std::printf("%-10s %9s %11s %12s\n", "effect", "start ms", "restart ms", "step-on ms");
    const int64_t from = int64_t(seconds / 2) * 44100, to = from + 6 * 44100;
    for (const TRow& row : rows) {
        if (!only.isEmpty() && !only.contains(row.name)) continue;
        std::vector<double> starts, restarts, steps;
        int k = 0;
        for (int r = 0; r < repeats; ++r) {
            auto backend = std::make_shared<TManualClockBackend>();
            backend->KeepOutput(false);
            int now = k++;
            TEffectPreview preview(
                doc, [&]() -> std::optional<TPreviewEffect> { return row.effect(now); }, from,
                to, backend);
            // From the button, and from a value never given before, to the first block heard.
            auto heard = [&](const std::function<void()>& act, std::vector<double>& into) {
                // A change on its own, as a person makes one: not within the quiet time of
                // the last (which a held arrow's changes are).
                QElapsedTimer quiet;
                quiet.start();
                PumpUntil([&] { return quiet.elapsed() > 3 * TEffectPreview::kDebounceMs; },
                          kWaitMs);
                QElapsedTimer t;
                t.start();
                act();
                PumpUntil([&] { return !preview.Playing(); }, 1000);
                if (!PumpUntil([&] { return preview.Playing(); }, kWaitMs)) return false;
                into.push_back(t.nsecsElapsed() / 1e6);
                return true;
            };
            if (!heard([&] { preview.Start(); }, starts)) return 1;
            now = k++;
            if (!heard([&] { preview.Changed(); }, restarts)) return 1;
            // An arrow's step on, its delay measured while the last one played.
            const int next = k++;
            preview.SetNearby([&] { return std::vector<TPreviewEffect>{row.effect(next)}; });
            now = k++;
            if (!heard([&] { preview.Changed(); }, restarts)) return 1;
            PumpUntil([&] { return !doc.Busy(); }, kWaitMs);
            QElapsedTimer settle;
            settle.start();
            PumpUntil([&] { return settle.elapsed() > 800; }, 2000);
            now = next;
            if (!heard([&] { preview.Changed(); }, steps)) return 1;
            preview.Stop();
        }
        std::printf("%-10s %9.1f %11.1f %12.1f\n", row.name, Median(starts), Median(restarts),
                    Median(steps));
        std::fflush(stdout);
    }
    return 0;
}
