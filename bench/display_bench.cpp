// The waveform view's drawing cost: a full redraw at 1920 x 400 of the whole sound and of one
// second of it, and UpdateCursor alone. Prints "<file> <case> <median milliseconds>" per case.
// Run by bench/display.sh on a minute and an hour of stereo audio.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "displaycolors.h"
#include "notifier.h"
#include "settings.h"
#include "waverender.h"
#include "wavfile.h"

namespace {

constexpr int kWidth = 1920, kHeight = 400;

class TQuiet : public TNotifier {
public:
    void ShowError(const QString& m) override { std::fprintf(stderr, "%s\n", qPrintable(m)); }
    void ShowWarning(const QString& m, const QString&) override { ShowError(m); }
};

template <typename F>
double MedianMs(int runs, F f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer c;
        c.start();
        f(i);
        t.push_back(c.nsecsElapsed() / 1e6);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
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
        const double whole =
            MedianMs(31, [&](int) { renderer.RedrawAll(state, source, kWidth, kHeight); });
        std::printf("%s whole-view %.3f\n", argv[a], whole);
        state.viewStart = doc.Frames() / 2;
        state.viewEnd = state.viewStart + doc.SampleRate();
        state.viewSpan = doc.SampleRate();
        state.cursor = state.viewStart + doc.SampleRate() / 2;
        const double second =
            MedianMs(31, [&](int) { renderer.RedrawAll(state, source, kWidth, kHeight); });
        std::printf("%s one-second %.3f\n", argv[a], second);
        // Each call moves the cursor to another column.
        const double cursor = MedianMs(201, [&](int i) {
            state.cursor = state.viewStart + uint32_t(i % 100 + 1) * (state.viewSpan / 101);
            renderer.UpdateCursor(state, source, kWidth, kHeight);
        });
        std::printf("%s update-cursor %.3f\n", argv[a], cursor);
        std::fflush(stdout);
        doc.Close();
    }
    return 0;
}
