// orvane: the desktop editor. Marks the running program with its lock file, creates the main
// window and the dialogs that live for the whole run, in their fixed order, and runs the event
// loop until the main window has closed.
#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli_language.h"
#include "colorscheme.h"
#include "commandline.h"
#include "dialogs/filterform.h"
#include "dialogs/encodesettings.h"
#include "dialogs/mpegsettings.h"
#include "instancelock.h"
#include "languagemanager.h"
#include "mainform.h"
#include "shelldialogs.h"
#include "quitsignals.h"
#include "settings.h"
#include "versionfiles.h"

namespace {

constexpr const char* kDesktopId = "io.github.quillfen.Orvane";

const char* const kHelp =
    "Usage: orvane [options] [FILE]\n"
    "\n"
    "Orvane, an editor for one sound at a time. With exactly one FILE it opens that file;\n"
    "with none, or with more than one, it starts with no sound.\n"
    "\n"
    "Options:\n"
    "  -h, --help           show this text and exit\n"
    "  --version            show the version and exit\n"
    "  --timings            print to standard error the seconds from start to the first\n"
    "                       paint of the window (timing: window-paint) and of the loaded\n"
    "                       waveform (timing: first-paint), and from start and from the\n"
    "                       open to the first paint with some of it while it loads\n"
    "                       (timing: first-pixels, open-to-pixels)\n"
    "  --exit-after-paint   close again once the waveform (or, without FILE, the window)\n"
    "                       has been painted; for measurements\n"
    "\n"
    "%s"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted too.\n"
    "\n"
    "Keys besides the menus' shortcuts (waveform focused): Left, Right, Home and End move the\n"
    "cursor, with Shift they extend the selection (so does Shift+click); Space plays and stops;\n"
    "Ctrl++, Ctrl+- and Ctrl+0 zoom; the wheel scrolls and Ctrl+wheel zooms (the setting\n"
    "\"The mouse wheel zooms without Ctrl\" makes the plain wheel zoom); Enter in Begin or End\n"
    "selects the time typed.\n";

struct TProgramOptions {
    bool timings = false;
    bool exitAfterPaint = false;
    QStringList files;
};

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer started;
    started.start();
    // Answered before anything else starts, so they also work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(kHelp, LanguageUsage().c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvane %s\n", ORVANE_VERSION);
            return 0;
        }
    }

    // The translators' tools build every window, unseen, to learn its texts; no display needed.
    const std::vector<std::string> rawArguments(argv + 1, argv + argc);
    const bool languageTool = IsLanguageToolRequest(rawArguments);
    if (languageTool && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    const TInstanceLock lock;
    QApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Orvane"));
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopId));
    FollowDesktopColorScheme(app);
    QApplication::setWindowIcon(
        QIcon::fromTheme(QLatin1String(kDesktopId), QIcon(QStringLiteral(":/icons/orvane.svg"))));

    TProgramOptions program;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (const QString& argument : arguments) {
        if (languageTool) break;
        if (argument == QLatin1String("--timings")) {
            program.timings = true;
        } else if (argument == QLatin1String("--exit-after-paint")) {
            program.exitAfterPaint = true;
        } else {
            program.files.append(argument);
        }
    }

    // Before the main window starts the sound library.
    Tmainform* running = nullptr;
    const TQuitSignals quitSignals([&running] {
        if (running) running->Terminate();
    });

    TMainOptions options;
    const QString file = CommandLineFile(program.files);
    if (!file.isEmpty()) options.arguments = {file};
    // Work a crashed run left is offered back before the command line's file opens.
    options.offerRecovery = !languageTool;
    // The windows in their fixed order: the main window, then the dialogs kept for the run.
    Tmainform mainform(options);
    running = &mainform;
    // A signal that comes while the window is being destroyed finds nothing to terminate.
    struct TForget {
        Tmainform*& window;
        ~TForget() { window = nullptr; }
    } forget{running};
    // Versions that killed runs left behind (the main window has read the temporary folder from
    // the settings); live ones, this run's included, are held locked and stay.
    RemoveStaleVersionFiles(TempFolder());
    // File properties, then settings (which applies the saved language), the about box and the
    // Help and Tools commands.
    // The window owns them: they go once its document has wound down, before its own parts.
    mainform.AdoptExtras(std::make_unique<TShellDialogs>(mainform));
    auto* mpegsettings = new Tmpegsettings(&mainform);
    auto* encodesettings = new Tencodesettings(&mainform);
    auto* filterform = new Tfilterform(&mainform);
    mainform.SetMpegSettings(mpegsettings);
    mainform.SetEncodeSettings(encodesettings);
    mainform.SetFilterForm(filterform);
    if (languageTool) {
        std::vector<std::string> toolArguments;
        for (const QString& argument : arguments) toolArguments.push_back(argument.toStdString());
        return RunLanguageTool(toolArguments, TLanguageManager::Instance(), "orvane");
    }

    const auto report = [&](const char* what) {
        if (program.timings) {
            std::fprintf(stderr, "timing: %s %.3f\n", what, double(started.nsecsElapsed()) / 1e9);
        }
    };
    const bool waitForWave = !options.arguments.isEmpty();
    mainform.OnFirstPaint = [&] {
        report("window-paint");
        if (program.exitAfterPaint && !waitForWave) mainform.close();
    };
    // The first paint that shows some of the waveform, during the load or at its end.
    mainform.OnFirstWavePixels = [&](double sinceOpen) {
        report("first-pixels");
        if (program.timings) std::fprintf(stderr, "timing: open-to-pixels %.3f\n", sinceOpen);
    };
    mainform.OnFirstWavePaint = [&] {
        report("first-paint");
        if (program.exitAfterPaint) mainform.close();
    };

    mainform.show();
    return app.exec();
}
