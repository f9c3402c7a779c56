// FLAC, Ogg Vorbis and Opus saves, read back by the ffmpeg tools; the rate converter.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <optional>

#include "apperror.h"
#include "ffencode.h"
#include "largefile.h"
#include "resample.h"
#include "spectrum.h"
#include "testutil.h"

namespace {

// Noise-like 16-bit samples over the whole range, so that a lossless codec has no easy time.
std::vector<int16_t> Noise(size_t n, uint32_t seed) {
    std::vector<int16_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        v[i] = int16_t(x >> 16);
    }
    return v;
}

std::vector<int16_t> Sine(uint32_t frames, uint16_t channels, uint32_t rate, double hz) {
    std::vector<int16_t> v(size_t(frames) * channels);
    for (uint32_t f = 0; f < frames; ++f)
        for (uint16_t c = 0; c < channels; ++c)
            v[size_t(f) * channels + c] =
                int16_t(std::lround(12000 * std::sin(2 * std::numbers::pi * hz * f / rate)));
    return v;
}

void MakeStore(const QString& path, uint16_t channels, uint32_t rate,
               const std::vector<int16_t>& samples) {
    const uint32_t bytes = uint32_t(samples.size() * 2);
    TLargeFile store(path, uint64_t(bytes) + kWavHeaderBytes);
    store.WriteHeader(TWavHeader::Pcm16(channels, rate, bytes));
    if (!samples.empty()) store.WriteSamples(samples.data(), 0, int64_t(samples.size()) - 1);
}

// The interleaved samples the ffmpeg tool decodes (with its own trimming of encoder delay).
std::optional<std::vector<int16_t>> Decoded(const QString& file) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", file, "-f", "s16le", "-acodec", "pcm_s16le", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) return std::nullopt;
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    std::vector<int16_t> samples(size_t(bytes.size()) / 2);
    std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
    return samples;
}

// ffprobe's view of the first audio stream.
QJsonObject Probe(const QString& file) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                        "stream=codec_name,sample_rate,channels,duration_ts", "-of", "json", file});
    p.waitForFinished(60000);
    return QJsonDocument::fromJson(p.readAllStandardOutput())
        .object()["streams"]
        .toArray()
        .at(0)
        .toObject();
}

class Encode : public ::testing::Test {
protected:
    void Save(const QString& target, uint16_t channels, uint32_t rate,
              const std::vector<int16_t>& samples, const TEncodeSettings& s) {
        MakeStore(folder_.path("store.wav"), channels, rate, samples);
        TLargeFile store(folder_.path("store.wav"));
        SaveEncoded(store, 0, uint32_t(samples.size() / channels), channels, rate, s, target, {},
                    progress_);
    }
    TTempFolder folder_;
    std::atomic<int32_t> progress_{0};
};

struct TFlacCase {
    uint16_t channels;
    uint32_t rate;
    int level;
    uint32_t frames;
};

class FlacRoundTrip : public Encode, public ::testing::WithParamInterface<TFlacCase> {};

TEST_P(FlacRoundTrip, DecodesToTheSameSamples) {
    const TFlacCase c = GetParam();
    const std::vector<int16_t> samples = Noise(size_t(c.frames) * c.channels, c.rate);
    const QString target = folder_.path("out.flac");
    TEncodeSettings s;
    s.flacLevel = c.level;
    Save(target, c.channels, c.rate, samples, s);
    const auto decoded = Decoded(target);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(*decoded == samples) << decoded->size() << " samples for " << samples.size();
    const QJsonObject probe = Probe(target);
    EXPECT_EQ(probe["codec_name"].toString(), "flac");
    EXPECT_EQ(probe["sample_rate"].toString().toUInt(), c.rate);
    EXPECT_EQ(probe["channels"].toInt(), c.channels);
}

INSTANTIATE_TEST_SUITE_P(Sources, FlacRoundTrip,
                         ::testing::Values(TFlacCase{1, 8000, 0, 8000},
                                           TFlacCase{2, 44100, 5, 100003},
                                           TFlacCase{1, 22050, 8, 1},
                                           TFlacCase{2, 48000, 8, 4608 * 3},
                                           TFlacCase{2, 96000, 2, 96001}));

struct TLossyCase {
    const char* name;
    TEncodeFormat format;
    uint16_t channels;
    uint32_t rate;
    uint32_t frames;
};

void PrintTo(const TLossyCase& c, std::ostream* os) {
    *os << c.name;
}

class LossyLength : public Encode, public ::testing::WithParamInterface<TLossyCase> {};

// The frames sox counts in a file (it reads Ogg Vorbis through libvorbisfile, which trusts the
// last page's granule position); -1 when it cannot.
int64_t SoxFrames(const QString& file) {
    QProcess sox;
    sox.start("soxi", {"-s", file});
    if (!sox.waitForFinished(60000) || sox.exitCode() != 0) return -1;
    return sox.readAllStandardOutput().trimmed().toLongLong();
}

// The pre-skip an Opus file's header declares.
int64_t OpusPreSkip(const QString& file) {
    const QByteArray bytes = ReadAll(file);
    const qsizetype at = bytes.indexOf("OpusHead");
    if (at < 0 || at + 12 > bytes.size()) return -1;
    return uint8_t(bytes[at + 10]) | uint8_t(bytes[at + 11]) << 8;
}

