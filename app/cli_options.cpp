#include "cli_options.h"

#include <QFileInfo>

#include "denoise.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <algorithm>
#include <map>

#include "cli_language.h"
#include "denoise.h"
#include "settings.h"
#include "tags.h"

bool ParseNumber(const std::string& text, int64_t min, int64_t max, int64_t& value) {
    if (text.empty() || text[0] == '+' || (text[0] == '-' && min >= 0)) return false;
    const char* end = text.data() + text.size();
    int64_t n = 0;
    auto [p, ec] = std::from_chars(text.data(), end, n);
    if (ec != std::errc() || p != end || n < min || n > max) return false;
    value = n;
    return true;
}

std::string NumberError(const std::string& option, const std::string& text, int64_t min,
                        int64_t max) {
    return option + " needs a whole number from " + std::to_string(min) + " to " +
           std::to_string(max) + ", not \"" + text + "\"";
}

namespace {

// "A:B" with two frame numbers.
bool ParsePair(const std::string& text, int64_t& a, int64_t& b) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    return ParseNumber(text.substr(0, colon), 0, kMaxCliFrame, a) &&
           ParseNumber(text.substr(colon + 1), 0, kMaxCliFrame, b);
}

std::string PairError(const std::string& option, const std::string& text) {
    return option + " needs two frame numbers from 0 to " + std::to_string(kMaxCliFrame) +
           " as A:B, not \"" + text + "\"";
}

// Looks like "A:B" (digits on both sides), so that --play's optional range is not mistaken for
// the input file when one of its numbers is out of range.
bool LooksLikePair(const std::string& text) {
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != colon && (text[i] < '0' || text[i] > '9')) return false;
    }
    return true;
}

// "X" or "X:Y" with decimal numbers (Y keeps its default when not given), each within its bounds.
bool ParseDecimalPair(const std::string& text, double min, double max, double& x, double& y,
                      double minY, double maxY) {
    auto one = [](const std::string& t, double lo, double hi, double& v) {
        if (t.empty() || t[0] == '+') return false;
        double n = 0;
        const char* end = t.data() + t.size();
        auto [p, ec] = std::from_chars(t.data(), end, n);
        if (ec != std::errc() || p != end || !(n >= lo && n <= hi)) return false;
        v = n;
        return true;
    };
    const auto colon = text.find(':');
    if (colon == std::string::npos) return one(text, min, max, x);
    return one(text.substr(0, colon), min, max, x) && one(text.substr(colon + 1), minY, maxY, y);
}

// "P[:NAME]", or "S:E[:NAME]" for a region (S < E); the name is all after the colon.
bool ParseMarker(const std::string& text, bool region, TCliStep& s) {
    const size_t first = text.find(':');
    const size_t second = region && first != std::string::npos ? text.find(':', first + 1)
                                                               : std::string::npos;
    const size_t nameAt = region ? second : first;
    const std::string frames = nameAt == std::string::npos ? text : text.substr(0, nameAt);
    if (nameAt != std::string::npos)
        s.path = QString::fromLocal8Bit(text.substr(nameAt + 1).c_str());
    if (!region) {
        if (!ParseNumber(frames, 0, kMaxCliFrame, s.a)) return false;
        s.b = s.a;
        return true;
    }
    return ParsePair(frames, s.a, s.b) && s.a < s.b;
}

// An optional value follows when the next argument starts like a number.
// The longest take asked for on the command line: four weeks.
constexpr double kMaxRecordSeconds = 28.0 * 24 * 3600;

bool LooksLikeDecimal(const std::string& text) {
    return !text.empty() && (text[0] == '-' ? text.size() > 1 && std::isdigit(uint8_t(text[1]))
                                            : std::isdigit(uint8_t(text[0])) != 0);
}

}  // namespace

