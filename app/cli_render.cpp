#include "cli_render.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageWriter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli_options.h"
#include "displaycolors.h"
#include "settings.h"
#include "spectrogram.h"
#include "waverender.h"
#include "wavfile.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// Below this the view has no wave area (the editor draws only its background there).
constexpr int kMinWidth = TWaveRenderer::RightMargin + 1;
constexpr int kMinHeight = TWaveRenderer::TopMargin + 1;
constexpr int kMaxSide = 16384;
constexpr int kMaxDpr = 4;

bool ParseFrames(const std::string& text, int64_t& a, int64_t& b) {
    const auto colon = text.find(':');
    return colon != std::string::npos && ParseNumber(text.substr(0, colon), 0, kMaxCliFrame, a) &&
           ParseNumber(text.substr(colon + 1), 0, kMaxCliFrame, b);
}

}  // namespace

std::string RenderUsage() {
    return "  --render FILE.png          draw the waveform view as the editor draws it\n"
           "    --size WxH               the view's size in logical pixels (default 698x250)\n"
           "    --view S:E               the visible frames (default: the whole sound)\n"
           "    --select S:E             a selection, drawn inverted\n"
           "    --cursor F               the cursor frame\n"
           "    --scale ms|samples       the time ruler's format (default ms)\n"
           "    --dpr N                  device pixel ratio, 1 to 4 (default 1)\n"
           "  --render-spectrogram FILE.png\n"
           "                             draw the spectrogram area of the view (0 Hz at the\n"
           "                             bottom row, half the sample rate at the top row);\n"
           "                             takes --size, --view and --dpr as --render does\n"
           "    --log-frequency          a logarithmic frequency axis (from 20 Hz)\n"
           "    --fft-size N             the analysis window in frames, a power of two from\n"
           "                             256 to 8192 (default 2048)\n";
}

bool ParseRenderOption(const std::vector<std::string>& args, size_t& i, TRenderOptions& out,
                       std::string& error) {
    const std::string& arg = args[i];
    static const char* const names[] = {"--render",  "--size",  "--view", "--select",
                                        "--cursor",  "--scale", "--dpr",  "--render-spectrogram",
                                        "--fft-size"};
    if (arg == "--log-frequency") {
        out.logFrequency = true;
        return true;
    }
    if (std::find_if(std::begin(names), std::end(names), [&](const char* n) { return arg == n; }) ==
        std::end(names))
        return false;
    if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return true;
    }
    const std::string& v = args[++i];
    if (arg == "--render" || arg == "--render-spectrogram") {
        out.enabled = true;
        out.spectrogram = arg == "--render-spectrogram";
        out.path = QString::fromLocal8Bit(v.c_str());
    } else if (arg == "--fft-size") {
        int64_t n = 0;
        if (!ParseNumber(v, TSpectrumSettings::kMinWindow, TSpectrumSettings::kMaxWindow, n) ||
            TSpectrumSettings::ValidWindow(int(n)) != n) {
            error = "--fft-size needs a power of two from " +
                    std::to_string(TSpectrumSettings::kMinWindow) + " to " +
                    std::to_string(TSpectrumSettings::kMaxWindow) + ", not \"" + v + "\"";
            return true;
        }
        out.window = int(n);
    } else if (arg == "--size") {
        const auto x = v.find('x');
        int64_t w = 0, h = 0;
        if (x == std::string::npos || !ParseNumber(v.substr(0, x), 0, kMaxSide, w) ||
            !ParseNumber(v.substr(x + 1), 0, kMaxSide, h) || w < kMinWidth || h < kMinHeight) {
            error = "--size needs WIDTHxHEIGHT from " + std::to_string(kMinWidth) + "x" +
                    std::to_string(kMinHeight) + " to " + std::to_string(kMaxSide) + "x" +
                    std::to_string(kMaxSide) + ", not \"" + v + "\"";
            return true;
        }
        out.width = int(w);
        out.height = int(h);
    } else if (arg == "--view" || arg == "--select") {
        int64_t a = 0, b = 0;
        if (!ParseFrames(v, a, b)) {
            error = arg + " needs two frame numbers as START:END, not \"" + v + "\"";
            return true;
        }
        if (arg == "--view") {
            if (b <= a) {
                error = "--view needs a start below its end, not \"" + v + "\"";
                return true;
            }
            out.hasView = true, out.viewStart = a, out.viewEnd = b;
        } else {
            out.hasSelect = true, out.selStart = a, out.selStop = b;
        }
    } else if (arg == "--cursor") {
        if (!ParseNumber(v, 0, kMaxCliFrame, out.cursor)) {
            error = NumberError(arg, v, 0, kMaxCliFrame);
            return true;
        }
        out.hasCursor = true;
    } else if (arg == "--scale") {
        if (v != "ms" && v != "samples") {
            error = "--scale is ms or samples, not \"" + v + "\"";
            return true;
        }
        out.msScale = v == "ms";
    } else {
        int64_t d = 0;
        if (!ParseNumber(v, 1, kMaxDpr, d)) {
            error = NumberError(arg, v, 1, kMaxDpr);
            return true;
        }
        out.dpr = int(d);
    }
    return true;
}

