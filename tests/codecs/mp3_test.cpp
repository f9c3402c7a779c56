// The MP3 encoder settings, the dialog's list state, the LAME mapping, the writer and the save.
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <string>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>

#include "apperror.h"
#include "largefile.h"
#include "messages.h"
#include "mp3format.h"
#include "mp3writer.h"
#include "testutil.h"

namespace {

// --- the configuration record -------------------------------------------------------------

// The record for constant bitrate at 320 kbit/s, as filled by hand from the field table.
BE_CONFIG Cbr320(uint32_t rate, uint16_t channels) {
    BE_CONFIG c;
    c.dwConfig = 256;
    c.dwStructVersion = 1;
    c.dwStructSize = 331;
    c.dwSampleRate = rate;
    c.dwReSampleRate = 0;
    c.nMode = channels == 1 ? 3 : 0;
    c.dwBitrate = 320;
    c.dwMaxBitrate = 320;
    c.nPreset = 12;
    c.dwMpegVersion = 1;
    c.bOriginal = -1;
    c.bWriteVBRHeader = -1;
    c.nVBRQuality = 8;
    c.nVbrMethod = -1;
    c.nQuality = 5;
    return c;
}

struct TConfigRow {
    const char* label;
    uint32_t rate;
    uint16_t channels;
    TMp3Choices choices;
    std::function<BE_CONFIG()> expected;
};

class Mp3ConfigTest : public ::testing::TestWithParam<TConfigRow> {};

TEST_P(Mp3ConfigTest, FillsEveryField) {
    const TConfigRow& row = GetParam();
    EXPECT_EQ(MakeMp3Config(row.rate, row.channels, row.choices), row.expected());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Mp3ConfigTest,
    ::testing::Values(TConfigRow{"MonoDefaults", 44100, 1, {}, [] { return Cbr320(44100, 1); }},
                      TConfigRow{"StereoDefaults", 44100, 2, {}, [] { return Cbr320(44100, 2); }},
                      TConfigRow{"Mpeg2At22050",
                                 22050,
                                 2,
                                 {},
                                 [] {
                                     BE_CONFIG c = Cbr320(22050, 2);
                                     c.dwMpegVersion = 0;
                                     c.dwBitrate = c.dwMaxBitrate = 160;
                                     return c;
                                 }},
                      TConfigRow{"Mpeg1At32000", 32000, 1, {}, [] { return Cbr320(32000, 1); }},
                      TConfigRow{"VbrBestQuality", 44100, 2, TMp3Choices{mmVbr, 3, 1, 0, 8, false},
                                 [] {
                                     BE_CONFIG c = Cbr320(44100, 2);
                                     c.dwBitrate = 192;
                                     c.dwMaxBitrate = 256;
                                     c.nPreset = -1;
                                     c.bEnableVBR = -1;
                                     c.nVBRQuality = 0;
                                     c.nVbrMethod = 0;
                                     return c;
                                 }},
                      TConfigRow{"AbrWithChecksum", 48000, 2, TMp3Choices{mmAbr, 5, 2, 3, 4, true},
                                 [] {
                                     BE_CONFIG c = Cbr320(48000, 2);
                                     c.dwBitrate = 128;
                                     c.dwMaxBitrate = 224;
                                     c.nPreset = 11;
                                     c.bCRC = -1;
                                     c.bEnableVBR = -1;
                                     c.nVBRQuality = 4;
                                     c.dwVbrAbr_bps = 192000;
                                     c.nVbrMethod = 4;
                                     return c;
                                 }},
                      // A hidden maximum bitrate still goes into the record.
                      TConfigRow{"CbrKeepsMaximum", 11025, 1,
                                 TMp3Choices{mmCbr, 2, 7, 0, 0, false},
                                 [] {
                                     BE_CONFIG c = Cbr320(11025, 1);
                                     c.dwMpegVersion = 0;
                                     c.dwBitrate = 48;
                                     c.dwMaxBitrate = 8;
                                     return c;
                                 }},
                      TConfigRow{"UntabledRate", 96000, 2, TMp3Choices{mmAbr, 14, 7, 13, 0, false},
                                 [] {
                                     BE_CONFIG c = Cbr320(96000, 2);
                                     c.dwBitrate = c.dwMaxBitrate = 128;
                                     c.nPreset = 11;
                                     c.bEnableVBR = -1;
                                     c.dwVbrAbr_bps = 128000;
                                     c.nVbrMethod = 4;
                                     return c;
                                 }}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Mp3Config, RefusesChoicesTheDialogCannotMake) {
    EXPECT_THROW(MakeMp3Config(44100, 3, {}), EAppError);
    EXPECT_THROW(MakeMp3Config(44100, 2, TMp3Choices{3, 0, 0, 0, 0, false}), EAppError);
    EXPECT_THROW(MakeMp3Config(44100, 2, TMp3Choices{0, 0, 0, 0, 9, false}), EAppError);
    EXPECT_THROW(MakeMp3Config(44100, 2, TMp3Choices{0, 14, 0, 0, 0, false}), EAppError);
    EXPECT_THROW(MakeMp3Config(22050, 2, TMp3Choices{mmAbr, 0, 0, -1, 0, false}), EAppError);
}

// --- bitrate tables -------------------------------------------------------------------------

struct TBitrateRow {
    uint32_t rate;
    int index;
    int kbps;
};

class BitrateForIndexTest : public ::testing::TestWithParam<TBitrateRow> {};

TEST_P(BitrateForIndexTest, ReadsTheRatesTable) {
    const TBitrateRow& row = GetParam();
    EXPECT_EQ(BitrateForIndex(row.rate, row.index), row.kbps);
}

INSTANTIATE_TEST_SUITE_P(Tables, BitrateForIndexTest,
                         ::testing::Values(TBitrateRow{44100, 0, 320}, TBitrateRow{32000, 13, 32},
                                           TBitrateRow{48000, 5, 128}, TBitrateRow{16000, 0, 160},
                                           TBitrateRow{22050, 2, 128}, TBitrateRow{22050, 13, 8},
                                           TBitrateRow{11025, 0, 64}, TBitrateRow{11025, 2, 48},
                                           TBitrateRow{8000, 7, 8}, TBitrateRow{96000, 0, 128},
                                           TBitrateRow{96000, 14, 128}, TBitrateRow{7999, -3, 128}),
                         [](const auto& info) {
                             return "At" + std::to_string(info.param.rate) + "Position" +
                                    ((info.param.index) < 0
                                         ? "Minus" + std::to_string(-int64_t(info.param.index))
                                         : std::to_string(info.param.index));
                         });

TEST(Bitrates, TablesAndTheirTexts) {
    EXPECT_EQ(BitrateTable(44100).size(), 14u);
    EXPECT_EQ(BitrateTable(16000).size(), 14u);
    EXPECT_EQ(BitrateTable(8000).size(), 8u);
    EXPECT_EQ(BitrateTable(12000), BitrateTable(8000));
    EXPECT_TRUE(BitrateTable(96000).empty());
    EXPECT_EQ(OfferedBitrates(48000),
              "320, 256, 224, 192, 160, 128, 112, 96, 80, 64, 56, 48, 40, 32");
    EXPECT_EQ(OfferedBitrates(11025), "64, 56, 48, 40, 32, 24, 16, 8");
    EXPECT_EQ(OfferedBitrates(96000), "128");

    EXPECT_THROW(BitrateForIndex(44100, 14), EAppError);
    EXPECT_THROW(BitrateForIndex(11025, 8), EAppError);
    EXPECT_THROW(BitrateForIndex(22050, -1), EAppError);
}

TEST(Bitrates, IndexForBitrateFindsOnlyOfferedRates) {
    EXPECT_EQ(IndexForBitrate(44100, 320), 0);
    EXPECT_EQ(IndexForBitrate(44100, 32), 13);
    EXPECT_EQ(IndexForBitrate(44100, 16), std::nullopt);
    EXPECT_EQ(IndexForBitrate(22050, 144), 1);
    EXPECT_EQ(IndexForBitrate(22050, 320), std::nullopt);
    EXPECT_EQ(IndexForBitrate(8000, 160), std::nullopt);
    EXPECT_EQ(IndexForBitrate(8000, 96), std::nullopt);
    EXPECT_EQ(IndexForBitrate(8000, 48), 2);
    EXPECT_EQ(IndexForBitrate(96000, 128), 0);
    EXPECT_EQ(IndexForBitrate(96000, 192), std::nullopt);
    for (uint32_t rate : {8000u, 16000u, 44100u, 96000u}) {
        for (int kbps : {8, 96, 128, 160, 320}) {
            if (const auto index = IndexForBitrate(rate, kbps)) {
                EXPECT_EQ(BitrateForIndex(rate, *index), kbps) << rate << " " << kbps;
            }
        }
    }
}

// --- the dialog's list state ---------------------------------------------------------------

std::vector<std::string> Items(std::initializer_list<int> kbps) {
    std::vector<std::string> items;
    for (int k : kbps) items.push_back(std::to_string(k));
    return items;
}

const std::vector<std::string> kMpeg1Items =
    Items({320, 256, 224, 192, 160, 128, 112, 96, 80, 64, 56, 48, 40, 32});
const std::vector<std::string> kMpeg2Items =
    Items({160, 144, 128, 112, 96, 80, 64, 56, 48, 40, 32, 24, 16, 8});

void ExpectLists(const TMp3SettingsModel& m, const std::vector<std::string>& items) {
    EXPECT_EQ(m.BitrateItems(), items);
    EXPECT_EQ(m.MaxBitrateItems(), items);
    EXPECT_EQ(m.AvgBitrateItems(), items);
    EXPECT_EQ(m.Choices().bitrateIndex, 0);
    EXPECT_EQ(m.Choices().maxBitrateIndex, 0);
    EXPECT_EQ(m.Choices().avgBitrateIndex, 0);
}

TEST(Mp3SettingsModel, RebuildsTheListsForEachNewRate) {
    TMp3SettingsModel m;
    EXPECT_EQ(m.RememberedRate(), 0);
    m.FormActivate(44100);
    ExpectLists(m, kMpeg1Items);

    m.SetBitrateIndex(4);
    m.FormActivate(22050);
    ExpectLists(m, kMpeg2Items);
    m.SetBitrateIndex(2);
    EXPECT_EQ(m.BitrateItems()[2], "128");
    EXPECT_EQ(MakeMp3Config(22050, 2, m.Choices()).dwBitrate, 128u);

    m.FormActivate(11025);
    ExpectLists(m, std::vector<std::string>(kMpeg2Items.begin() + 6, kMpeg2Items.end()));
    m.SetBitrateIndex(2);
    EXPECT_EQ(m.BitrateItems()[2], "48");
    EXPECT_EQ(MakeMp3Config(11025, 1, m.Choices()).dwBitrate, 48u);
}

// A rate without a table encodes at 128 kbit/s whatever the lists say, so they offer just that.
TEST(Mp3SettingsModel, UntabledRateOffersOnlyWhatItEncodesAt) {
    TMp3SettingsModel m;
    m.FormActivate(44100);
    m.SetBitrateIndex(5);
    m.FormActivate(96000);
    EXPECT_EQ(m.RememberedRate(), 96000);
    ExpectLists(m, Items({128}));
    EXPECT_EQ(m.Choices().bitrateIndex, 0);
    m.SetMode(mmAbr);
    const BE_CONFIG c = MakeMp3Config(96000, 2, m.Choices());
    EXPECT_EQ(c.dwBitrate, 128u);
    EXPECT_EQ(c.dwMaxBitrate, 128u);
    EXPECT_EQ(c.dwVbrAbr_bps, 128000u);
    // Coming back from a rate without a table is still a change of rate.
    m.FormActivate(44100);
    ExpectLists(m, kMpeg1Items);
}

// Every bitrate the dialog offers at a rate is one the encoder keeps at that rate, rather than
// quietly moving to another.
TEST(Mp3SettingsModel, EveryOfferedBitrateIsKeptByTheEncoder) {
    for (uint32_t rate : {8000u, 11025u, 12000u, 16000u, 22050u, 24000u, 32000u, 44100u, 48000u}) {
        TMp3SettingsModel m;
        m.FormActivate(rate);
        for (const std::string& item : m.BitrateItems()) {
            const int kbps = std::stoi(item);
            lame_t lame = lame_init();
            lame_set_in_samplerate(lame, int(rate));
            lame_set_out_samplerate(lame, int(rate));
            lame_set_num_channels(lame, 2);
            lame_set_brate(lame, kbps);
            ASSERT_EQ(lame_init_params(lame), 0) << rate << " Hz " << kbps;
            EXPECT_EQ(lame_get_brate(lame), kbps) << rate << " Hz";
            lame_close(lame);
        }
    }
}

TEST(Mp3SettingsModel, SameRateKeepsChoicesAndModeSurvivesANewRate) {
    TMp3SettingsModel m;
    m.FormActivate(48000);
    m.SetMode(mmVbr);
    m.SetBitrateIndex(3);
    m.SetMaxBitrateIndex(1);
    m.SetAvgBitrateIndex(6);
    m.SetQualityPosition(7);
    m.SetCrc(true);
    const TMp3Choices before = m.Choices();
    m.FormActivate(48000);
    EXPECT_EQ(m.Choices(), before);

    m.FormActivate(16000);
    EXPECT_EQ(m.Choices(), (TMp3Choices{mmVbr, 0, 0, 0, 7, true}));
}

TEST(Mp3SettingsModel, MaximumBitrateShowsOutsideConstantModeButAlwaysCounts) {
    TMp3SettingsModel m;
    m.FormActivate(44100);
    EXPECT_EQ(m.PageIndex(), 0);
    EXPECT_FALSE(m.MaxBitrateVisible());
    m.SetMode(mmVbr);
    EXPECT_EQ(m.PageIndex(), 1);
    EXPECT_TRUE(m.MaxBitrateVisible());
    m.SetMaxBitrateIndex(5);
    m.SetMode(mmAbr);
    EXPECT_EQ(m.PageIndex(), 2);
    EXPECT_TRUE(m.MaxBitrateVisible());
    m.SetMode(mmCbr);
    EXPECT_FALSE(m.MaxBitrateVisible());
    EXPECT_EQ(MakeMp3Config(44100, 2, m.Choices()).dwMaxBitrate, 128u);
}

TEST(Mp3SettingsModel, SettersRefusePositionsOutsideTheLists) {
    TMp3SettingsModel m;
    m.FormActivate(8000);
    EXPECT_THROW(m.SetBitrateIndex(8), EAppError);
    EXPECT_THROW(m.SetAvgBitrateIndex(-1), EAppError);
    EXPECT_THROW(m.SetQualityPosition(9), EAppError);
    EXPECT_THROW(m.SetMode(3), EAppError);
    EXPECT_EQ(m.Choices(), TMp3Choices{});
}

// --- the LAME mapping ---------------------------------------------------------------------

struct TLame {
    TLame() : gfp(lame_init()) {}
    ~TLame() { lame_close(gfp); }
    lame_global_flags* gfp;
};

TEST(Mp3Mapping, ConstantBitrateStereo) {
    BE_CONFIG c = Cbr320(44100, 2);
    c.dwBitrate = 192;
    c.bCRC = -1;
    TLame lame;
    ASSERT_TRUE(ApplyMp3Config(lame.gfp, c));
    ASSERT_EQ(lame_init_params(lame.gfp), 0);
    EXPECT_EQ(lame_get_in_samplerate(lame.gfp), 44100);
    EXPECT_EQ(lame_get_out_samplerate(lame.gfp), 44100);
    EXPECT_EQ(lame_get_num_channels(lame.gfp), 2);
    EXPECT_EQ(lame_get_mode(lame.gfp), STEREO);
    EXPECT_EQ(lame_get_VBR(lame.gfp), vbr_off);
    EXPECT_EQ(lame_get_brate(lame.gfp), 192);
    EXPECT_EQ(lame_get_error_protection(lame.gfp), 1);
    EXPECT_EQ(lame_get_original(lame.gfp), 1);
    EXPECT_EQ(lame_get_copyright(lame.gfp), 0);
    EXPECT_EQ(lame_get_extension(lame.gfp), 0);
    EXPECT_EQ(lame_get_strict_ISO(lame.gfp), 0);
    EXPECT_EQ(lame_get_disable_reservoir(lame.gfp), 0);
    EXPECT_EQ(lame_get_bWriteVbrTag(lame.gfp), 1);
    EXPECT_EQ(lame_get_quality(lame.gfp), 5);
    EXPECT_EQ(lame_get_framesize(lame.gfp), 1152);
}

TEST(Mp3Mapping, VariableBitrateMonoWithEveryFlagSet) {
    BE_CONFIG c = MakeMp3Config(22050, 1, TMp3Choices{mmVbr, 6, 1, 0, 6, false});
    c.bCopyright = c.bPrivate = c.bStrictIso = c.bNoRes = -1;
    TLame lame;
    ASSERT_TRUE(ApplyMp3Config(lame.gfp, c));
    // LAME adjusts the quality while it sets itself up.
    EXPECT_EQ(lame_get_VBR_q(lame.gfp), 2);
    ASSERT_EQ(lame_init_params(lame.gfp), 0);
    EXPECT_EQ(lame_get_num_channels(lame.gfp), 1);
    EXPECT_EQ(lame_get_mode(lame.gfp), MONO);
    EXPECT_EQ(lame_get_VBR(lame.gfp), vbr_default);
    EXPECT_EQ(lame_get_VBR_min_bitrate_kbps(lame.gfp), 64);
    EXPECT_EQ(lame_get_VBR_max_bitrate_kbps(lame.gfp), 144);
    EXPECT_EQ(lame_get_bWriteVbrTag(lame.gfp), 1);
    EXPECT_EQ(lame_get_copyright(lame.gfp), 1);
    EXPECT_EQ(lame_get_extension(lame.gfp), 1);
    EXPECT_EQ(lame_get_strict_ISO(lame.gfp), 1);
    EXPECT_EQ(lame_get_disable_reservoir(lame.gfp), 1);
    EXPECT_EQ(lame_get_framesize(lame.gfp), 576);
}

TEST(Mp3Mapping, AverageBitrate) {
    const BE_CONFIG c = MakeMp3Config(48000, 2, TMp3Choices{mmAbr, 9, 0, 4, 0, false});
    TLame lame;
    ASSERT_TRUE(ApplyMp3Config(lame.gfp, c));
    ASSERT_EQ(lame_init_params(lame.gfp), 0);
    EXPECT_EQ(lame_get_VBR(lame.gfp), vbr_abr);
    EXPECT_EQ(lame_get_VBR_mean_bitrate_kbps(lame.gfp), 160);
    EXPECT_EQ(lame_get_VBR_min_bitrate_kbps(lame.gfp), 64);
    EXPECT_EQ(lame_get_VBR_max_bitrate_kbps(lame.gfp), 320);
    EXPECT_EQ(lame_get_bWriteVbrTag(lame.gfp), 1);
}

TEST(Mp3Mapping, RefusesUnknownModesAndMethods) {
    BE_CONFIG c = Cbr320(44100, 2);
    c.nMode = 4;
    TLame a;
    EXPECT_FALSE(ApplyMp3Config(a.gfp, c));
    c = Cbr320(44100, 2);
    c.bEnableVBR = -1;
    c.nVbrMethod = 5;
    TLame b;
    EXPECT_FALSE(ApplyMp3Config(b.gfp, c));
}

// --- stores, files and decoding ------------------------------------------------------------

// A version file of frames frames: a 440 Hz sine, the second channel in opposite phase.
QString MakeStore(const QString& path, uint16_t channels, uint32_t rate, uint32_t frames) {
    const uint32_t bytes = frames * channels * 2;
    std::vector<int16_t> samples(size_t(frames) * channels);
    for (uint32_t f = 0; f < frames; ++f) {
        const double v = 12000 * std::sin(2 * std::numbers::pi * 440 * f / rate);
        for (uint16_t c = 0; c < channels; ++c) samples[f * channels + c] = int16_t(c ? -v : v);
    }
    TLargeFile store(path, uint64_t(bytes) + kWavHeaderBytes);
    store.WriteHeader(TWavHeader::Pcm16(channels, rate, bytes));
    if (!samples.empty()) store.WriteSamples(samples.data(), 0, int64_t(samples.size()) - 1);
    return path;
}

// The interleaved samples that the ffmpeg tool decodes from file; nothing when it fails.
std::optional<std::vector<int16_t>> Decoded(const QString& file) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", file, "-f", "s16le", "-acodec", "pcm_s16le", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) return std::nullopt;
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    std::vector<int16_t> samples(size_t(bytes.size()) / 2);
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

int64_t DecodedFrames(const QString& file, int channels) {
    const auto samples = Decoded(file);
    return samples ? int64_t(samples->size()) / channels : -1;
}

// Root-mean-square difference between decoded (starting offset frames late) and the store's sine.
double SineError(const std::vector<int16_t>& decoded, uint16_t channels, uint32_t rate,
                 uint32_t frames, int64_t offset) {
    double sum = 0;
    for (uint32_t f = 0; f < frames; ++f) {
        const double v = 12000 * std::sin(2 * std::numbers::pi * 440 * f / rate);
        for (uint16_t c = 0; c < channels; ++c) {
            const double d = decoded[size_t(f + offset) * channels + c] - (c ? -v : v);
            sum += d * d;
        }
    }
    return std::sqrt(sum / (double(frames) * channels));
}

// One MPEG audio layer III frame header's fields.
struct TFrame {
    int64_t offset = 0;
    uint32_t length = 0;
};

// Walks the file's frames from the start (the writer adds no ID3 tags).
std::vector<TFrame> Frames(const QByteArray& data) {
    static const int kMpeg1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kMpeg2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int kRates[] = {44100, 48000, 32000};
    std::vector<TFrame> frames;
    const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
    int64_t at = 0;
    while (at + 4 <= data.size()) {
        if (p[at] != 0xFF || (p[at + 1] & 0xE0) != 0xE0) break;
        const int version = (p[at + 1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
        const int bitrateIndex = p[at + 2] >> 4;
        const int rateIndex = (p[at + 2] >> 2) & 3;
        if (version == 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) break;
        const int padding = (p[at + 2] >> 1) & 1;
        const int kbps = version == 3 ? kMpeg1[bitrateIndex] : kMpeg2[bitrateIndex];
        const int rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
        const uint32_t length = uint32_t((version == 3 ? 144 : 72) * kbps * 1000 / rate + padding);
        frames.push_back({at, length});
        at += length;
    }
    return frames;
}

// The tag frame's frame count, or -1 when the first frame holds no "Xing"/"Info" tag.
int64_t TagFrameCount(const QByteArray& data, const TFrame& first) {
    const QByteArray frame = data.mid(first.offset, first.length);
    qsizetype at = frame.indexOf("Xing");
    if (at < 0) at = frame.indexOf("Info");
    if (at < 0 || at + 12 > frame.size()) return -1;
    const auto* p = reinterpret_cast<const uint8_t*>(frame.constData() + at);
    if ((p[7] & 1) == 0) return -1;
    return int64_t(p[8]) << 24 | p[9] << 16 | p[10] << 8 | p[11];
}

class Mp3SaveTest : public ::testing::Test {
protected:
    // Saves a fresh store of frames frames as MP3 at target with choices.
    void Save(const QString& target, uint16_t channels, uint32_t rate, uint32_t frames,
              const TMp3Choices& choices = {}, uint32_t first = 0, int64_t end = -1) {
        MakeStore(folder_.path("store.wav"), channels, rate, frames);
        TLargeFile store(folder_.path("store.wav"));
        Save(store, target, channels, MakeMp3Config(rate, channels, choices), first,
             end < 0 ? frames : uint32_t(end));
    }
    void Save(TLargeFile& store, const QString& target, uint16_t channels, const BE_CONFIG& config,
              uint32_t first, uint32_t end) {
        SaveMp3(store, first, end, channels, config, target, progress_);
    }
    // Names in the folder other than the store.
    QStringList Others(const QString& folder) const {
        QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        names.removeAll("store.wav");
        return names;
    }

    TTempFolder folder_;
    std::atomic<int32_t> progress_{0};
};

struct TLengthRow {
    const char* label;
    uint16_t channels;
    uint32_t rate;
    uint32_t frames;
    int mode;
};

class Mp3LengthTest : public Mp3SaveTest, public ::testing::WithParamInterface<TLengthRow> {};

// LAME adds its delay and pads the last frame; the Info frame that every mode carries tells the
// decoder exactly what to drop.
TEST_P(Mp3LengthTest, DecodesToTheSavedLength) {
    const TLengthRow& row = GetParam();
    const QString target = folder_.path("out.mp3");
    Save(target, row.channels, row.rate, row.frames, TMp3Choices{row.mode, 5, 0, 5, 4, false});
    const auto samples = Decoded(target);
    ASSERT_TRUE(samples) << "ffmpeg could not decode the file";
    const int64_t decoded = int64_t(samples->size()) / row.channels;
    const int64_t offset = 0;
    EXPECT_EQ(decoded, int64_t(row.frames));
    // The sound itself came through: each channel in place, nothing shifted or garbled.
    if (decoded >= int64_t(row.frames) + offset) {
        // The sine's RMS is 8485; the lame tool's own files land near 450 here at 128 kbit/s.
        EXPECT_LT(SineError(*samples, row.channels, row.rate, row.frames, offset), 1000.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Mp3LengthTest,
                         ::testing::Values(TLengthRow{"StereoCbr", 2, 44100, 66150, mmCbr},
                                           TLengthRow{"MonoMpeg2Cbr", 1, 22050, 30000, mmCbr},
                                           TLengthRow{"StereoVbr", 2, 48000, 50000, mmVbr},
                                           TLengthRow{"MonoVbrLowRate", 1, 11025, 12345, mmVbr},
                                           TLengthRow{"StereoAbr", 2, 32000, 40000, mmAbr}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Mp3SaveTest, VariableBitrateFileCarriesAValidTagFrame) {
    for (uint16_t channels : {1, 2}) {
        const QString target = folder_.path("vbr.mp3");
        Save(target, channels, 44100, 100000, TMp3Choices{mmVbr, 13, 0, 0, 8, false});
        const QByteArray data = ReadAll(target);
        const std::vector<TFrame> frames = Frames(data);
        ASSERT_GT(frames.size(), 2u);
        EXPECT_EQ(frames.back().offset + frames.back().length, data.size()) << "trailing bytes";
        // The count covers the audio frames, not the tag frame itself.
        EXPECT_EQ(TagFrameCount(data, frames[0]), int64_t(frames.size()) - 1) << channels;
    }
}

// The flush still makes one silent frame; FFmpeg's probe does not take a one-frame file for MP3,
// so the frames are counted here instead of decoded.
TEST_F(Mp3SaveTest, EmptyStretchMakesWholeFrames) {
    const QString target = folder_.path("empty.mp3");
    Save(target, 2, 44100, 0);
    const QByteArray data = ReadAll(target);
    const std::vector<TFrame> frames = Frames(data);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().offset + frames.back().length, data.size());
}

TEST_F(Mp3SaveTest, ConstantBitrateFileCarriesAnInfoFrame) {
    const QString target = folder_.path("cbr.mp3");
    Save(target, 2, 44100, 30000);
    const QByteArray data = ReadAll(target);
    const std::vector<TFrame> frames = Frames(data);
    ASSERT_GT(frames.size(), 2u);
    EXPECT_EQ(frames.back().offset + frames.back().length, data.size());
    EXPECT_TRUE(data.mid(frames[0].offset, frames[0].length).contains("Info"));
    EXPECT_EQ(TagFrameCount(data, frames[0]), int64_t(frames.size()) - 1);
    EXPECT_EQ(frames[1].length, 1044u);  // 320 kbit/s at 44.1 kHz, unpadded
}

TEST_F(Mp3SaveTest, SavesOnlyTheRangeAndReplacesAnExistingFile) {
    const QString target = folder_.path("range.mp3");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500000, 'x'));
        old.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    Save(target, 2, 44100, 200000, TMp3Choices{mmVbr, 0, 0, 0, 8, false}, 100000, 144100);
    const int64_t decoded = DecodedFrames(target, 2);
    EXPECT_EQ(decoded, 44100);
    const QByteArray data = ReadAll(target);
    EXPECT_NE(data.size(), 500000);
    EXPECT_FALSE(Frames(data).empty());
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Others(folder_.path()), QStringList{"range.mp3"});
}

TEST_F(Mp3SaveTest, RefusesBadRangesAndChannelMismatchBeforeCreatingAnything) {
    MakeStore(folder_.path("store.wav"), 2, 44100, 1000);
    TLargeFile store(folder_.path("store.wav"));
    const BE_CONFIG stereo = MakeMp3Config(44100, 2, {});
    const QString target = folder_.path("bad.mp3");
    EXPECT_THROW(Save(store, target, 2, stereo, 0, 1001), EAppError);
    EXPECT_THROW(Save(store, target, 2, stereo, 600, 500), EAppError);
    EXPECT_THROW(Save(store, target, 1, stereo, 0, 1000), EAppError);
    EXPECT_TRUE(Others(folder_.path()).isEmpty());
}

// --- failures ---------------------------------------------------------------------------------

TEST_F(Mp3SaveTest, RefusedConfigurationFailsTheWriterAndTheSave) {
    BE_CONFIG bad = MakeMp3Config(44100, 2, {});
    bad.nVbrMethod = 9;
    bad.bEnableVBR = -1;
    const QString path = folder_.path("refused.mp3");
    {
        uint32_t chunk = 77;
        MP3writer writer(path, bad, chunk);
        EXPECT_TRUE(writer.Failed());
        EXPECT_EQ(chunk, 0u);
        EXPECT_EQ(writer.ErrorMessage(), Msg("streamerror") + "-1");
        const int16_t samples[4] = {};
        EXPECT_EQ(writer.Encode(samples, sizeof samples), -1);
        EXPECT_FALSE(writer.Finish());
        EXPECT_EQ(QFileInfo(path).size(), 0);
    }
    QFile::remove(path);

    const QString target = folder_.path("keep.mp3");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    MakeStore(folder_.path("store.wav"), 2, 44100, 5000);
    TLargeFile store(folder_.path("store.wav"));
    try {
        Save(store, target, 2, bad, 0, 5000);
        FAIL() << "no error";
    } catch (const EAppError& e) {
        EXPECT_EQ(std::string(e.what()), "Error opening encoding stream-1");
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(Others(folder_.path()), QStringList{"keep.mp3"});
}

TEST_F(Mp3SaveTest, FullDiskKeepsTheOldFileAndLeavesNoPartialFile) {
    TSmallDisk disk("96k");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    const QString target = disk.path("song.mp3");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    MakeStore(folder_.path("store.wav"), 2, 44100, 441000);
    TLargeFile store(folder_.path("store.wav"));
    try {
        Save(store, target, 2, MakeMp3Config(44100, 2, {}), 0, 441000);
        FAIL() << "no error";
    } catch (const EAppError& e) {
        EXPECT_EQ(std::string(e.what()), Msg("writeerror") + "0");
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"song.mp3"});
}

TEST_F(Mp3SaveTest, FullDiskDuringEncodeFailsTheWriterForGood) {
    TSmallDisk disk("64k");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    uint32_t chunk = 0;
    MP3writer writer(disk.path("w.mp3"), MakeMp3Config(44100, 2, {}), chunk);
    ASSERT_EQ(chunk, 2304u);
    std::vector<int16_t> noise(chunk);
    uint32_t seed = 1;
    for (int16_t& s : noise) s = int16_t((seed = seed * 1103515245 + 12345) >> 16);
    int32_t result = 0;
    int calls = 0;
    while (result >= 0 && calls < 100000) {
        result = writer.Encode(noise.data(), chunk * 2);
        ++calls;
    }
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(writer.Failed());
    EXPECT_EQ(writer.ErrorMessage(), "Data write error!0");
    EXPECT_EQ(writer.Encoder(), nullptr);
    EXPECT_EQ(writer.Encode(noise.data(), chunk * 2), -1);
    EXPECT_FALSE(writer.Finish());
}

TEST_F(Mp3SaveTest, MissingFolderRaisesASystemError) {
    MakeStore(folder_.path("store.wav"), 1, 44100, 1000);
    TLargeFile store(folder_.path("store.wav"));
    EXPECT_THROW(
        Save(store, folder_.path("nowhere/x.mp3"), 1, MakeMp3Config(44100, 1, {}), 0, 1000),
        EOSError);
    uint32_t chunk = 5;
    EXPECT_THROW(MP3writer(folder_.path("nowhere/y.mp3"), MakeMp3Config(44100, 1, {}), chunk),
                 EOSError);
}

// --- the feeding loop -----------------------------------------------------------------------

struct TFeedRow {
    const char* label;
    int64_t total;
    uint32_t chunk;
    std::vector<uint32_t> bytes;    // byte count of each encode call
    std::vector<int32_t> progress;  // progress seen at each call
    bool ok = true;
};

class Mp3FeedTest : public ::testing::TestWithParam<TFeedRow> {
protected:
    TTempFolder folder_;
};

// The store holds the ramp 0, 1, 2, ... so every call's first sample tells where it read.
TEST_P(Mp3FeedTest, SendsFullChunksThenTheRest) {
    const TFeedRow& row = GetParam();
    const int64_t first = 10;
    const uint32_t samples = uint32_t(first + row.total + 5);
    {
        TLargeFile store(folder_.path("ramp.wav"), uint64_t(samples) * 2 + kWavHeaderBytes);
        store.WriteHeader(TWavHeader::Pcm16(1, 8000, samples * 2));
        for (uint32_t i = 0; i < samples; ++i) store.WriteSample(i, int32_t(i));
    }
    TLargeFile store(folder_.path("ramp.wav"));
    std::atomic<int32_t> progress{-7};
    std::vector<uint32_t> bytes;
    std::vector<int32_t> seen;
    int64_t expectFirst = first;
    const bool ok = FeedMp3Encoder(
        store, first, row.total, row.chunk,
        [&](const int16_t* s, uint32_t n) {
            bytes.push_back(n);
            seen.push_back(progress);
            if (n > 0) {
                EXPECT_EQ(s[0], int16_t(expectFirst));
                EXPECT_EQ(s[n / 2 - 1], int16_t(expectFirst + n / 2 - 1));
            }
            expectFirst += n / 2;
            return true;
        },
        progress);
    EXPECT_EQ(ok, row.ok);
    EXPECT_EQ(bytes, row.bytes);
    EXPECT_EQ(seen, row.progress);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Mp3FeedTest,
    ::testing::Values(
        TFeedRow{"ThreeChunks", 3 * 2304, 2304, {4608, 4608, 4608, 0}, {0, 33, 66, 66}},
        TFeedRow{"ThreeAndAHalf", 3 * 1152 + 576, 1152, {2304, 2304, 2304, 1152}, {0, 33, 66, 66}},
        TFeedRow{"ShorterThanAChunk", 1000, 2304, {2000}, {-7}},
        TFeedRow{"Empty", 0, 576, {0}, {-7}}, TFeedRow{"NoChunkSize", 5000, 0, {}, {}, false},
        TFeedRow{"NothingToSend", 0, 0, {}, {}, true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Mp3Feed, StopsAtTheFirstFailedCall) {
    TTempFolder folder;
    MakeStore(folder.path("s.wav"), 2, 44100, 10000);
    TLargeFile store(folder.path("s.wav"));
    std::atomic<int32_t> progress{0};
    int calls = 0;
    EXPECT_FALSE(FeedMp3Encoder(
        store, 0, 20000, 2304, [&](const int16_t*, uint32_t) { return ++calls < 2; }, progress));
    EXPECT_EQ(calls, 2);
}

}  // namespace