std::string CliUsage() {
    return "Usage: orvane-cli INPUT [STEP...]\n"
           "       orvane-cli --record SECONDS [--input NAME] [--rate HZ] [--channels 1|2] "
           "[STEP...]\n"
           "Loads INPUT (any format the decoder reads), or records a new sound of SECONDS from\n"
           "the input device, and runs the steps in the order given.\n"
           "Frames count samples per channel; ranges are START:END with END exclusive.\n\n"
           "  --info                     print format, channels, rate, frames, duration, peak, "
           "level,\n"
           "                             history on disk\n"
           "  -o, --output FILE          save as WAV, MP3, FLAC, Ogg Vorbis (.ogg, .oga) or Opus\n"
           "                             (.opus, always 48 kHz), by the extension\n"
           "  --range START:END          save only that range (applies to the outputs)\n"
           "  --cut S:E | --copy S:E | --delete S:E\n"
           "  --paste P                  paste the clipboard at frame P (converted to the\n"
           "                             document's sample rate when it has another)\n"
           "  --insert-silence P:FRAMES  insert FRAMES silent frames at P\n"
           "  --fade-in S:E | --fade-out S:E\n"
           "  --normalize PERCENT | --amplify PERCENT\n"
           "  --reverse | --invert | --undo | --redo\n"
           "  --loudness                 print integrated loudness, loudness range, true peak\n"
           "  --normalize-loudness LUFS[:DBTP]  one gain to LUFS (default ceiling -1 dBTP)\n"
           "  --trim-silence [DB[:MS]]   trim what is under DB dBFS (-50) at both ends, keeping\n"
           "                             MS ms (100)\n"
           "  --to-mono | --to-stereo | --swap-channels\n"
           "  --highpass HZ[:DB_PER_OCT] | --lowpass HZ[:DB_PER_OCT]\n"
           "                             Butterworth filter, slope 6 to 48 (12) dB/octave\n"
           "  --eq HZ:GAIN_DB:Q          one equalizer band; repeated, the bands act together\n"
           "  --compress THRESHOLD_DB:RATIO[:ATTACK_MS:RELEASE_MS:MAKEUP_DB]\n"
           "                             compressor (attack 20, release 250, makeup 0)\n"
           "  --limit CEILING_DB[:RELEASE_MS]  limiter to a sample peak of CEILING_DB dBFS\n"
           "  --tempo PERCENT            change the tempo, pitch kept (200 is twice as fast)\n"
           "  --pitch SEMITONES          change the pitch, tempo kept (-24 to 24)\n"
           "  --speed PERCENT            change tempo and pitch together, as a faster tape\n"
           "  --denoise PS:PE[:DB]       reduce the noise of frames PS..PE (noise alone) by DB\n"
           "                             dB (1 to 100, default 12) over the whole sound\n"
           "  --tags                     print the tags as KEY=VALUE lines (picture=MIME BYTES)\n"
           "  --set-tag KEY=VALUE        set a tag (title artist album albumartist date track\n"
           "                             genre comment; an empty VALUE removes it); repeatable\n"
           "  --clear-tags               remove every tag and the picture\n"
           "  --marker P[:NAME]          add a marker at frame P\n"
           "  --region S:E[:NAME]        add a region of frames S to E\n"
           "  --markers                  print \"marker P NAME\" and \"region S E NAME\" lines in\n"
           "                             time order\n"
           "  --clear-markers            remove every marker and region\n"
           "  --import-labels FILE       add the labels of a label text file (start, end, name\n"
           "                             in seconds, a tab between)\n"
           "  --export-labels FILE       write the markers as label text (.txt) or as chapters\n"
           "                             JSON (.json)\n"
           "  --export-regions FOLDER    write each region (with none, each stretch between\n"
           "                             markers) to its own file there; lists the files\n"
           "  --name-pattern P           their names: %n the number (two digits), %name the\n"
           "                             name (\"%n %name\")\n"
           "  --format wav|mp3|flac|ogg|opus  their format (wav)\n"
           "  --overwrite                replace files that exist (else refused)\n"
           "  --join-fade MS             cut, delete and paste cross-fade each join over MS ms\n"
           "                             (1 to 100; 0, the default, keeps the edits exact)\n"
           "  --clipboard-in FILE.wav    put a WAV file on the clipboard\n"
           "  --clipboard-out FILE.wav   write the clipboard to a file\n"
           "  --play [S:E]               play the document or a range\n"
           "  --record-at P:SECONDS      record SECONDS from the input device and insert the\n"
           "                             take at frame P (Ctrl+C ends a take early)\n"
           "  --record-over S:E          record over frames S..E (punch-in: as long as the range)\n"
           "  --input NAME               the input device of the takes (--list-inputs; the\n"
           "                             default device when not given)\n"
           "  --rate HZ | --channels 1|2 the new sound of --record (44100 Hz, 2 channels)\n"
           "  --preview S:E              before an effect (amplify, normalize, the fades,\n"
           "                             loudness, trim, denoise, a filter): play its result on\n"
           "                             frames S..E instead of applying it\n"
           "  --timings                  print how long start-up, loading, each step and closing\n"
           "                             took (standard error, \"timing: NAME SECONDS\")\n" +
           RenderUsage() +
           "\n"
           "MP3 output (kbit/s; the defaults are the first bitrate the sample rate offers):\n"
           "  --mp3-mode cbr|vbr|abr  --bitrate N  --max-bitrate N  --avg-bitrate N\n"
           "  --vbr-quality 0..8 (8 the best)  --crc\n"
           "FLAC, Ogg Vorbis and Opus output:\n"
           "  --flac-level 0..8 (5)  --vorbis-quality -1..10 (5)  --opus-bitrate 16..256 (128)\n\n" +
           LanguageUsage() +
           "\n"
           "  -h, --help     show this help\n"
           "  --version      show the version\n"
           "  --data-folders show where the languages and the help manual are found\n"
           "  --recover-list list the work of runs that ended unexpectedly (id, file, steps, "
           "time)\n"
           "  --recover ID -o FILE  save that work's current sound to FILE\n"
           "  --list-inputs  list the input devices, the default first, one a line\n"
           "Exit status: 0 success, 1 an operation failed, 2 bad arguments.\n";
}

