// How soon an effect dialog's preview is heard: for each effect, from Start (the Preview
// button) and from a changed value (Changed, the debounce included) to the first block handed
// to the sound output, on six seconds of a 44.1 kHz stereo sound of SECONDS. Prints
// "<effect> <start ms> <restart ms>" (medians of REPEATS); held to 100 ms for the restart.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "effectpreview.h"
#include "manualbackend.h"
#include "player.h"
#include "settings.h"
#include "wavfile.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    return true;
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
    // The effect at the first and at the changed value.
    std::function<TPreviewEffect(bool changed)> effect;
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
    QTemporaryDir dir(QDir::tempPath() + "/orvane-preview-XXXXXX");
    Settings.tempfolder = dir.path() + "/";
    const QString song = dir.path() + "/song.wav";
    WriteSong(song, seconds);
    Twavefile doc;
    doc.LoadFile(song);
    if (!PumpUntil([&] { return doc.Ready() && !doc.Busy(); })) return 1;
    doc.GetNoiseProfile(0, 44100);
    PumpUntil([&] { return !doc.Busy(); });

    const std::vector<TRow> rows = {
        {"amplify", [](bool c) { auto p = Kind(TPreviewEffect::kAmplify); p.percent = c ? 80 : 120; return p; }},
        {"normalize", [](bool c) { auto p = Kind(TPreviewEffect::kNormalize); p.percent = c ? 80 : 95; return p; }},
        {"fade-in", [](bool c) { auto p = Kind(c ? TPreviewEffect::kFadeOut : TPreviewEffect::kFadeIn); p.fadeStart = 44100; p.fadeEnd = 5 * 44100; return p; }},
        {"loudness", [](bool c) { auto p = Kind(TPreviewEffect::kLoudness); p.targetLufs = c ? -20 : -16; return p; }},
        {"denoise", [](bool c) { auto p = Kind(TPreviewEffect::kDenoise); p.denoiseDb = c ? 18 : 12; return p; }},
        {"highpass", [](bool c) { return Filter("highpass", {c ? 500.0 : 1000.0, 12}); }},
        {"lowpass", [](bool c) { return Filter("lowpass", {c ? 500.0 : 1000.0, 12}); }},
        {"eq", [](bool c) { return Filter("eq", {1000, c ? 3.0 : 6.0, 1}); }},
        {"compress", [](bool c) { return Filter("compress", {c ? -24.0 : -20.0, 4, 20, 250, 0}); }},
        {"limit", [](bool c) { return Filter("limit", {c ? -6.0 : -3.0, 50}); }},
        {"tempo", [](bool c) { return Filter("tempo", {c ? 90.0 : 80.0}); }},
        {"pitch", [](bool c) { return Filter("pitch", {c ? 4.0 : 3.0}); }},
        {"speed", [](bool c) { return Filter("speed", {c ? 110.0 : 125.0}); }},
    };
    std::printf("%-10s %9s %11s\n", "effect", "start ms", "restart ms");
    const int64_t from = int64_t(seconds / 2) * 44100, to = from + 6 * 44100;
    for (const TRow& row : rows) {
        std::vector<double> starts, restarts;
        for (int r = 0; r < repeats; ++r) {
            auto backend = std::make_shared<TManualClockBackend>();
            backend->KeepOutput(false);
            bool changed = false;
            TEffectPreview preview(
                doc, [&]() -> std::optional<TPreviewEffect> { return row.effect(changed); },
                from, to, backend);
            QElapsedTimer t;
            t.start();
            preview.Start();
            if (!PumpUntil([&] { return preview.Playing(); })) return 1;
            starts.push_back(t.nsecsElapsed() / 1e6);
            changed = true;
            t.restart();
            preview.Changed();
            // The old result stops first; the new one is heard when it plays again.
            if (!PumpUntil([&] { return !preview.Playing(); }, 1000)) {}
            if (!PumpUntil([&] { return preview.Playing(); })) return 1;
            restarts.push_back(t.nsecsElapsed() / 1e6);
            preview.Stop();
        }
        std::printf("%-10s %9.1f %11.1f\n", row.name, Median(starts), Median(restarts));
        std::fflush(stdout);
    }
    return 0;
}