namespace {
QtMessageHandler qtHandler = nullptr;

// The offscreen platform looks for a runtime folder it never uses here; its complaint about a
// missing one would only clutter standard error, which scripts read for the timing lines.
void QuietRuntimeFolder(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths:"))) return;
    if (qtHandler) qtHandler(type, context, text);
}
}  // namespace

std::unique_ptr<QCoreApplication> MakeCliApplication(int& argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--render") == 0 ||
            std::strcmp(argv[i], "--render-spectrogram") == 0) {
            // Drawing needs fonts, hence a QGuiApplication; never a display.
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            qtHandler = qInstallMessageHandler(QuietRuntimeFolder);
            return std::make_unique<QGuiApplication>(argc, argv);
        }
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

int RunRender(Twavefile& document, const TRenderOptions& o, bool timings) {
    const int64_t frames = document.Frames();
    auto refuse = [](const std::string& message) {
        std::fprintf(stderr, "orvane-cli: %s\n", message.c_str());
        return kExitUsage;
    };
    const std::string length = " (the sound has " + std::to_string(frames) + " frames)";
    if (o.hasView && o.viewEnd > frames)
        return refuse("--view reaches beyond the end of the sound" + length);
    if (o.hasSelect && (o.selStart > frames || o.selStop > frames))
        return refuse("--select reaches beyond the end of the sound" + length);
    if (o.hasCursor && o.cursor > frames)
        return refuse("--cursor lies beyond the end of the sound" + length);

    LoadDisplayColors(Settings);
    TWaveState state;  // as the view shows a freshly attached document
    state.viewEnd = state.viewSpan = frames;
    if (o.hasView) {
        state.viewStart = o.viewStart;
        state.viewEnd = o.viewEnd;
        state.viewSpan = state.viewEnd - state.viewStart;
    }
    if (o.hasSelect) {
        state.selected = true;
        state.selStart = o.selStart;
        state.selStop = o.selStop;
    }
    state.cursor = o.cursor;
    state.msScale = o.msScale;

    QElapsedTimer clock;
    clock.start();
    TWaveRenderer renderer;
    QImage spectrum;
    if (o.spectrogram) {
        // The area alone, every column computed before the picture is written.
        spectrum = QImage(o.width * o.dpr, o.height * o.dpr, QImage::Format_RGB32);
        spectrum.setDevicePixelRatio(o.dpr);
        const TWaveSource source = TWaveSource::Of(&document);
        const double perColumn = double(state.viewSpan) / spectrum.width();
        TSpectrogram engine;
        engine.SetSettings({o.window, o.logFrequency});
        engine.Draw(spectrum, spectrum.rect(), source, double(state.viewStart), perColumn, 0);
        engine.Wait();
        if (engine.Draw(spectrum, spectrum.rect(), source, double(state.viewStart), perColumn, 0) !=
            0) {
            std::fprintf(stderr, "orvane-cli: error: the spectrum could not be computed\n");
            return kExitFailure;
        }
    } else {
        renderer.RedrawAll(state, TWaveSource::Of(&document), o.width, o.height, o.dpr);
    }
    if (timings) std::fprintf(stderr, "timing: redraw %.6f\n", clock.nsecsElapsed() / 1e9);

    clock.restart();
    QImageWriter writer(o.path, "png");
    if (!writer.write(o.spectrogram ? spectrum : renderer.backBuffer)) {
        std::fprintf(stderr, "orvane-cli: error: cannot write %s: %s\n", qPrintable(o.path),
                     qPrintable(writer.errorString()));
        return kExitFailure;
    }
    if (timings) std::fprintf(stderr, "timing: png %.6f\n", clock.nsecsElapsed() / 1e9);
    return 0;
}
