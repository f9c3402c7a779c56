// orvane-cli: the headless front end. It drives the same document, codecs and player as the
// editor, one request after another in the order given, so scripts, benchmarks and tests run
// the real code.
#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apperror.h"
#include "cli_data.h"
#include "cli_language.h"
#include "cli_markers.h"
#include "cli_options.h"
#include "denoise.h"
#include "cli_play.h"
#include "cli_record.h"
#include "languagemanager.h"
#include "mp3format.h"
#include "notifier.h"
#include "settings.h"
#include "versionfiles.h"
#include "wavfile.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The shell's status for a run ended by Ctrl+C.
constexpr int kExitInterrupted = 130;

// SIGINT reaches the event loop through a pipe: the handler may only write a byte.
int gInterruptPipe[2] = {-1, -1};

void OnInterrupt(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gInterruptPipe[1], &byte, 1);
}

// From the first moment: a Ctrl+C before the document exists waits in the pipe.
void CatchInterrupt() {
    if (::pipe2(gInterruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

// Errors and warnings of the document become one line on standard error.
class TConsoleNotifier : public TNotifier {
public:
    void ShowError(const QString& message) override { Report(message); }
    void ShowWarning(const QString& message, const QString& caption) override {
        Report(caption + " " + message);
    }
    // The operation went through: a warning, not a failure.
    void ShowNotice(const QString& message, const QString& caption) override {
        Print("warning", caption + ": " + message);
    }
    void ShowStatus(const QString& message) override { Print("note", message); }
    bool failed = false;

private:
    void Report(const QString& message) {
        failed = true;
        Print("error", message);
    }
    static void Print(const char* kind, QString line) {
        line.replace('\n', ' ');
        std::fprintf(stderr, "\r\033[Korvane-cli: %s: %s\n", kind, qPrintable(line));
    }
};

QString FormatDuration(double seconds) {
    const auto ms = static_cast<long long>(std::llround(seconds * 1000.0));
    return QString("%1:%2:%3.%4")
        .arg(ms / 3600000)
        .arg(ms / 60000 % 60, 2, 10, QChar('0'))
        .arg(ms / 1000 % 60, 2, 10, QChar('0'))
        .arg(ms % 1000, 3, 10, QChar('0'));
}

const char* SourceFormatName(int32_t f) {
    switch (f) {
        case sfWav:
            return "WAV";
        case sfMp3:
            return "MP3";
        case sfWma:
            return "WMA";
        default:
            return "other";
    }
}

void PrintInfo(const Twavefile& doc) {
    std::printf("File: %s\n", qPrintable(doc.FileName()));
    std::printf("Format: %s, decoded to 16-bit PCM\n", SourceFormatName(doc.SourceFormat()));
    std::printf("Channels: %u\n", doc.Channels());
    std::printf("Sample rate: %u Hz\n", doc.SampleRate());
    std::printf("Frames: %lld\n", static_cast<long long>(doc.Frames()));
    std::printf("Duration: %s\n", qPrintable(FormatDuration(doc.Duration())));
    std::printf("Data bytes: %llu\n", static_cast<unsigned long long>(doc.DataBytes()));
    std::printf("Peak: %d\n", doc.Peak());
    std::printf("Level: %d dB\n", doc.Level());
    std::printf("History on disk: %lld bytes\n", static_cast<long long>(doc.HistoryBytes()));
    std::fflush(stdout);
}

void PrintTags(const TTags& tags) {
    for (const QString& key : TTags::Keys()) {
        if (tags.values.contains(key)) {
            QString value = tags.values.value(key);
            // One tag a line, whatever the value holds.
            value.replace('\n', ' ');
            std::printf("%s=%s\n", qPrintable(key), value.toUtf8().constData());
        }
    }
    if (!tags.picture.isEmpty())
        std::printf("picture=%s %lld\n", qPrintable(tags.pictureMime),
                    static_cast<long long>(tags.picture.size()));
    std::fflush(stdout);
}

// Shows the running operation's progress on a terminal.
class TProgressBar {
public:
    explicit TProgressBar(const Twavefile& doc) : doc_(doc), enabled_(isatty(STDERR_FILENO)) {
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Draw(); });
    }
    void Start(const QString& what) {
        what_ = what;
        if (enabled_) timer_.start();
    }
    void Stop() {
        if (!enabled_) return;
        timer_.stop();
        std::fprintf(stderr, "\r\033[K");
    }

private:
    void Draw() {
        const int p = std::clamp(doc_.Progress(), 0, 100);
        const int width = 30;
        std::string bar(size_t(p * width / 100), '#');
        bar.resize(width, ' ');
        std::fprintf(stderr, "\r%-12s [%s] %3d%%", qPrintable(what_), bar.c_str(), p);
        std::fflush(stderr);
    }
    const Twavefile& doc_;
    bool enabled_;
    QTimer timer_;
    QString what_;
};

class TRunner {
public:
    TRunner(const TCliOptions& options)
        : options_(options), doc_(&notifier_, &clipboard_), bar_(doc_) {
        doc_.OnReady = [this](Twavefile*) { loop_.quit(); };
        doc_.SetJoinFade(options.joinFadeMs);
        // Ctrl+C cancels the running operation (the document as before it, nothing of it left)
        // and ends the run once it has stopped.
        if (gInterruptPipe[0] >= 0) {
            interrupt_ =
                std::make_unique<QSocketNotifier>(gInterruptPipe[0], QSocketNotifier::Read);
            QObject::connect(interrupt_.get(), &QSocketNotifier::activated, [this] {
                char bytes[16];
                while (::read(gInterruptPipe[0], bytes, sizeof bytes) > 0) {
                }
                // During a take Ctrl+C ends the take, which then goes in as asked.
                // A second one cancels the take as any operation.
                if (doc_.Recording() && !takeStopped_) {
                    takeStopped_ = true;
                    doc_.StopRecording();
                    return;
                }
                interrupted_ = true;
                doc_.Cancel();
            });
        }
        doc_.OnMp3Settings = [this](Twavefile* d) -> std::optional<TMp3Choices> {
            std::string error;
            auto choices = ResolveMp3Choices(options_.mp3, d->SampleRate(), error);
            if (!choices) {
                mp3Error_ = error;
                return std::nullopt;
            }
            return choices;
        };
        doc_.OnEncodeSettings = [this](Twavefile*, TEncodeFormat format) {
            TEncodeSettings s = options_.encode;
            s.format = format;
            return std::optional<TEncodeSettings>(s);
        };
    }

    // Nothing of the document may stay behind in the temporary folder.
    ~TRunner() { doc_.Close(); }

    // `started` runs from the top of main: the start-up before the load is a timing of its own.
    int Run(QElapsedTimer& started) {
        Timing("start", started);
        int status = RunSteps();
        if (interrupted_) status = kExitInterrupted;
        // Deleting the versions is part of every run's cost; timed after a successful run only.
        QElapsedTimer clock;
        clock.start();
        doc_.Close();
        if (status == 0) Timing("close", clock);
        return status;
    }

private:
    int RunSteps() {
        QElapsedTimer clock;
        clock.start();
        if (options_.recordSeconds > 0) {
            const auto rate = uint32_t(options_.recordRate);
            TCliStep s{TCliStep::kRecordAt};
            s.x = options_.recordSeconds;
            const int status = Record(s, uint16_t(options_.recordChannels), rate,
                                      {TTakePlace::kNewSound, 0, 0, TakeFrames(s.x, rate)});
            if (status != 0) return status;
            Timing("record", clock);
        } else if (!Wait("Loading", [&] { doc_.LoadFile(options_.input); })) {
            return kExitFailure;
        }
        if (interrupted_) return kExitInterrupted;
        if (!doc_.Ready()) return kExitFailure;
        if (options_.recordSeconds <= 0) Timing("load", clock);
        for (const TCliStep& step : options_.steps) {
            if (interrupted_) return kExitInterrupted;
            clock.restart();
            const int status = RunStep(step);
            if (status != 0) return status;
            Timing(step.kind == TCliStep::kFilter ? step.filter.effect.c_str() : StepName(step.kind),
                   clock);
        }
        if (options_.render.enabled) return RunRender(doc_, options_.render, options_.timings);
        return 0;
    }

    void Timing(const char* what, const QElapsedTimer& clock) const {
        if (options_.timings)
            std::fprintf(stderr, "timing: %s %.6f\n", what, clock.nsecsElapsed() / 1e9);
    }

    static const char* StepName(TCliStep::Kind k) {
        static const char* const names[] = {
            "info",    "cut",      "copy",         "paste",         "delete",  "insert-silence",
            "fade-in", "fade-out", "normalize",    "amplify",       "reverse", "invert",
            "undo",    "redo",     "clipboard-in", "clipboard-out", "save",    "play",
            "loudness", "normalize-loudness", "to-mono", "to-stereo", "swap-channels",
            "trim-silence", "tags", "set-tag", "clear-tags", "marker", "region", "markers",
            "clear-markers", "import-labels", "export-labels", "export-regions", "filter",
            "denoise", "record-at", "record-over"};
        return names[k];
    }

    // Makes the request and, when it started an operation, runs the event loop until it ends.
    bool Wait(const QString& what, const std::function<void()>& request) {
        try {
            request();
        } catch (const std::exception& e) {
            notifier_.ShowError(QString::fromStdString(e.what()));
            return false;
        }
        if (doc_.Busy()) {
            bar_.Start(what);
            loop_.exec();
            bar_.Stop();
        }
        return !notifier_.failed && !interrupted_;
    }

    int RunStep(const TCliStep& s) {
        bool ok = true;
        switch (s.kind) {
            case TCliStep::kInfo:
                PrintInfo(doc_);
                break;
            case TCliStep::kCut:
                ok = Wait("Cut", [&] { doc_.Cut(s.a, s.b); });
                break;
            case TCliStep::kCopy:
                ok = Wait("Copy", [&] { doc_.Copy(s.a, s.b); });
                break;
            case TCliStep::kPaste:
                ok = Wait("Paste", [&] { doc_.Paste(s.a); });
                break;
            case TCliStep::kDelete:
                ok = Wait("Delete", [&] { doc_.Delete(s.a, s.b); });
                break;
            case TCliStep::kInsertSilence:
                ok = Wait("Silence", [&] { doc_.InsertSilence(s.a, s.b); });
                break;
            case TCliStep::kFadeIn:
                ok = Wait("Fade in", [&] { doc_.FadeIn(s.a, s.b); });
                break;
            case TCliStep::kFadeOut:
                ok = Wait("Fade out", [&] { doc_.FadeOut(s.a, s.b); });
                break;
            case TCliStep::kNormalize:
                ok = Wait("Normalize", [&] { doc_.Normalize(int32_t(s.a)); });
                break;
            case TCliStep::kAmplify:
                if (s.preview) return Preview(s);
                ok = Wait("Amplify", [&] { doc_.Amplify(int32_t(s.a)); });
                break;
            case TCliStep::kReverse:
                ok = Wait("Reverse", [&] { doc_.Reverse(); });
                break;
            case TCliStep::kInvert:
                ok = Wait("Invert", [&] { doc_.Invert(); });
                break;
            case TCliStep::kUndo:
                ok = Wait("Undo", [&] { doc_.Undo(); });
                break;
            case TCliStep::kRedo:
                ok = Wait("Redo", [&] { doc_.Redo(); });
                break;
            case TCliStep::kClipboardIn: {
                QFile f(s.path);
                if (!f.open(QIODevice::ReadOnly)) {
                    notifier_.ShowError("Cannot read " + s.path + ": " + f.errorString());
                    return kExitFailure;
                }
                clipboard_.SetWave(f.readAll());
                break;
            }
            case TCliStep::kClipboardOut: {
                const auto wave = clipboard_.GetWave();
                QFile f(s.path);
                if (!wave || !f.open(QIODevice::WriteOnly) || f.write(*wave) != wave->size()) {
                    notifier_.ShowError(wave ? "Cannot write " + s.path
                                             : QString("The clipboard is empty"));
                    return kExitFailure;
                }
                break;
            }
            case TCliStep::kLoudness:
                ok = Wait("Loudness", [&] { doc_.MeasureLoudness(); });
                if (ok && doc_.Loudness()) {
                    std::fputs(qPrintable(LoudnessReport(*doc_.Loudness())), stdout);
                    std::fflush(stdout);
                }
                break;
            case TCliStep::kNormalizeLoudness:
                ok = Wait("Loudness", [&] { doc_.NormalizeLoudness(0, 0, s.x, s.y); });
                break;
            case TCliStep::kTrimSilence:
                ok = Wait("Trim", [&] { doc_.TrimSilence(s.x, int32_t(s.y)); });
                break;
            case TCliStep::kDenoise: {
                bool started = false;
                ok = Wait("Noise profile", [&] { started = doc_.GetNoiseProfile(s.a, s.b); }) &&
                     started &&
                     Wait("Noise reduction", [&] {
                         started = doc_.ReduceNoise(0, 0, s.x, kDefaultDenoiseSensitivity);
                     }) &&
                     started;
                if (!started && !notifier_.failed && !interrupted_) {
                    notifier_.ShowError("cannot reduce the noise of frames " +
                                        QString::number(s.a) + ":" + QString::number(s.b));
                    return kExitFailure;
                }
                break;
            }
            case TCliStep::kFilter: {
                if (s.preview) return Preview(s);
                bool started = false;
                ok = Wait(QString::fromStdString(s.filter.effect),
                          [&] { started = doc_.ApplyFilter(s.filter, 0, 0); });
                if (!started && ok) {
                    notifier_.ShowError(QString::fromStdString("cannot run " + s.filter.effect));
                    return kExitFailure;
                }
                break;
            }
            case TCliStep::kToMono:
            case TCliStep::kToStereo:
            case TCliStep::kSwapChannels: {
                bool started = false;
                ok = Wait("Channels", [&] {
                    started = s.kind == TCliStep::kToMono     ? doc_.ToMono()
                              : s.kind == TCliStep::kToStereo ? doc_.ToStereo()
                                                              : doc_.SwapChannels();
                });
                if (!started) {
                    notifier_.ShowError(s.kind == TCliStep::kToStereo ? "the sound is not mono"
                                                                      : "the sound is not stereo");
                    return kExitFailure;
                }
                break;
            }
            case TCliStep::kTags:
                PrintTags(doc_.Tags());
                break;
            case TCliStep::kSetTag:
            case TCliStep::kClearTags: {
                TTags tags = doc_.Tags();
                if (s.kind == TCliStep::kClearTags)
                    tags = {};
                else
                    SetTag(tags, s.path);
                doc_.SetTags(tags);
                break;
            }
            case TCliStep::kMarker:
            case TCliStep::kRegion:
            case TCliStep::kMarkers:
            case TCliStep::kClearMarkers:
            case TCliStep::kImportLabels:
            case TCliStep::kExportLabels: {
                QString error;
                if (!RunMarkerStep(doc_, s, error)) {
                    notifier_.ShowError(error);
                    return kExitFailure;
                }
                break;
            }
            case TCliStep::kExportRegions:
                return ExportRegions(s);
            case TCliStep::kSave:
                return Save(s);
            case TCliStep::kPlay:
                return Play(s);
            case TCliStep::kRecordAt:
                return Record(s, doc_.Channels(), doc_.SampleRate(),
                              {TTakePlace::kInsert, s.a, 0, TakeFrames(s.x, doc_.SampleRate())});
            case TCliStep::kRecordOver:
                return Record(s, doc_.Channels(), doc_.SampleRate(),
                              {TTakePlace::kReplace, s.a, s.b, s.b - s.a});
        }
        if (!ok) return kExitFailure;
        if (!doc_.Ready()) {
            notifier_.ShowError("The document is not usable after the last operation");
            return kExitFailure;
        }
        return 0;
    }

    int Save(const TCliStep& s) {
        bool started = false;
        const int64_t start = s.hasRange ? s.a : 0;
        const int64_t end = s.hasRange ? s.b : doc_.Frames();
        const bool ok = Wait("Saving", [&] { started = doc_.SaveRange(s.path, start, end); });
        if (!mp3Error_.empty()) {
            std::fprintf(stderr, "orvane-cli: %s\n", mp3Error_.c_str());
            return kExitUsage;
        }
        if (!started) {
            std::fprintf(stderr,
                         "orvane-cli: cannot save %s: the name must end in .wav, .mp3, .flac, "
                         ".ogg, .oga or .opus\n",
                         qPrintable(s.path));
            return kExitUsage;
        }
        return ok ? 0 : kExitFailure;
    }

    int Play(const TCliStep& s);
    int Preview(const TCliStep& s);
    int Record(const TCliStep& s, uint16_t channels, uint32_t rate, const TTakeRequest& request);
    int ExportRegions(const TCliStep& s);

    const TCliOptions& options_;
    TConsoleNotifier notifier_;
    TMemoryClipboard clipboard_;
    Twavefile doc_;
    TProgressBar bar_;
    QEventLoop loop_;
    std::string mp3Error_;
    std::unique_ptr<QSocketNotifier> interrupt_;
    bool interrupted_ = false;
    bool takeStopped_ = false;  // Ctrl+C has ended the running take
};

// Each region (or stretch between markers) to its own file; the files written listed.
int TRunner::ExportRegions(const TCliStep& s) {
    const QString& ext = options_.regionFormat;
    if (!QDir().mkpath(s.path)) {
        notifier_.ShowError("cannot make the folder " + s.path);
        return kExitFailure;
    }
    const QStringList targets = doc_.ExportTargets(s.path, options_.regionPattern, ext);
    if (targets.isEmpty()) {
        notifier_.ShowError("there are no markers or regions to export");
        return kExitFailure;
    }
    for (qsizetype i = 0; i < targets.size(); ++i) {
        // Two pieces under one name would leave only the last.
        if (targets.indexOf(targets[i]) != i) {
            notifier_.ShowError(targets[i] + " would be written twice; put %n in --name-pattern");
            return kExitFailure;
        }
        if (!options_.overwrite && QFileInfo::exists(targets[i])) {
            notifier_.ShowError(targets[i] + " exists (--overwrite replaces it)");
            return kExitFailure;
        }
    }
    bool started = false;
    const bool ok = Wait("Exporting", [&] {
        started = doc_.ExportRegions(s.path, options_.regionPattern, ext);
    });
    for (const QString& file : doc_.Exported()) std::printf("%s\n", qPrintable(file));
    std::fflush(stdout);
    if (!mp3Error_.empty()) {
        std::fprintf(stderr, "orvane-cli: %s\n", mp3Error_.c_str());
        return kExitUsage;
    }
    return ok && started ? 0 : kExitFailure;
}

// One take from the input device; the device counts its frames, so a take through a device
// faster than real time (SDL's disk driver) is as long as asked, only sooner.
int TRunner::Record(const TCliStep& s, uint16_t channels, uint32_t rate,
                    const TTakeRequest& request) {
    if (s.kind == TCliStep::kRecordOver &&
        (s.a >= doc_.Frames() || s.b > doc_.Frames())) {
        notifier_.ShowError("--record-over " + QString::number(s.a) + ":" + QString::number(s.b) +
                            " lies beyond the sound's " + QString::number(doc_.Frames()) +
                            " frames");
        return kExitFailure;
    }
    std::string error;
    auto input = OpenTakeInput(options_.inputDevice, channels, rate, request.maxFrames, error);
    if (!input) {
        notifier_.ShowError(QString::fromStdString("cannot open the input device: " + error));
        return kExitFailure;
    }
    bool started = false;
    takeStopped_ = false;
    const bool ok = Wait("Recording", [&] { started = doc_.Record(std::move(input), request); });
    if (!ok) return interrupted_ ? kExitInterrupted : kExitFailure;
    if (!started) {
        notifier_.ShowError("cannot record into this sound");
        return kExitFailure;
    }
    if (doc_.LastTakeEnd() != TTakeEnd::kStopped && doc_.LastTakeEnd() != TTakeEnd::kLength &&
        doc_.LastTakeEnd() != TTakeEnd::kDiskFull && doc_.LastTakeEnd() != TTakeEnd::kInputFailed) {
        notifier_.ShowError("nothing was recorded");
        return kExitFailure;
    }
    if (!doc_.Ready()) return kExitFailure;
    if (const int64_t n = doc_.TakeStatus().dropouts; n > 0)
        notifier_.ShowStatus(QString::number(n) + " dropouts in the take");
    return 0;
}

int TRunner::Preview(const TCliStep& s) {
    TPreviewEffect effect;
    if (s.kind == TCliStep::kAmplify) {
        effect.kind = TPreviewEffect::kAmplify;
        effect.percent = int32_t(s.a);
    } else {
        effect.filter = s.filter;
    }
    const int64_t start = std::clamp<int64_t>(s.previewStart, 0, doc_.Frames());
    const int64_t end = std::clamp<int64_t>(s.previewEnd, 0, doc_.Frames());
    // An empty range would preview the whole sound; the option asks for a stretch.
    if (start >= end) return 0;
    bool started = false;
    const bool ok = Wait("Preview", [&] { started = doc_.Preview(effect, start, end); });
    if (!ok) return interrupted_ ? kExitInterrupted : kExitFailure;
    if (!started) {
        notifier_.ShowError("cannot preview " + QString::fromStdString(
                                                    s.kind == TCliStep::kAmplify ? "amplify"
                                                                                 : s.filter.effect));
        return kExitFailure;
    }
#ifdef ORVANE_CLI_PLAY
    const int status = RunPlayPreview(doc_, start);
#else
    std::fprintf(stderr, "orvane-cli: playback is not part of this build\n");
    const int status = kExitFailure;
#endif
    doc_.DropPreview();
    return status;
}

int TRunner::Play(const TCliStep& s) {
#ifdef ORVANE_CLI_PLAY
    const int64_t start = s.hasRange ? s.a : 0;
    const int64_t end = s.hasRange ? s.b : doc_.Frames();
    return RunPlay(doc_, std::clamp<int64_t>(std::min(start, end), 0, doc_.Frames()),
                   std::clamp<int64_t>(std::max(start, end), 0, doc_.Frames()));
#else
    (void)s;
    std::fprintf(stderr, "orvane-cli: playback is not part of this build\n");
    return kExitFailure;
#endif
}

// --recover-list and --recover ID -o FILE: the work of a run that is gone, without a display.
int RunRecovery(const std::vector<std::string>& args) {
    if (args.size() == 1) {
        for (const Twavefile::TRecoverable& r : Twavefile::RecoverableSessions()) {
            std::printf("%s\t%s\t%d\t%s\n", qPrintable(r.id), qPrintable(r.fileName), r.steps,
                        qPrintable(r.lastChange.toString(Qt::ISODate)));
        }
        return 0;
    }
    if (args.size() != 4 || args[2] != "-o") {
        std::fprintf(stderr, "orvane-cli: use --recover ID -o FILE\n(see orvane-cli --help)\n");
        return kExitUsage;
    }
    TConsoleNotifier notifier;
    Twavefile doc(&notifier);
    QEventLoop loop;
    doc.OnReady = [&](Twavefile*) { loop.quit(); };
    doc.OnMp3Settings = [](Twavefile*) { return std::optional<TMp3Choices>(TMp3Choices{}); };
    doc.OnEncodeSettings = [](Twavefile*, TEncodeFormat format) {
        return std::optional<TEncodeSettings>(TEncodeSettings{format});
    };
    const QString id = QString::fromStdString(args[1]);
    if (!doc.Recover(id)) {
        std::fprintf(stderr, "orvane-cli: error: no session %s to recover\n", qPrintable(id));
        return kExitFailure;
    }
    loop.exec();
    if (!doc.Ready()) return kExitFailure;
    if (!doc.SaveRange(QString::fromStdString(args[3]), 0, doc.Frames())) {
        std::fprintf(stderr,
                         "orvane-cli: cannot save %s: the name must end in .wav, .mp3, .flac, "
                         ".ogg, .oga or .opus\n",
                     args[3].c_str());
        return kExitUsage;
    }
    loop.exec();
    if (notifier.failed || doc.Cancelled()) return kExitFailure;
    // The work is back in the file: the session has done its job.
    doc.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer started;
    started.start();
    CatchInterrupt();
    const auto app = MakeCliApplication(argc, argv);
    QCoreApplication::setApplicationName("orvane-cli");
    QCoreApplication::setApplicationVersion(ORVANE_VERSION);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (IsLanguageToolRequest(args))
        return RunLanguageTool(args, TLanguageManager::Instance(), "orvane-cli");
    if (args.size() == 1 && args[0] == "--list-inputs") return ListInputs();
    if (!args.empty() && (args[0] == "--recover-list" || args[0] == "--recover")) {
        Settings = LoadSettings();
        if (args[0] == "--recover-list" && args.size() != 1) return kExitUsage;
        return RunRecovery(args);
    }
    TCliOptions options;
    std::string error;
    switch (ParseCliOptions(args, options, error)) {
        case TParseResult::kHelp:
            std::fputs(CliUsage().c_str(), stdout);
            return 0;
        case TParseResult::kVersion:
            std::printf("orvane-cli %s\n", ORVANE_VERSION);
            return 0;
        case TParseResult::kDataFolders:
            std::fputs(DataFoldersReport().c_str(), stdout);
            return 0;
        case TParseResult::kError:
            std::fprintf(stderr, "orvane-cli: %s\n(see orvane-cli --help)\n", error.c_str());
            return kExitUsage;
        case TParseResult::kRun:
            break;
    }
    Settings = LoadSettings();
    // Versions that killed runs left behind; live ones are held locked and stay.
    RemoveStaleVersionFiles(TempFolder());
    TRunner runner(options);
    return runner.Run(started);
}
