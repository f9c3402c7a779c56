#pragma once
// Command-line parsing of orvane-cli: the steps to run, in the order given.

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli_render.h"
#include "ffencode.h"
#include "filtereffects.h"
#include "mp3format.h"

struct TCliStep {
    enum Kind {
        kInfo,
        kCut,
        kCopy,
        kPaste,
        kDelete,
        kInsertSilence,
        kFadeIn,
        kFadeOut,
        kNormalize,
        kAmplify,
        kReverse,
        kInvert,
        kUndo,
        kRedo,
        kClipboardIn,
        kClipboardOut,
        kSave,
        kPlay,
        kLoudness,
        kNormalizeLoudness,
        kToMono,
        kToStereo,
        kSwapChannels,
        kTrimSilence,
        kTags,
        kSetTag,
        kClearTags,
        kMarker,
        kRegion,
        kMarkers,
        kClearMarkers,
        kImportLabels,
        kExportLabels,
        kExportRegions,
        kFilter,
        kDenoise,
        kRecordAt,    // a = frame, x = seconds
        kRecordOver,  // a:b = the range
    };
    explicit TCliStep(Kind k = kInfo) : kind(k) {}
    Kind kind;
    int64_t a = 0, b = 0;  // frames, or a percentage
    bool hasRange = false;
    QString path;  // or the tag assignment of --set-tag, or a marker's name
    double x = 0, y = 0;  // loudness target and ceiling, or trim threshold (dB) and margin (ms),
                          // or the noise reduction's strength (dB)
    TFilterSettings filter;  // the effect and its values of a filter step
    // --preview S:E before an amplify or filter step: its result on frames [previewStart,
    // previewEnd) is played instead of being applied.
    bool preview = false;
    int64_t previewStart = 0, previewEnd = 0;
};

// MP3 options as given; bitrates in kbit/s, 0 when not given.
struct TMp3Options {
    int mode = 0;  // 0 cbr, 1 vbr, 2 abr
    int bitrate = 0, maxBitrate = 0, avgBitrate = 0;
    int quality = 0;  // the settings dialog's slider, 0..8, 8 the best
    bool crc = false;
};

struct TCliOptions {
    QString input;
    bool timings = false;  // print each step's wall-clock time on standard error
    int32_t joinFadeMs = 0;  // cross-fade of the edits' joins; 0 keeps them exact
    std::vector<TCliStep> steps;
    TMp3Options mp3;
    TEncodeSettings encode;  // FLAC level, Vorbis quality, Opus bitrate
    TRenderOptions render;  // drawn after every step has run
    // --export-regions: the file names' pattern, the format's extension, whether files there
    // may be replaced.
    QString regionPattern = "%n %name";
    QString regionFormat = "wav";
    bool overwrite = false;
    // --record SECONDS with no INPUT: a new sound of that length (0: none asked) from the input
    // device (--input, empty: the default) at --rate and --channels. --input also names the
    // device of the --record-at and --record-over steps.
    double recordSeconds = 0;
    std::string inputDevice;
    int64_t recordRate = 44100;
    int64_t recordChannels = 2;
};

// The one parser of numbers on the command line: a whole decimal number within [min, max], with
// no sign where min is not negative and nothing after it. A number out of range is refused, never
// wrapped or clamped.
bool ParseNumber(const std::string& text, int64_t min, int64_t max, int64_t& value);
// "OPTION needs a whole number from MIN to MAX, not "TEXT"" for a refused number.
std::string NumberError(const std::string& option, const std::string& text, int64_t min,
                        int64_t max);

// Frame numbers fit 60 bits, so the byte offset of any frame of a stereo sound fits what a
// sample store addresses; the effect percentages are those the effect dialogs offer.
constexpr int64_t kMaxCliFrame = (int64_t(1) << 60) - 1;
constexpr int64_t kMaxNormalizePercent = 100;
constexpr int64_t kMaxAmplifyPercent = 200;

enum class TParseResult { kRun, kHelp, kVersion, kDataFolders, kError };

TParseResult ParseCliOptions(const std::vector<std::string>& args, TCliOptions& out,
                             std::string& error);
std::string CliUsage();

// The dialog's choices for the given options at a sample rate; nothing (and a message listing
// what the rate offers) when a bitrate is not offered there.
std::optional<TMp3Choices> ResolveMp3Choices(const TMp3Options& options, uint32_t sampleRate,
                                             std::string& error);
