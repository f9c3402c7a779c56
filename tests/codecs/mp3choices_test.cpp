// The MP3 settings dialog's choices give the file they promise: the document's sample rate kept,
// and the bitrate chosen for the mode.
#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <random>

#include "largefile.h"
#include "mp3format.h"
#include "mp3writer.h"
#include "testutil.h"
#include "wavlayout.h"

namespace {

struct TFrameHeader {
    uint32_t rate = 0;
    int kbps = 0;
};

// The audio frames of an MP3 file written without ID3 tags, from its first byte.
std::vector<TFrameHeader> FrameHeaders(const QByteArray& data) {
    static const int kMpeg1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kMpeg2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const uint32_t kRates[] = {44100, 48000, 32000};
    std::vector<TFrameHeader> frames;
    const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
    int64_t at = 0;
    while (at + 4 <= data.size()) {
        if (p[at] != 0xFF || (p[at + 1] & 0xE0) != 0xE0) break;
        const int version = (p[at + 1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
        const int bitrateIndex = p[at + 2] >> 4;
        const int rateIndex = (p[at + 2] >> 2) & 3;
        if (version == 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) break;
        const int kbps = version == 3 ? kMpeg1[bitrateIndex] : kMpeg2[bitrateIndex];
        const uint32_t rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
        const int padding = (p[at + 2] >> 1) & 1;
        frames.push_back({rate, kbps});
        at += (version == 3 ? 144 : 72) * kbps * 1000 / int(rate) + padding;
    }
    return frames;
}

// Two seconds of stereo music-like sound (tones and a little noise), so that a variable
// bitrate has something to vary with.
void MakeStore(const QString& path, uint32_t rate) {
    const uint32_t frames = rate * 2;
    std::vector<int16_t> s(size_t(frames) * 2);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-1500, 1500);
    for (uint32_t f = 0; f < frames; ++f) {
        const double t = double(f) / rate;
        const double v = 6000 * std::sin(2 * std::numbers::pi * 440 * t) +
                         3000 * std::sin(2 * std::numbers::pi * 1250 * t);
        s[2 * f] = int16_t(v + noise(random));
        s[2 * f + 1] = int16_t(-v + noise(random));
    }
    TLargeFile store(path, uint64_t(s.size()) * 2 + kWavHeaderBytes);
    store.WriteHeader(TWavHeader::Pcm16(2, rate, uint32_t(s.size() * 2)));
    store.WriteSamples(s.data(), 0, int64_t(s.size()) - 1);
}

struct TChoiceCase {
    int mode;
    uint32_t rate;
    int avgIndex;  // the average bitrate chosen in ABR mode; the rest are the dialog's defaults
};

std::string CaseName(const ::testing::TestParamInfo<TChoiceCase>& info) {
    static const char* kModes[] = {"Cbr", "Vbr", "Abr"};
    std::string name =
        std::string(kModes[info.param.mode]) + "At" + std::to_string(info.param.rate);
    if (info.param.mode == mmAbr) {
        name += "Averaging" + std::to_string(BitrateForIndex(info.param.rate, info.param.avgIndex));
    }
    return name;
}

void PrintTo(const TChoiceCase& c, std::ostream* os) {
    *os << "mode " << c.mode << " at " << c.rate << " Hz, average position " << c.avgIndex;
}

class Mp3ChoiceTest : public ::testing::TestWithParam<TChoiceCase> {};

TEST_P(Mp3ChoiceTest, SampleRateKeptAndBitrateAsChosen) {
    const TChoiceCase& c = GetParam();
    TTempFolder folder;
    MakeStore(folder.path("store.wav"), c.rate);
    TMp3Choices choices;
    choices.modeIndex = c.mode;
    choices.avgBitrateIndex = c.avgIndex;
    const BE_CONFIG config = MakeMp3Config(c.rate, 2, choices);
    std::atomic<int32_t> progress{0};
    {
        TLargeFile store(folder.path("store.wav"));
        SaveMp3(store, 0, c.rate * 2, 2, config, folder.path("out.mp3"), progress);
    }
    std::vector<TFrameHeader> frames = FrameHeaders(ReadAll(folder.path("out.mp3")));
    // A variable-bitrate file starts with its tag frame, which carries no audio.
    if (config.bWriteVBRHeader != kBeFalse && !frames.empty()) frames.erase(frames.begin());
    ASSERT_GT(frames.size(), 10u);
    // MPEG-2.5 (8 to 12 kHz) carries at most 64 kbit/s: a higher choice gives that.
    const int chosen = std::min(BitrateForIndex(c.rate, c.mode == mmAbr ? c.avgIndex : 0),
                                c.rate < 16000 ? 64 : 320);
    double sum = 0;
    for (const TFrameHeader& f : frames) {
        ASSERT_EQ(f.rate, c.rate);
        sum += f.kbps;
        // Constant and (with minimum and maximum both on the list's first entry) variable
        // bitrate keep every frame at the chosen rate.
        if (c.mode != mmAbr) {
            ASSERT_EQ(f.kbps, chosen);
        }
    }
    if (c.mode == mmAbr) {
        const double mean = sum / double(frames.size());
        EXPECT_LT(mean, chosen * 1.25) << "chosen " << chosen;
        EXPECT_GT(mean, chosen * 0.6) << "chosen " << chosen;
    }
}

INSTANTIATE_TEST_SUITE_P(
    DialogDefaults, Mp3ChoiceTest,
    ::testing::Values(
        TChoiceCase{mmCbr, 44100, 0}, TChoiceCase{mmCbr, 22050, 0}, TChoiceCase{mmCbr, 11025, 0},
        TChoiceCase{mmVbr, 44100, 0}, TChoiceCase{mmVbr, 22050, 0}, TChoiceCase{mmVbr, 11025, 0},
        TChoiceCase{mmAbr, 44100, 0}, TChoiceCase{mmAbr, 22050, 0}, TChoiceCase{mmAbr, 11025, 0},
        // 128, 64 and 32 kbit/s: below the default minimum of each table.
        TChoiceCase{mmAbr, 44100, 5}, TChoiceCase{mmAbr, 22050, 6}, TChoiceCase{mmAbr, 11025, 4}),
    CaseName);

}  // namespace

namespace {

struct TEncoderErrorCase {
    int code;
    const char* reason;
};

class Mp3EncoderErrorTest : public ::testing::TestWithParam<TEncoderErrorCase> {};

// A failed encoder call is not a file write error: the message names the encoder and its code.
TEST_P(Mp3EncoderErrorTest, NamesTheEncoderAndItsCode) {
    const std::string message = Mp3EncoderError(GetParam().code);
    EXPECT_EQ(message, "The MP3 encoder (LAME) failed with error " +
                           std::to_string(GetParam().code) + ": " + GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Mp3EncoderErrorTest,
    ::testing::Values(TEncoderErrorCase{-1, "its output buffer was too small"},
                      TEncoderErrorCase{
                          -2,
                          "There is not enough memory or disk space to complete the operation."},
                      TEncoderErrorCase{-3, "it was not set up"},
                      TEncoderErrorCase{-4, "its psychoacoustic model failed"},
                      TEncoderErrorCase{-7, "unknown error"}),
    [](const auto& info) { return "Code" + std::to_string(-info.param.code); });

}  // namespace