TParseResult ParseCliOptions(const std::vector<std::string>& args, TCliOptions& out,
                             std::string& error) {
    const std::map<std::string, TCliStep::Kind> rangeSteps = {
        {"--cut", TCliStep::kCut},          {"--copy", TCliStep::kCopy},
        {"--delete", TCliStep::kDelete},    {"--fade-in", TCliStep::kFadeIn},
        {"--fade-out", TCliStep::kFadeOut}, {"--insert-silence", TCliStep::kInsertSilence}};
    const std::map<std::string, TCliStep::Kind> plainSteps = {{"--info", TCliStep::kInfo},
                                                              {"--reverse", TCliStep::kReverse},
                                                              {"--invert", TCliStep::kInvert},
                                                              {"--undo", TCliStep::kUndo},
                                                              {"--loudness", TCliStep::kLoudness},
                                                              {"--to-mono", TCliStep::kToMono},
                                                              {"--to-stereo", TCliStep::kToStereo},
                                                              {"--swap-channels", TCliStep::kSwapChannels},
                                                              {"--tags", TCliStep::kTags},
                                                              {"--clear-tags", TCliStep::kClearTags},
                                                              {"--markers", TCliStep::kMarkers},
                                                              {"--clear-markers", TCliStep::kClearMarkers},
                                                              {"--redo", TCliStep::kRedo}};
    bool haveRange = false;
    int64_t rangeA = 0, rangeB = 0;
    // A --preview waiting for the step it belongs to: the steps there were when it was read.
    constexpr size_t kNoPreview = SIZE_MAX;
    size_t previewAt = kNoPreview;
    int64_t previewA = 0, previewB = 0;
    // The step after a --preview must be one that can be heard first.
    auto claimPreview = [&]() {
        if (previewAt == kNoPreview || out.steps.size() <= previewAt) return true;
        TCliStep& s = out.steps[previewAt];
        previewAt = kNoPreview;
        static const TCliStep::Kind heard[] = {
            TCliStep::kAmplify, TCliStep::kFilter,  TCliStep::kNormalize,         TCliStep::kFadeIn,
            TCliStep::kFadeOut, TCliStep::kDenoise, TCliStep::kNormalizeLoudness,
            TCliStep::kTrimSilence};
        if (std::find(std::begin(heard), std::end(heard), s.kind) == std::end(heard)) return false;
        s.preview = true;
        s.previewStart = std::min(previewA, previewB);
        s.previewEnd = std::max(previewA, previewB);
        return true;
    };
    const std::string previewError =
        "--preview S:E must come right before an effect (--amplify, --normalize, --fade-in, "
        "--fade-out, --normalize-loudness, --trim-silence, --denoise or a filter)";
    for (size_t i = 0; i < args.size(); ++i) {
        if (!claimPreview()) {
            error = previewError;
            return TParseResult::kError;
        }
        const std::string& arg = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") return TParseResult::kHelp;
        if (arg == "--version") return TParseResult::kVersion;
        if (arg == "--data-folders") return TParseResult::kDataFolders;
        if (auto it = plainSteps.find(arg); it != plainSteps.end()) {
            out.steps.push_back(TCliStep(it->second));
        } else if (auto r = rangeSteps.find(arg); r != rangeSteps.end()) {
            TCliStep s{r->second};
            if (!value(v)) return TParseResult::kError;
            if (!ParsePair(v, s.a, s.b)) {
                error = PairError(arg, v);
                return TParseResult::kError;
            }
            out.steps.push_back(s);
        } else if (arg == "--paste" || arg == "--normalize" || arg == "--amplify") {
            TCliStep s{arg == "--paste"       ? TCliStep::kPaste
                       : arg == "--normalize" ? TCliStep::kNormalize
                                              : TCliStep::kAmplify};
            if (!value(v)) return TParseResult::kError;
            const int64_t max = s.kind == TCliStep::kPaste       ? kMaxCliFrame
                                : s.kind == TCliStep::kNormalize ? kMaxNormalizePercent
                                                                 : kMaxAmplifyPercent;
            if (!ParseNumber(v, 0, max, s.a)) {
                error = NumberError(arg, v, 0, max);
                return TParseResult::kError;
            }
            out.steps.push_back(s);
        } else if (arg == "--normalize-loudness") {
            TCliStep s{TCliStep::kNormalizeLoudness};
            s.y = -1;
            if (!value(v)) return TParseResult::kError;
            if (!ParseDecimalPair(v, -70, 0, s.x, s.y, -20, 0)) {
                error = arg + " needs LUFS from -70 to 0, optionally :DBTP from -20 to 0, not \"" +
                        v + "\"";
                return TParseResult::kError;
            }
            out.steps.push_back(s);
        } else if (arg == "--trim-silence") {
            TCliStep s{TCliStep::kTrimSilence};
            s.x = -50;
            s.y = 100;
            if (i + 1 < args.size() && LooksLikeDecimal(args[i + 1])) {
                v = args[++i];
                if (!ParseDecimalPair(v, -120, 0, s.x, s.y, 0, 10000)) {
                    error = arg + " needs DB from -120 to 0, optionally :MS from 0 to 10000, not \"" +
                            v + "\"";
                    return TParseResult::kError;
                }
            }
            out.steps.push_back(s);
        } else if (const TFilterEffect* effect =
                       arg.size() > 2 ? FindFilterEffect(arg.substr(2)) : nullptr) {
            if (!value(v)) return TParseResult::kError;
            // The bands of consecutive --eq options make one equalizer.
            const bool join = effect->repeats && !out.steps.empty() &&
                              out.steps.back().kind == TCliStep::kFilter &&
                              out.steps.back().filter.effect == effect->name;
            TCliStep s{TCliStep::kFilter};
            s.filter.effect = effect->name;
            std::string why;
            if (!ParseFilterValues(*effect, v, join ? out.steps.back().filter.values : s.filter.values,
                                   why)) {
                error = arg + " " + why;
                return TParseResult::kError;
            }
            if (!join) out.steps.push_back(s);
        } else if (arg == "--denoise") {
            TCliStep s{TCliStep::kDenoise};
            s.x = kDefaultDenoiseDb;
            if (!value(v)) return TParseResult::kError;
            const size_t second = v.find(':', v.find(':') + 1);
            const std::string pair = v.substr(0, second);
            if (!ParsePair(pair, s.a, s.b) || s.b <= s.a) {
                error = PairError(arg, pair);
                return TParseResult::kError;
            }
            if (second != std::string::npos) {
                double y = 0;
                if (!ParseDecimalPair(v.substr(second + 1), 1, 100, s.x, y, 0, 0)) {
                    error = arg + " needs a strength DB from 1 to 100, not \"" +
                            v.substr(second + 1) + "\"";
                    return TParseResult::kError;
                }
            }
            out.steps.push_back(s);
        } else if (arg == "--clipboard-in" || arg == "--clipboard-out" || arg == "-o" ||
                   arg == "--output") {
            TCliStep s{arg == "--clipboard-in"    ? TCliStep::kClipboardIn
                       : arg == "--clipboard-out" ? TCliStep::kClipboardOut
                                                  : TCliStep::kSave};
            if (!value(v)) return TParseResult::kError;
            s.path = QString::fromLocal8Bit(v.c_str());
            out.steps.push_back(s);
        } else if (arg == "--marker" || arg == "--region") {
            TCliStep s{arg == "--marker" ? TCliStep::kMarker : TCliStep::kRegion};
            if (!value(v)) return TParseResult::kError;
            if (!ParseMarker(v, s.kind == TCliStep::kRegion, s)) {
                error = arg + (s.kind == TCliStep::kRegion
                                   ? " needs S:E[:NAME] with frames S < E, not \""
                                   : " needs P[:NAME] with a frame P, not \"") +
                        v + "\"";
                return TParseResult::kError;
            }
            out.steps.push_back(s);
        } else if (arg == "--import-labels" || arg == "--export-labels" ||
                   arg == "--export-regions") {
            TCliStep s{arg == "--import-labels"   ? TCliStep::kImportLabels
                       : arg == "--export-labels" ? TCliStep::kExportLabels
                                                  : TCliStep::kExportRegions};
            if (!value(v)) return TParseResult::kError;
            s.path = QString::fromLocal8Bit(v.c_str());
            const QString ext = QFileInfo(s.path).suffix().toLower();
            if (s.kind == TCliStep::kExportLabels && ext != "txt" && ext != "json") {
                error = "--export-labels writes .txt (label text) or .json (chapters), not \"" +
                        v + "\"";
                return TParseResult::kError;
            }
            out.steps.push_back(s);
        } else if (arg == "--name-pattern") {
            if (!value(v)) return TParseResult::kError;
            out.regionPattern = QString::fromLocal8Bit(v.c_str());
            if (out.regionPattern.isEmpty() || out.regionPattern.contains('/')) {
                error = "--name-pattern needs a file name without a slash, not \"" + v + "\"";
                return TParseResult::kError;
            }
        } else if (arg == "--format") {
            if (!value(v)) return TParseResult::kError;
            if (v != "wav" && v != "mp3" && v != "flac" && v != "ogg" && v != "opus") {
                error = "--format is wav, mp3, flac, ogg or opus, not \"" + v + "\"";
                return TParseResult::kError;
            }
            out.regionFormat = QString::fromStdString(v);
        } else if (arg == "--overwrite") {
            out.overwrite = true;
        } else if (arg == "--set-tag") {
            TCliStep s{TCliStep::kSetTag};
            if (!value(v)) return TParseResult::kError;
            s.path = QString::fromLocal8Bit(v.c_str());
            TTags probe;
            if (!SetTag(probe, s.path)) {
                error = "--set-tag needs KEY=VALUE with KEY one of " +
                        TTags::Keys().join(' ').toStdString() + ", not \"" + v + "\"";
                return TParseResult::kError;
            }
            out.steps.push_back(s);
        } else if (arg == "--range") {
            if (!value(v)) return TParseResult::kError;
            if (!ParsePair(v, rangeA, rangeB)) {
                error = PairError(arg, v);
                return TParseResult::kError;
            }
            haveRange = true;
        } else if (arg == "--preview") {
            if (!value(v)) return TParseResult::kError;
            if (previewAt != kNoPreview || !ParsePair(v, previewA, previewB)) {
                error = previewAt != kNoPreview ? previewError : PairError(arg, v);
                return TParseResult::kError;
            }
            previewAt = out.steps.size();
        } else if (arg == "--play") {
            TCliStep s{TCliStep::kPlay};
            if (i + 1 < args.size() && LooksLikePair(args[i + 1])) {
                if (!ParsePair(args[++i], s.a, s.b)) {
                    error = PairError(arg, args[i]);
                    return TParseResult::kError;
                }
                s.hasRange = true;
            }
            out.steps.push_back(s);
        } else if (arg == "--mp3-mode") {
            if (!value(v)) return TParseResult::kError;
            if (v == "cbr")
                out.mp3.mode = 0;
            else if (v == "vbr")
                out.mp3.mode = 1;
            else if (v == "abr")
                out.mp3.mode = 2;
            else {
                error = "--mp3-mode is cbr, vbr or abr, not \"" + v + "\"";
                return TParseResult::kError;
            }
        } else if (arg == "--bitrate" || arg == "--max-bitrate" || arg == "--avg-bitrate" ||
                   arg == "--vbr-quality") {
            if (!value(v)) return TParseResult::kError;
            int64_t n = 0;
            const bool quality = arg == "--vbr-quality";
            // Bitrates beyond the tables are refused later with the list the rate offers.
            const int64_t min = quality ? 0 : 1;
            const int64_t max = quality ? 8 : 100000;
            if (!ParseNumber(v, min, max, n)) {
                error = NumberError(arg, v, min, max);
                return TParseResult::kError;
            }
            (arg == "--bitrate"       ? out.mp3.bitrate
             : arg == "--max-bitrate" ? out.mp3.maxBitrate
             : arg == "--avg-bitrate" ? out.mp3.avgBitrate
                                      : out.mp3.quality) = int(n);
        } else if (arg == "--flac-level" || arg == "--vorbis-quality" || arg == "--opus-bitrate") {
            if (!value(v)) return TParseResult::kError;
            const bool flac = arg == "--flac-level", vorbis = arg == "--vorbis-quality";
            const int64_t min = flac ? kMinFlacLevel : vorbis ? kMinVorbisQuality : kMinOpusBitrate;
            const int64_t max = flac ? kMaxFlacLevel : vorbis ? kMaxVorbisQuality : kMaxOpusBitrate;
            int64_t n = 0;
            if (!ParseNumber(v, min, max, n)) {
                error = NumberError(arg, v, min, max);
                return TParseResult::kError;
            }
            (flac ? out.encode.flacLevel : vorbis ? out.encode.vorbisQuality
                                                  : out.encode.opusBitrate) = int(n);
        } else if (ParseRenderOption(args, i, out.render, error)) {
            if (!error.empty()) return TParseResult::kError;
        } else if (arg == "--join-fade") {
            if (!value(v)) return TParseResult::kError;
            int64_t ms = 0;
            if (!ParseNumber(v, 0, kMaxJoinFadeMs, ms)) {
                error = NumberError(arg, v, 0, kMaxJoinFadeMs);
                return TParseResult::kError;
            }
            out.joinFadeMs = int32_t(ms);
        } else if (arg == "--record" || arg == "--record-at") {
            if (!value(v)) return TParseResult::kError;
            TCliStep s{TCliStep::kRecordAt};
            const auto colon = v.find(':');
            const bool at = arg == "--record-at";
            double unused = 0;
            if ((at && (colon == std::string::npos ||
                        !ParseNumber(v.substr(0, colon), 0, kMaxCliFrame, s.a))) ||
                !ParseDecimalPair(at ? v.substr(colon + 1) : v, 0, kMaxRecordSeconds, s.x, unused,
                                  0, 0) ||
                !(s.x > 0)) {
                error = arg + (at ? " needs P:SECONDS" : " needs SECONDS") +
                        ", seconds above 0 and up to " + std::to_string(int64_t(kMaxRecordSeconds)) +
                        ", not \"" + v + "\"";
                return TParseResult::kError;
            }
            if (at)
                out.steps.push_back(s);
            else
                out.recordSeconds = s.x;
        } else if (arg == "--record-over") {
            TCliStep s{TCliStep::kRecordOver};
            if (!value(v)) return TParseResult::kError;
            if (!ParsePair(v, s.a, s.b) || s.a >= s.b) {
                error = PairError(arg, v) + " with A below B";
                return TParseResult::kError;
            }
            out.steps.push_back(s);
        } else if (arg == "--input") {
            if (!value(v)) return TParseResult::kError;
            out.inputDevice = v;
        } else if (arg == "--rate" || arg == "--channels") {
            if (!value(v)) return TParseResult::kError;
            const bool rate = arg == "--rate";
            const int64_t lo = rate ? 8000 : 1, hi = rate ? 192000 : 2;
            if (!ParseNumber(v, lo, hi, rate ? out.recordRate : out.recordChannels)) {
                error = NumberError(arg, v, lo, hi);
                return TParseResult::kError;
            }
        } else if (arg == "--timings") {
            out.timings = true;
        } else if (arg == "--crc") {
            out.mp3.crc = true;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            error = "unknown option " + arg;
            return TParseResult::kError;
        } else if (out.input.isEmpty()) {
            out.input = QString::fromLocal8Bit(arg.c_str());
        } else {
            error = "only one input file, but also got \"" + arg + "\"";
            return TParseResult::kError;
        }
    }
    if (!claimPreview() || previewAt != kNoPreview) {
        error = previewError;
        return TParseResult::kError;
    }
    if (out.input.isEmpty() && out.recordSeconds <= 0) {
        error = "no input file";
        return TParseResult::kError;
    }
    if (!out.input.isEmpty() && out.recordSeconds > 0) {
        error = "--record makes a new sound: give no input file (--record-at P:SECONDS records "
                "into one)";
        return TParseResult::kError;
    }
    for (TCliStep& s : out.steps) {
        if (s.kind == TCliStep::kSave && haveRange) {
            s.hasRange = true;
            s.a = rangeA;
            s.b = rangeB;
        }
    }
    return TParseResult::kRun;
}

std::optional<TMp3Choices> ResolveMp3Choices(const TMp3Options& o, uint32_t sampleRate,
                                             std::string& error) {
    TMp3Choices c;
    c.modeIndex = o.mode;
    c.qualityPosition = o.quality;
    c.crc = o.crc;
    auto index = [&](int kbps, const char* what, int& out) {
        if (kbps == 0) return true;
        if (const std::optional<int> i = IndexForBitrate(sampleRate, kbps)) {
            out = *i;
            return true;
        }
        error = std::string(what) + " " + std::to_string(kbps) + " kbit/s is not offered at " +
                std::to_string(sampleRate) + " Hz; choose one of: " + OfferedBitrates(sampleRate);
        return false;
    };
    if (!index(o.bitrate, "bitrate", c.bitrateIndex) ||
        !index(o.maxBitrate, "maximum bitrate", c.maxBitrateIndex) ||
        !index(o.avgBitrate, "average bitrate", c.avgBitrateIndex)) {
        return std::nullopt;
    }
    return c;
}
