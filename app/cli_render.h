#pragma once
// orvane-cli --render: draws the waveform view, as the editor draws it, into a PNG file;
// --render-spectrogram draws the spectrogram area of the view. The drawing is the editor's own
// renderer; only Qt Gui is used (on the offscreen platform), never
// widgets.

#include <QCoreApplication>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Twavefile;

struct TRenderOptions {
    bool enabled = false;
    QString path;
    int width = 698, height = 250;  // logical pixels; the view's initial size
    bool hasView = false, hasSelect = false, hasCursor = false;
    int64_t viewStart = 0, viewEnd = 0;  // frames [viewStart, viewEnd)
    int64_t selStart = 0, selStop = 0;
    int64_t cursor = 0;
    bool msScale = true;
    int dpr = 1;
    // --render-spectrogram: the spectrogram area alone, its top row half the sample rate.
    bool spectrogram = false;
    bool logFrequency = false;
    int window = 2048;  // FFT size in frames
};

// Takes the render option at args[i], advancing i over its value. Returns false when args[i] is
// not a render option; otherwise true, with `error` set when its value is bad.
bool ParseRenderOption(const std::vector<std::string>& args, size_t& i, TRenderOptions& out,
                       std::string& error);
std::string RenderUsage();

// The application object orvane-cli needs: a QGuiApplication on the offscreen platform when the
// arguments ask for --render (fonts need one), a QCoreApplication otherwise.
std::unique_ptr<QCoreApplication> MakeCliApplication(int& argc, char** argv);

// Draws the document and writes the PNG. Returns the exit status: 0, 1 when the file cannot be
// written (or the spectrum cannot be computed), 2 for a view, selection or cursor outside the
// sound. With `timings`, prints
// "timing: redraw S" and "timing: png S" on standard error.
int RunRender(Twavefile& document, const TRenderOptions& options, bool timings);
