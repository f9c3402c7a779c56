// orvane-cli's argument parser: every number is range-checked, never wrapped.
#include "cli_options.h"

#include <gtest/gtest.h>

namespace {

struct TNumberCase {
    const char* name;
    std::vector<std::string> args;  // after the input file
    bool accepted;
};

void PrintTo(const TNumberCase& c, std::ostream* os) {
    *os << c.name;
}

class CliNumberTest : public ::testing::TestWithParam<TNumberCase> {};

TEST_P(CliNumberTest, OutOfRangeNumbersAreRefusedNotWrapped) {
    std::vector<std::string> args = {"in.wav"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    TCliOptions options;
    std::string error;
    const TParseResult result = ParseCliOptions(args, options, error);
    if (GetParam().accepted) {
        EXPECT_EQ(result, TParseResult::kRun) << error;
    } else {
        EXPECT_EQ(result, TParseResult::kError);
        // The message names the option, so the user knows which number to fix.
        EXPECT_NE(error.find(GetParam().args[0]), std::string::npos) << error;
    }
}

const TNumberCase kNumberCases[] = {
    {"AmplifyWrappingTo200", {"--amplify", "4294967496"}, false},
    {"AmplifyAtItsLimit", {"--amplify", "200"}, true},
    {"AmplifyAboveItsLimit", {"--amplify", "201"}, false},
    {"AmplifyOverflowingSixtyFourBits", {"--amplify", "99999999999999999999"}, false},
    {"NormalizeAtItsLimit", {"--normalize", "100"}, true},
    {"NormalizeAboveItsLimit", {"--normalize", "101"}, false},
    {"NormalizeWithAPlusSign", {"--normalize", "+50"}, false},
    {"PasteAtTheLastFrameNumber", {"--paste", "1152921504606846975"}, true},
    {"PasteBeyondThirtyTwoBits", {"--paste", "4294967296"}, true},
    {"PasteBeyondSixtyBits", {"--paste", "1152921504606846976"}, false},
    {"CutEndBeyondThirtyTwoBits", {"--cut", "0:4294967296"}, true},
    {"CutEndBeyondSixtyBits", {"--cut", "0:1152921504606846976"}, false},
    {"SilenceOfANegativeLength", {"--insert-silence", "0:-1"}, false},
    {"RangeBeyondThirtyTwoBits", {"--range", "4294967296:1"}, true},
    {"RangeBeyondSixtyBits", {"--range", "1152921504606846976:1"}, false},
    {"PlayRangeBeyondSixtyBits", {"--play", "0:1152921504606846976"}, false},
    {"PlayRangeInRange", {"--play", "0:4294967295"}, true},
    {"BitrateZero", {"--bitrate", "0"}, false},
    {"BitrateWrappingToAnOfferedRate", {"--bitrate", "4294967424"}, false},
    {"QualityAboveEight", {"--vbr-quality", "9"}, false},
    {"QualityWithTextAfterIt", {"--vbr-quality", "4x"}, false},
    {"JoinFadeAtItsLimit", {"--join-fade", "100"}, true},
    {"JoinFadeAboveItsLimit", {"--join-fade", "101"}, false},
    {"JoinFadeNegative", {"--join-fade", "-5"}, false},
    {"FlacLevelAtItsLimits", {"--flac-level", "0", "--flac-level", "8"}, true},
    {"FlacLevelAboveEight", {"--flac-level", "9"}, false},
    {"VorbisQualityAtItsLimits", {"--vorbis-quality", "-1", "--vorbis-quality", "10"}, true},
    {"VorbisQualityBelowMinusOne", {"--vorbis-quality", "-2"}, false},
    {"VorbisQualityAboveTen", {"--vorbis-quality", "11"}, false},
    {"OpusBitrateAtItsLimits", {"--opus-bitrate", "16", "--opus-bitrate", "256"}, true},
    {"OpusBitrateBelowSixteen", {"--opus-bitrate", "15"}, false},
    {"OpusBitrateWrappingToAnOfferedRate", {"--opus-bitrate", "4294967424"}, false},
    {"HighPassBelowTenHertz", {"--highpass", "5"}, false},
    {"LowPassSlopeAbove48", {"--lowpass", "1000:54"}, false},
    {"EqWithAFourthValue", {"--eq", "1000:6:1:2"}, false},
    {"CompressRatioBelowOne", {"--compress", "-20:0.5"}, false},
    {"LimitAboveFullScale", {"--limit", "1"}, false},
    {"TempoZero", {"--tempo", "0"}, false},
    {"PitchWithTextAfterIt", {"--pitch", "3st"}, false},
    {"SpeedAtItsLimits", {"--speed", "25", "--speed", "400"}, true},
    {"DenoiseEndingBeforeItStarts", {"--denoise", "500:100"}, false},
    {"DenoiseStrengthAbove100", {"--denoise", "0:100:101"}, false},
};

// Omitted values take the table's defaults; bands of --eq in a row make one equalizer.
TEST(CliFilterOptions, ValuesAndDefaultsReachTheStep) {
    struct TRow {
        std::vector<std::string> args;
        std::vector<TFilterSettings> steps;
    };
    for (const TRow& row :
         {TRow{{"--highpass", "1000"}, {{"highpass", {1000, 12}}}},
          TRow{{"--compress", "-20:4"}, {{"compress", {-20, 4, 20, 250, 0}}}},
          TRow{{"--eq", "100:-6:1", "--eq", "3000:3:2", "--limit", "-1", "--eq", "50:2:1"},
               {{"eq", {100, -6, 1, 3000, 3, 2}}, {"limit", {-1, 50}}, {"eq", {50, 2, 1}}}},
          TRow{{"--tempo", "50", "--pitch", "-12", "--speed", "200"},
               {{"tempo", {50}}, {"pitch", {-12}}, {"speed", {200}}}}}) {
        std::vector<std::string> args = {"in.wav"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        TCliOptions options;
        std::string error;
        ASSERT_EQ(ParseCliOptions(args, options, error), TParseResult::kRun) << error;
        ASSERT_EQ(options.steps.size(), row.steps.size());
        for (size_t i = 0; i < row.steps.size(); ++i) {
            EXPECT_EQ(options.steps[i].filter.effect, row.steps[i].effect);
            EXPECT_EQ(options.steps[i].filter.values, row.steps[i].values) << row.args[0];
        }
    }
    TCliOptions options;
    std::string error;
    ASSERT_EQ(ParseCliOptions({"in.wav", "--denoise", "0:88200"}, options, error), TParseResult::kRun);
    EXPECT_EQ(options.steps.at(0).a, 0);
    EXPECT_EQ(options.steps.at(0).b, 88200);
    EXPECT_EQ(options.steps.at(0).x, 12);
}

// --preview belongs to the amplify or filter step right after it, and to nothing else.
TEST(CliPreviewOption, MarksTheNextEffectStepOnly) {
    struct TRow {
        std::vector<std::string> args;
        bool ok;
        size_t marked;  // the step that previews, when ok
    };
    for (const TRow& row : {
             TRow{{"--preview", "10:20", "--amplify", "50", "--reverse"}, true, 0},
             TRow{{"--reverse", "--preview", "20:10", "--eq", "100:3:1", "--eq", "900:2:1"}, true, 1},
             TRow{{"--preview", "10:20", "--reverse"}, false, 0},
             TRow{{"--amplify", "50", "--preview", "10:20"}, false, 0},
             TRow{{"--preview", "10:20", "--preview", "1:2", "--tempo", "50"}, false, 0},
             TRow{{"--preview", "10", "--tempo", "50"}, false, 0},
         }) {
        std::vector<std::string> args = {"in.wav"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        TCliOptions options;
        std::string error;
        const std::string what = row.args[0] + " " + row.args[1] + " " + row.args[2];
        ASSERT_EQ(ParseCliOptions(args, options, error),
                  row.ok ? TParseResult::kRun : TParseResult::kError) << what;
        if (!row.ok) continue;
        for (size_t i = 0; i < options.steps.size(); ++i)
            EXPECT_EQ(options.steps[i].preview, i == row.marked) << what;
        const TCliStep& s = options.steps[row.marked];
        EXPECT_EQ(s.previewStart, 10) << what;
        EXPECT_EQ(s.previewEnd, 20) << what;
    }
    TCliOptions options;
    std::string error;
    ASSERT_EQ(ParseCliOptions({"in.wav", "--preview", "0:5", "--eq", "100:3:1", "--eq", "900:2:1"},
                              options, error),
              TParseResult::kRun);
    ASSERT_EQ(options.steps.size(), 1u);
    EXPECT_EQ(options.steps[0].filter.values.size(), 6u);
}

// The recording options: a new sound needs no input file and refuses one; the takes' steps keep
// their place among the others; values out of range are refused.
TEST(CliRecordOptions, NewSoundStepsAndRefusals) {
    struct TRow {
        std::vector<std::string> args;
        bool ok;
        double seconds;  // of --record
        int64_t rate, channels;
        std::vector<TCliStep::Kind> steps;
    };
    using K = TCliStep;
    for (const TRow& row : {
             TRow{{"--record", "2.5", "--rate", "48000", "--channels", "1", "-o", "a.wav"}, true,
                  2.5, 48000, 1, {K::kSave}},
             TRow{{"--record", "10", "--input", "USB Mic"}, true, 10, 44100, 2, {}},
             TRow{{"in.wav", "--record-at", "100:1.5", "--reverse", "--record-over", "5:9"}, true,
                  0, 44100, 2, {K::kRecordAt, K::kReverse, K::kRecordOver}},
             TRow{{"in.wav", "--record", "2"}, false, 0, 0, 0, {}},
             TRow{{"--record", "0"}, false, 0, 0, 0, {}},
             TRow{{"--record", "-1"}, false, 0, 0, 0, {}},
             TRow{{"--record", "2", "--channels", "3"}, false, 0, 0, 0, {}},
             TRow{{"--record", "2", "--rate", "100"}, false, 0, 0, 0, {}},
             TRow{{"in.wav", "--record-at", "100"}, false, 0, 0, 0, {}},
             TRow{{"in.wav", "--record-over", "9:5"}, false, 0, 0, 0, {}},
         }) {
        TCliOptions options;
        std::string error;
        std::string what;
        for (const std::string& a : row.args) what += a + " ";
        ASSERT_EQ(ParseCliOptions(row.args, options, error),
                  row.ok ? TParseResult::kRun : TParseResult::kError) << what;
        if (!row.ok) {
            EXPECT_FALSE(error.empty()) << what;
            continue;
        }
        EXPECT_EQ(options.recordSeconds, row.seconds) << what;
        EXPECT_EQ(options.recordRate, row.rate) << what;
        EXPECT_EQ(options.recordChannels, row.channels) << what;
        ASSERT_EQ(options.steps.size(), row.steps.size()) << what;
        for (size_t i = 0; i < row.steps.size(); ++i) EXPECT_EQ(options.steps[i].kind, row.steps[i]);
    }
    TCliOptions options;
    std::string error;
    ASSERT_EQ(ParseCliOptions({"in.wav", "--record-at", "100:1.5", "--record-over", "5:9"}, options,
                              error),
              TParseResult::kRun);
    EXPECT_EQ(options.steps[0].a, 100);
    EXPECT_EQ(options.steps[0].x, 1.5);
    EXPECT_EQ(options.steps[1].a, 5);
    EXPECT_EQ(options.steps[1].b, 9);
}

TEST(CliEncodeOptions, DefaultsAndGivenValuesReachTheSettings) {
    struct TCase {
        std::vector<std::string> args;
        TEncodeSettings expected;
    };
    const TCase cases[] = {
        {{}, {TEncodeFormat::kFlac, 5, 5, 128}},
        {{"--flac-level", "8"}, {TEncodeFormat::kFlac, 8, 5, 128}},
        {{"--vorbis-quality", "-1", "--opus-bitrate", "64"}, {TEncodeFormat::kFlac, 5, -1, 64}},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args = {"in.wav"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        TCliOptions options;
        std::string error;
        ASSERT_EQ(ParseCliOptions(args, options, error), TParseResult::kRun) << error;
        EXPECT_TRUE(options.encode == c.expected) << options.encode.flacLevel << " "
                                                   << options.encode.vorbisQuality << " "
                                                   << options.encode.opusBitrate;
    }
}

INSTANTIATE_TEST_SUITE_P(Options, CliNumberTest, ::testing::ValuesIn(kNumberCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliNumbers, ParseNumberKeepsToItsBounds) {
    int64_t v = 7;
    EXPECT_TRUE(ParseNumber("-5", -5, 5, v));
    EXPECT_EQ(v, -5);
    EXPECT_FALSE(ParseNumber("-6", -5, 5, v));
    EXPECT_FALSE(ParseNumber("-0", 0, 5, v));
    EXPECT_FALSE(ParseNumber("", 0, 5, v));
    EXPECT_FALSE(ParseNumber(" 1", 0, 5, v));
    // A refused number leaves the value alone.
    EXPECT_EQ(v, -5);
}

}  // namespace