// Vorbis keeps the rate; Opus is at 48 kHz, after its pre-skip, with the same length in time.
// ffprobe's stream length counts Opus's pre-skip. Vorbis's length is counted by sox as well:
// ffmpeg and libvorbisfile read a stream's end in different ways.
TEST_P(LossyLength, DecodesAtTheSavedLengthAndRate) {
    const TLossyCase c = GetParam();
    const bool opus = c.format == TEncodeFormat::kOpus;
    const QString target = folder_.path(opus ? "o.opus" : "o.ogg");
    Save(target, c.channels, c.rate, Sine(c.frames, c.channels, c.rate, 440),
         TEncodeSettings{c.format});
    const uint32_t rate = opus ? kOpusRate : c.rate;
    const int64_t length = ResampledLength(c.frames, c.rate, rate);
    const QJsonObject probe = Probe(target);
    EXPECT_EQ(probe["codec_name"].toString(), opus ? "opus" : "vorbis");
    EXPECT_EQ(probe["sample_rate"].toString().toUInt(), rate);
    EXPECT_EQ(probe["channels"].toInt(), c.channels);
    EXPECT_EQ(probe["duration_ts"].toInteger(), length + (opus ? OpusPreSkip(target) : 0));
    const auto decoded = Decoded(target);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(int64_t(decoded->size() / c.channels), length);
    if (!opus) {
        EXPECT_EQ(SoxFrames(target), length);
    }
    // Still the tone, not just the right number of samples.
    if (c.frames >= 8000) {
        EXPECT_NEAR(PeakHz(*decoded, c.channels, rate), 440, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LossyLength,
    ::testing::Values(TLossyCase{"VorbisStereo44k", TEncodeFormat::kVorbis, 2, 44100, 44100},
                      TLossyCase{"VorbisMono8k", TEncodeFormat::kVorbis, 1, 8000, 12345},
                      TLossyCase{"VorbisShort", TEncodeFormat::kVorbis, 2, 48000, 100},
                      TLossyCase{"VorbisFewBlocks", TEncodeFormat::kVorbis, 2, 44100, 4097},
                      TLossyCase{"VorbisHalfSecond", TEncodeFormat::kVorbis, 1, 44100, 22050},
                      TLossyCase{"VorbisOdd", TEncodeFormat::kVorbis, 2, 44100, 30011},
                      TLossyCase{"OpusStereo44k", TEncodeFormat::kOpus, 2, 44100, 44100},
                      TLossyCase{"OpusMono22k", TEncodeFormat::kOpus, 1, 22050, 33333},
                      TLossyCase{"OpusStereo48k", TEncodeFormat::kOpus, 2, 48000, 48000},
                      TLossyCase{"OpusShort", TEncodeFormat::kOpus, 1, 44100, 441}),
    [](const auto& info) { return std::string(info.param.name); });

// A save that fails for want of room leaves the old file as it was and nothing beside it.
TEST_F(Encode, AFailedSaveLeavesTheOldTarget) {
    TSmallDisk disk("64k");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    for (const char* name : {"old.flac", "old.ogg", "old.opus"}) {
        SCOPED_TRACE(name);
        const QString target = disk.path(name);
        {
            QFile old(target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        const auto format = EncodeFormatOf(QFileInfo(name).suffix());
        ASSERT_TRUE(format);
        EXPECT_THROW(Save(target, 2, 44100, Noise(2 * 441000, 3), TEncodeSettings{*format}),
                     EAppError);
        EXPECT_EQ(ReadAll(target), QByteArray("old"));
        EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        QFile::remove(target);
    }
}

// An empty FLAC file is a valid one; an empty Ogg stream is refused before anything is written.
TEST_F(Encode, AnEmptySoundIsSavedOnlyAsFlac) {
    for (const char* name : {"e.flac", "e.ogg", "e.opus"}) {
        SCOPED_TRACE(name);
        const QString target = folder_.path(name);
        const TEncodeFormat format = *EncodeFormatOf(QFileInfo(name).suffix());
        if (format == TEncodeFormat::kFlac) {
            Save(target, 2, 44100, {}, TEncodeSettings{format});
            EXPECT_EQ(Probe(target)["codec_name"].toString(), "flac");
        } else {
            EXPECT_THROW(Save(target, 2, 44100, {}, TEncodeSettings{format}), EAppError);
            EXPECT_FALSE(QFileInfo::exists(target));
        }
    }
}

struct TRateCase {
    uint32_t from, to;
    uint16_t channels;
    uint32_t frames;
};

class Resample : public ::testing::TestWithParam<TRateCase> {};

// A 1 kHz tone stays 1 kHz and the same length in time.
TEST_P(Resample, KeepsPitchAndLength) {
    const TRateCase c = GetParam();
    const std::vector<int16_t> in = Sine(c.frames, c.channels, c.from, 1000);
    const std::vector<int16_t> out = ResampleS16(in.data(), c.frames, c.channels, c.from, c.to);
    ASSERT_EQ(int64_t(out.size()), ResampledLength(c.frames, c.from, c.to) * c.channels);
    EXPECT_NEAR(double(out.size() / c.channels) / c.to, double(c.frames) / c.from, 1.0 / c.to);
    EXPECT_NEAR(PeakHz(out, c.channels, c.to), 1000, 1);
}

INSTANTIATE_TEST_SUITE_P(Rates, Resample,
                         ::testing::Values(TRateCase{22050, 44100, 1, 22050},
                                           TRateCase{44100, 48000, 2, 30000},
                                           TRateCase{48000, 8000, 2, 24000},
                                           TRateCase{8000, 96000, 1, 4001}));

}  // namespace
