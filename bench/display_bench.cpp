// The waveform view's drawing cost: a full redraw at 1920 x 400 of the whole sound and of one
// second of it, and UpdateCursor alone; the spectrogram's first computation of the whole view
// and its full redraw once the columns are cached, with the resident memory it added. Prints
// "<file> <case> wall <ms> cpu <ms>" (medians).
// Run by bench/display.sh on a minute and an hour of stereo audio.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>
#include <vector>

#include "displaycolors.h"
#include "notifier.h"
#include "settings.h"
#include "spectrogram.h"
#include "waverender.h"
#include "wavfile.h"

namespace {

constexpr int kWidth = 1920, kHeight = 400;

class TQuiet : public TNotifier {
public:
    void ShowError(const QString& m) override { std::fprintf(stderr, "%s\n", qPrintable(m)); }
    void ShowWarning(const QString& m, const QString&) override { ShowError(m); }
};

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct TMedians {
    double wall, cpu;
};

// Medians of wall-clock and of this thread's CPU time: on a busy machine the second leaves out
// the time other processes had the core.
template <typename F>
TMedians Median(int runs, F f) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer c;
        const double c0 = ThreadCpuMs();
        c.start();
        f(i);
        wall.push_back(c.nsecsElapsed() / 1e6);
        cpu.push_back(ThreadCpuMs() - c0);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

// Resident memory now, in MiB.
double ResidentMiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void Print(const char* file, const char* what, TMedians m) {
    std::printf("%s %s wall %.3f cpu %.3f\n", file, what, m.wall, m.cpu);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: display_bench FILE.wav...\n");
        return 2;
    }
    Settings.tempfolder = DefaultTempFolder();
    for (int a = 1; a < argc; ++a) {
        TQuiet quiet;
        TMemoryClipboard clipboard;
        Twavefile doc(&quiet, &clipboard);
        doc.LoadFile(QString::fromLocal8Bit(argv[a]));
        while (doc.Busy()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::usleep(500);
        }
        if (!doc.Ready()) return 1;
        const TWaveSource source = TWaveSource::Of(&doc);
        TWaveRenderer renderer;
        TWaveState state;
        state.viewEnd = state.viewSpan = doc.Frames();
        state.cursor = doc.Frames() / 3;
        Print(argv[a], "whole-view",
              Median(31, [&](int) { renderer.RedrawAll(state, source, kWidth, kHeight); }));
        state.viewStart = doc.Frames() / 2;
        state.viewEnd = state.viewStart + doc.SampleRate();
        state.viewSpan = doc.SampleRate();
        state.cursor = state.viewStart + doc.SampleRate() / 2;
        Print(argv[a], "one-second",
              Median(31, [&](int) { renderer.RedrawAll(state, source, kWidth, kHeight); }));
        // Each call moves the cursor to another column.
        Print(argv[a], "update-cursor", Median(201, [&](int i) {
                  state.cursor = state.viewStart + uint32_t(i % 100 + 1) * (state.viewSpan / 101);
                  renderer.UpdateCursor(state, source, kWidth, kHeight);
              }));
        // The spectrogram of the whole sound: every column computed once, then redrawn from the
        // cache.
        state.viewStart = 0;
        state.viewEnd = state.viewSpan = doc.Frames();
        const double before = ResidentMiB();
        {
            TSpectrogram spectrogram;
            renderer.spectrogram = &spectrogram;
            Print(argv[a], "spectrogram-compute", Median(1, [&](int) {
                      renderer.RedrawAll(state, source, kWidth, kHeight);
                      spectrogram.Wait();
                  }));
            Print(argv[a], "spectrogram-cached",
                  Median(31, [&](int) { renderer.RedrawAll(state, source, kWidth, kHeight); }));
            std::printf("%s spectrogram-memory %.1f MiB (%zu columns)\n", argv[a],
                        ResidentMiB() - before, spectrogram.CachedColumns());
            renderer.spectrogram = nullptr;
        }
        std::fflush(stdout);
        doc.Close();
    }
    return 0;
}
