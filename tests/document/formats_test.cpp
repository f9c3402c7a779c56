// FLAC, Ogg Vorbis and Opus saves of the document, loaded back; paste of audio at another rate.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "doctest_util.h"
#include "resample.h"
#include "spectrum.h"

namespace {

std::vector<int16_t> Tone(uint16_t channels, uint32_t rate, int64_t frames, double hz) {
    std::vector<int16_t> s(size_t(frames) * channels);
    for (int64_t i = 0; i < frames; ++i)
        for (uint16_t c = 0; c < channels; ++c)
            s[size_t(i) * channels + c] =
                int16_t(std::lround(12000 * std::sin(2 * std::numbers::pi * hz * double(i) / rate)));
    return s;
}

QByteArray Image(uint16_t channels, uint32_t rate, const std::vector<int16_t>& s) {
    QByteArray img(44, '\0');
    TWavHeader::Pcm16(channels, rate, uint32_t(s.size() * 2))
        .WriteTo(reinterpret_cast<uint8_t*>(img.data()));
    img.append(reinterpret_cast<const char*>(s.data()), qsizetype(s.size() * 2));
    return img;
}

struct TFormatCase {
    const char* name;
    const char* target;
    uint16_t channels;
    uint32_t rate;
    bool exact;            // the samples come back as they were
    uint32_t loadedRate;   // the rate the saved file has
};

void PrintTo(const TFormatCase& c, std::ostream* os) {
    *os << c.name;
}

class SaveFormats : public ::testing::TestWithParam<TFormatCase>, public TDocFixture {};

TEST_P(SaveFormats, LoadsBackAtItsLengthAndRate) {
    const TFormatCase c = GetParam();
    const int64_t frames = 30011;
    std::vector<TEncodeFormat> asked;
    doc.OnEncodeSettings = [&](Twavefile*, TEncodeFormat f) {
        asked.push_back(f);
        return std::optional<TEncodeSettings>(TEncodeSettings{f});
    };
    const std::vector<int16_t> sound = Tone(c.channels, c.rate, frames, 440);
    LoadSamples(c.channels, sound, c.rate);
    const QString target = dir.path(c.target);
    doc.SetFileName(target);
    ASSERT_TRUE(doc.Save());
    Wait();
    ASSERT_TRUE(notifier.errors.empty()) << notifier.errors[0];
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_FALSE(doc.Modified());
    Load(target);
    ASSERT_TRUE(notifier.errors.empty()) << notifier.errors[0];
    EXPECT_EQ(doc.SampleRate(), c.loadedRate);
    EXPECT_EQ(doc.Channels(), c.channels);
    EXPECT_EQ(int64_t(doc.Frames()), ResampledLength(frames, c.rate, c.loadedRate));
    if (c.exact) {
        EXPECT_TRUE(Samples() == sound);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SaveFormats,
    ::testing::Values(TFormatCase{"FlacMono", "a.flac", 1, 44100, true, 44100},
                      TFormatCase{"FlacStereo", "a.FLAC", 2, 48000, true, 48000},
                      TFormatCase{"Vorbis", "a.ogg", 2, 44100, false, 44100},
                      TFormatCase{"VorbisOga", "a.oga", 1, 22050, false, 22050},
                      TFormatCase{"Opus", "a.opus", 2, 44100, false, 48000},
                      TFormatCase{"OpusMono", "a.opus", 1, 16000, false, 48000}),
    [](const auto& info) { return std::string(info.param.name); });

class Formats : public ::testing::Test, public TDocFixture {};

TEST_F(Formats, ACancelledSettingsDialogStartsNoSave) {
    LoadSamples(1, Tone(1, 44100, 1000, 440));
    doc.OnEncodeSettings = [](Twavefile*, TEncodeFormat) { return std::optional<TEncodeSettings>(); };
    EXPECT_FALSE(doc.SaveRange(dir.path("x.flac"), 0, doc.Frames()));
    doc.OnEncodeSettings = nullptr;
    EXPECT_FALSE(doc.SaveRange(dir.path("x.opus"), 0, doc.Frames()));
    EXPECT_FALSE(QFileInfo::exists(dir.path("x.flac")));
}

struct TPasteCase {
    const char* name;
    uint16_t docChannels, clipChannels;
    uint32_t clipRate;
    int32_t joinFadeMs;
};

void PrintTo(const TPasteCase& c, std::ostream* os) {
    *os << c.name;
}

class ResampledPaste : public ::testing::TestWithParam<TPasteCase>, public TDocFixture {};

// A clip at another rate keeps its pitch and its length in time, and the status bar says so.
TEST_P(ResampledPaste, KeepsPitchAndLength) {
    const TPasteCase c = GetParam();
    constexpr uint32_t kDocRate = 44100;
    const int64_t before = 20000, clipFrames = int64_t(c.clipRate);  // one second
    LoadSamples(c.docChannels, std::vector<int16_t>(size_t(2 * before) * c.docChannels, 0),
                kDocRate);
    doc.SetJoinFade(c.joinFadeMs);
    clipboard.SetWave(Image(c.clipChannels, c.clipRate,
                            Tone(c.clipChannels, c.clipRate, clipFrames, 1000)));
    doc.Paste(before);
    Wait();
    ASSERT_TRUE(notifier.errors.empty()) << notifier.errors[0];
    const int64_t pasted = ResampledLength(clipFrames, c.clipRate, kDocRate);
    EXPECT_EQ(int64_t(doc.Frames()), 2 * before + pasted);
    EXPECT_NEAR(double(pasted) / kDocRate, double(clipFrames) / c.clipRate, 1.0 / kDocRate);
    const std::vector<int16_t> all = Samples();
    const std::vector<int16_t> clip(all.begin() + before * c.docChannels,
                                    all.begin() + (before + pasted) * c.docChannels);
    EXPECT_NEAR(PeakHz(clip, c.docChannels, kDocRate), 1000, 1);
    if (c.clipRate == kDocRate) {
        EXPECT_TRUE(notifier.statuses.empty());
    } else {
        ASSERT_EQ(notifier.statuses.size(), 1u);
        EXPECT_NE(notifier.statuses[0].find(std::to_string(c.clipRate)), std::string::npos);
        EXPECT_NE(notifier.statuses[0].find("44100"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, ResampledPaste,
    ::testing::Values(TPasteCase{"Mono22k", 1, 1, 22050, 0},
                      TPasteCase{"StereoClipIntoMono48k", 1, 2, 48000, 0},
                      TPasteCase{"MonoClipIntoStereo8k", 2, 1, 8000, 0},
                      TPasteCase{"SmoothJoins22k", 2, 2, 22050, 10},
                      TPasteCase{"SameRate", 1, 1, 44100, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
