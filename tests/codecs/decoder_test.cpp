// TDecoder: every source comes out as our 16-bit WAV layout with its own rate and channels,
// lossless sources bit for bit, and failures surface as errors instead of short files.
#include <gtest/gtest.h>
#include <string>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "apperror.h"
#include "decoder.h"
#include "messages.h"
#include "testutil.h"
#include "wavlayout.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace {

// A WAV file of any sample layout, written byte by byte so the test controls every field.
QByteArray MakeWav(uint16_t formatTag, uint16_t bits, uint16_t channels, uint32_t rate,
                   const QByteArray& data, uint32_t dataSizeField = 0xFFFFFFFF) {
    QByteArray h(44, 0);
    auto* b = reinterpret_cast<uint8_t*>(h.data());
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    const uint32_t dataSize = dataSizeField == 0xFFFFFFFF ? uint32_t(data.size()) : dataSizeField;
    std::memcpy(b, "RIFF", 4);
    PutLE32(b + 4, dataSize + 36);
    std::memcpy(b + 8, "WAVEfmt ", 8);
    PutLE32(b + 16, 16);
    PutLE16(b + 20, formatTag);
    PutLE16(b + 22, channels);
    PutLE32(b + 24, rate);
    PutLE32(b + 28, rate * align);
    PutLE16(b + 32, align);
    PutLE16(b + 34, bits);
    std::memcpy(b + 36, "data", 4);
    PutLE32(b + 40, dataSize);
    return h + data;
}

QByteArray S16Bytes(const std::vector<int16_t>& s) {
    return QByteArray(reinterpret_cast<const char*>(s.data()), qsizetype(s.size() * 2));
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Deterministic full-range samples, including both extremes and odd values.
std::vector<int16_t> NoiseSamples(size_t count, uint32_t seed) {
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        s[i] = static_cast<int16_t>(seed >> 16);
    }
    if (count >= 2) {
        s[0] = -32768;
        s[1] = 32767;
    }
    return s;
}

std::vector<int16_t> Sine(size_t frames, int channels, uint32_t rate, double amplitude) {
    std::vector<int16_t> s(frames * channels);
    for (size_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            s[f * channels + c] = static_cast<int16_t>(
                std::lround(amplitude * 32767 * std::sin(2 * M_PI * 440.0 * double(f) / rate)));
    return s;
}

struct TDecoded {
    bool supported = false;
    bool result = false;
    int32_t progress = -1;
    QByteArray file;
    TWavHeader header;
    std::vector<int16_t> samples;
    Tindexdata peaks;
    TLevels levels;
    QString warning;
};

TDecoded DecodeFile(const QString& source, const QString& dest) {
    TDecoded d;
    TDecoder decoder(source, dest);
    d.supported = decoder.Supported();
    std::atomic<int32_t> progress{-1};
    d.result = decoder.Decode(progress);
    d.progress = progress;
    d.warning = decoder.LengthWarning();
    d.file = ReadAll(dest);
    if (d.file.size() >= 44) {
        d.header = TWavHeader::Parse(reinterpret_cast<const uint8_t*>(d.file.constData()));
        d.samples.resize(size_t(d.file.size() - 44) / 2);
        if (!d.samples.empty())
            std::memcpy(d.samples.data(), d.file.constData() + 44, d.samples.size() * 2);
    }
    if (decoder.Filter() != nullptr) {
        decoder.Filter()->ExportPeaks(d.peaks);
        decoder.Filter()->ExportLevels(d.levels.channelPeak, d.levels.peak, d.levels.level);
    }
    return d;
}

// Runs one of the command-line tools the tests make their sources with.
bool HaveTool(const QString& tool) {
    return !QStandardPaths::findExecutable(tool).isEmpty();
}
bool RunTool(const QString& tool, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(tool, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
bool Ffmpeg(const QStringList& args) {
    return RunTool("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args);
}

void ExpectValidLayout(const TDecoded& d) {
    ASSERT_GE(d.file.size(), 44);
    EXPECT_EQ(d.file.left(4), "RIFF");
    EXPECT_EQ(d.file.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(d.file.mid(36, 4), "data");
    EXPECT_EQ(d.header.formatTag, 1);
    EXPECT_EQ(d.header.bitsPerSample, 16);
    EXPECT_EQ(d.header.blockAlign, d.header.channels * 2);
    EXPECT_EQ(d.header.byteRate, d.header.sampleRate * d.header.blockAlign);
    EXPECT_EQ(d.header.riffSize, uint32_t(d.file.size() - 8));
    EXPECT_EQ(d.header.dataSize, uint32_t(d.file.size() - 44));
    EXPECT_EQ(d.header.dataSize % d.header.blockAlign, 0u);
    EXPECT_EQ(d.progress, 0);
}

class DecoderTest : public ::testing::Test {
protected:
    TTempFolder temp_;
    QString src(const QString& name) const { return temp_.path(name); }
    QString dst() const { return temp_.path("out.wav"); }
};

// ---- Header and bit-exact 16-bit sources ----

struct TShape {
    uint16_t channels;
    uint32_t rate;
    uint32_t frames;
};

class DecoderShapeTest : public DecoderTest, public ::testing::WithParamInterface<TShape> {};

TEST_P(DecoderShapeTest, SixteenBitWavComesThroughBitForBit) {
    const TShape s = GetParam();
    const std::vector<int16_t> in = NoiseSamples(size_t(s.frames) * s.channels, s.frames + s.rate);
    WriteFile(src("in.wav"), MakeWav(1, 16, s.channels, s.rate, S16Bytes(in)));
    TDecoder probe(src("in.wav"), dst());
    ASSERT_TRUE(probe.Supported());
    EXPECT_EQ(probe.Channels(), s.channels);
    EXPECT_EQ(probe.SampleRate(), s.rate);
    EXPECT_EQ(probe.BlockAlign(), s.channels * 2);
    EXPECT_EQ(probe.BytesPerSecond(), s.rate * s.channels * 2);
    EXPECT_EQ(probe.BitsPerSample(), 16);

    const TDecoded d = DecodeFile(src("in.wav"), dst());
    ASSERT_TRUE(d.result);
    ExpectValidLayout(d);
    EXPECT_EQ(d.header.channels, s.channels);
    EXPECT_EQ(d.header.sampleRate, s.rate);
    EXPECT_TRUE(d.samples == in) << "16-bit samples changed on the way";
}

// 8000 Hz mono and 44100 Hz stereo headers; 300,001 stereo frames cross the 1 MiB buffer and
// the packet size several times and end on a partial packet.
INSTANTIATE_TEST_SUITE_P(Shapes, DecoderShapeTest,
                         ::testing::Values(TShape{1, 8000, 1000}, TShape{1, 22050, 511},
                                           TShape{2, 44100, 1000}, TShape{2, 48000, 513},
                                           TShape{1, 96000, 700001}, TShape{2, 44100, 300001},
                                           TShape{2, 7, 3}),
                         [](const auto& info) {
                             const TShape& s = info.param;
                             return (s.channels == 1 ? std::string("Mono")
                                                     : std::string("Stereo")) +
                                    "At" + std::to_string(s.rate) + "Hz" +
                                    std::to_string(s.frames) + "Frames";
                         });

TEST_F(DecoderTest, EmptyWavGivesBareHeader) {
    WriteFile(src("empty.wav"), MakeWav(1, 16, 2, 44100, {}));
    const TDecoded d = DecodeFile(src("empty.wav"), dst());
    ASSERT_TRUE(d.supported);
    ASSERT_TRUE(d.result);
    ExpectValidLayout(d);
    EXPECT_EQ(d.file.size(), 44);
    EXPECT_EQ(d.header.riffSize, 36u);
    EXPECT_EQ(d.header.dataSize, 0u);
    // One block of (0, 0) plus the spare block.
    EXPECT_EQ(d.peaks, Tindexdata(4));
    EXPECT_EQ(d.levels.level, kSilenceLevel);
}

TEST_F(DecoderTest, TruncatedWavKeepsWholeFrames) {
    // A header promising more than is there, and a last frame cut in half.
    const std::vector<int16_t> in = NoiseSamples(2 * 1000, 7);
    QByteArray bytes = MakeWav(1, 16, 2, 44100, S16Bytes(in), 100000);
    bytes.chop(3);
    WriteFile(src("cut.wav"), bytes);
    const TDecoded d = DecodeFile(src("cut.wav"), dst());
    ASSERT_TRUE(d.result);
    ExpectValidLayout(d);
    ASSERT_EQ(d.samples.size(), in.size() - 2);
    EXPECT_TRUE(std::equal(d.samples.begin(), d.samples.end(), in.begin()));
    EXPECT_TRUE(d.warning.contains("0:00.566")) << d.warning.toStdString();
}

TEST_F(DecoderTest, PathWithColonAndNonAsciiLetters) {
    const std::vector<int16_t> in = NoiseSamples(200, 3);
    const QString odd = src(QString::fromUtf8("a:b \xc3\xa9t\xc3\xa9.wav"));
    WriteFile(odd, MakeWav(1, 16, 1, 8000, S16Bytes(in)));
    const TDecoded d = DecodeFile(odd, src(QString::fromUtf8("x:\xc3\xa9.wav")));
    ASSERT_TRUE(d.result);
    EXPECT_TRUE(d.samples == in);
}

// ---- Other sample widths and the conversion of float values ----

struct TWidthCase {
    const char* name;
    uint16_t formatTag;  // 1 integer PCM, 3 IEEE float
    uint16_t bits;
    QByteArray (*data)();
    std::vector<int16_t> expected;
};

template <typename T>
QByteArray Raw(std::initializer_list<T> values) {
    QByteArray b;
    for (T v : values) b.append(reinterpret_cast<const char*>(&v), sizeof v);
    return b;
}
QByteArray S24(std::initializer_list<int32_t> values) {
    QByteArray b;
    for (int32_t v : values)
        for (int i = 0; i < 3; ++i) b.append(char(v >> (8 * i)));
    return b;
}
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class DecoderWidthTest : public DecoderTest, public ::testing::WithParamInterface<TWidthCase> {};

TEST_P(DecoderWidthTest, ConvertsToSixteenBitsRoundingToNearestEven) {
    const TWidthCase& c = GetParam();
    WriteFile(src("in.wav"), MakeWav(c.formatTag, c.bits, 1, 44100, c.data()));
    const TDecoded d = DecodeFile(src("in.wav"), dst());
    ASSERT_TRUE(d.supported);
    ASSERT_TRUE(d.result);
    ExpectValidLayout(d);
    EXPECT_EQ(d.samples, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, DecoderWidthTest,
    ::testing::Values(TWidthCase{"u8",
                                 1,
                                 8,
                                 [] {
                                     return Raw<uint8_t>({0, 1, 127, 128, 129, 255});
                                 },
                                 {-32768, -32512, -256, 0, 256, 32512}},
                      // In steps of 1/256 of a 16-bit step: halves go to the even neighbour.
                      TWidthCase{"s24",
                                 1,
                                 24,
                                 [] {
                                     return S24({0x80, 0x180, 0x280, -0x80, -0x180, 0x7FFFFF,
                                                 -0x800000, 0x12345, 0x7FFF7F});
                                 },
                                 {0, 2, 2, 0, -2, 32767, -32768, 0x123, 32767}},
                      TWidthCase{"s32",
                                 1,
                                 32,
                                 [] {
                                     return Raw<int32_t>({0x8000, 0x18000, -0x18000, 0x7FFFFFFF,
                                                          std::numeric_limits<int32_t>::min(),
                                                          0x7FFF0000, 0x00017FFF});
                                 },
                                 {0, 2, -2, 32767, -32768, 32767, 1}},
                      TWidthCase{"f32",
                                 3,
                                 32,
                                 [] {
                                     return Raw<float>({kNan,
                                                        3 / 32768.f,
                                                        -3 / 32768.f,
                                                        1 / 32768.f,
                                                        -1 / 32768.f,
                                                        2 / 32768.f,
                                                        0.5f / 32768,
                                                        1.5f / 32768,
                                                        2.5f / 32768,
                                                        -2.5f / 32768,
                                                        32767 / 32768.f,
                                                        32767.5f / 32768,
                                                        1.0f,
                                                        2.0f,
                                                        -1.0f,
                                                        -1.5f,
                                                        kInf,
                                                        -kInf,
                                                        kNan,
                                                        0.25f});
                                 },
                                 {-32768, 3,      -3,    1,      -1,     2,     0,
                                  2,      2,      -2,    32767,  32767,  32767, 32767,
                                  -32768, -32768, 32767, -32768, -32768, 8192}},
                      TWidthCase{"f64",
                                 3,
                                 64,
                                 [] {
                                     return Raw<double>({3 / 32768.0, -1 / 32768.0, 2.5 / 32768,
                                                         1.0, -1.0, -7.0, 0.125});
                                 },
                                 {3, -1, 2, 32767, -32768, -32768, 4096}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecoderConversion, FloatValuesRoundToNearestEvenAndSaturate) {
    const struct {
        float in;
        int16_t out;
    } rows[] = {
        {0.0f, 0},
        {-0.0f, 0},
        {3 / 32768.f, 3},
        {-3 / 32768.f, -3},
        {0.5f / 32768, 0},
        {-0.5f / 32768, 0},
        {1.5f / 32768, 2},
        {-1.5f / 32768, -2},
        {0.49f / 32768, 0},
        {0.51f / 32768, 1},
        {32766.5f / 32768, 32766},
        {32767 / 32768.f, 32767},
        {1.0f, 32767},
        {1e30f, 32767},
        {kInf, 32767},
        {-1.0f, -32768},
        {-1e30f, -32768},
        {-kInf, -32768},
        {kNan, -32768},
        {-32767.5f / 32768, -32768},
    };
    for (const auto& r : rows) EXPECT_EQ(TDecoder::FloatToS16(r.in), r.out) << r.in * 32768;
    // Every 16-bit value survives the trip through float.
    for (int v = -32768; v <= 32767; ++v) ASSERT_EQ(TDecoder::FloatToS16(float(v) / 32768), v);
}

// Decoded frames of every sample format, planar and interleaved, with the channel mappings a
// mid-stream switch between mono and stereo gives. 37 frames: vector steps plus a tail.
struct TFrameCase {
    AVSampleFormat format;
    int inChannels;
    uint16_t outChannels;
};

// The value of sample i of channel c in the test frames, as the format's own type.
double TestValue(int c, int i) {
    static const double values[] = {0.0,   1.0,   -1.0,         1.5,        -2.0,   0.25,
                                    -0.75, 1e-5,  3.0 / 32768,  -0.9999,    0.5001, 0.123456,
                                    1e30,  -1e30, -0.5 / 32768, 2.5 / 32768};
    return values[(i * 7 + c * 5) % std::size(values)] * (c == 0 ? 1.0 : -0.5);
}

// An independent reference: what 16-bit value each format's sample should give.
int16_t Expected(AVSampleFormat planarOrNot, double v, int64_t* stored) {
    const AVSampleFormat f = av_get_packed_sample_fmt(planarOrNot);
    auto clampRound = [](double x) {
        return int16_t(std::nearbyint(std::clamp(x, -32768.0, 32767.0)));
    };
    switch (f) {
        case AV_SAMPLE_FMT_U8: {
            *stored = std::clamp<int64_t>(std::lround(v * 127), -128, 127) + 128;
            return int16_t((*stored - 128) * 256);
        }
        case AV_SAMPLE_FMT_S16:
            *stored = std::clamp<int64_t>(std::lround(v * 32767), -32768, 32767);
            return int16_t(*stored);
        case AV_SAMPLE_FMT_S32:
            *stored = std::clamp<int64_t>(std::llround(v * 2147483647.0), INT32_MIN, INT32_MAX);
            return clampRound(double(*stored) / 65536);
        case AV_SAMPLE_FMT_S64:
            *stored = int64_t(std::clamp(v, -1.0, 0.999) * 9.2e18);
            return clampRound(double(*stored) / 281474976710656.0);
        case AV_SAMPLE_FMT_FLT:
            return TDecoder::FloatToS16(float(v));
        default:
            return clampRound(v * 32768);
    }
}

class DecoderFrameTest : public ::testing::TestWithParam<TFrameCase> {};

TEST_P(DecoderFrameTest, EveryLayoutConvertsLikeTheScalarRule) {
    const TFrameCase p = GetParam();
    constexpr int kFrames = 37;
    AVFrame* frame = av_frame_alloc();
    ASSERT_NE(frame, nullptr);
    frame->format = p.format;
    frame->nb_samples = kFrames;
    av_channel_layout_default(&frame->ch_layout, p.inChannels);
    ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);
    const bool planar = av_sample_fmt_is_planar(p.format);
    const int bytes = av_get_bytes_per_sample(p.format);
    std::vector<int16_t> expected(size_t(kFrames) * p.outChannels);
    for (int c = 0; c < p.inChannels; ++c) {
        for (int i = 0; i < kFrames; ++i) {
            const double v = TestValue(c, i);
            int64_t stored = 0;
            const int16_t want = Expected(p.format, v, &stored);
            uint8_t* at = planar ? frame->extended_data[c] + size_t(i) * bytes
                                 : frame->extended_data[0] + size_t(i * p.inChannels + c) * bytes;
            switch (av_get_packed_sample_fmt(p.format)) {
                case AV_SAMPLE_FMT_U8:
                    *at = uint8_t(stored);
                    break;
                case AV_SAMPLE_FMT_S16:
                    *reinterpret_cast<int16_t*>(at) = int16_t(stored);
                    break;
                case AV_SAMPLE_FMT_S32:
                    *reinterpret_cast<int32_t*>(at) = int32_t(stored);
                    break;
                case AV_SAMPLE_FMT_S64:
                    *reinterpret_cast<int64_t*>(at) = stored;
                    break;
                case AV_SAMPLE_FMT_FLT:
                    *reinterpret_cast<float*>(at) = float(v);
                    break;
                default:
                    *reinterpret_cast<double*>(at) = v;
                    break;
            }
            for (int oc = 0; oc < p.outChannels; ++oc)
                if (std::min(oc, p.inChannels - 1) == c)
                    expected[size_t(i) * p.outChannels + oc] = want;
        }
    }
    std::vector<int16_t> out(expected.size(), 12345);
    EXPECT_TRUE(TDecoder::ConvertFrame(frame, p.outChannels, out.data()));
    EXPECT_EQ(out, expected);
    av_frame_free(&frame);
}

std::vector<TFrameCase> AllFrameCases() {
    std::vector<TFrameCase> cases;
    for (AVSampleFormat f : {AV_SAMPLE_FMT_U8, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S32,
                             AV_SAMPLE_FMT_S64, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_DBL}) {
        for (AVSampleFormat g : {f, av_get_planar_sample_fmt(f)})
            for (auto [in, out] : {std::pair{1, 1}, {2, 2}, {1, 2}, {2, 1}, {6, 2}})
                cases.push_back({g, in, uint16_t(out)});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Formats, DecoderFrameTest, ::testing::ValuesIn(AllFrameCases()),
                         [](const auto& info) {
                             return std::string(av_get_sample_fmt_name(info.param.format)) + "_" +
                                    std::to_string(info.param.inChannels) + "to" +
                                    std::to_string(info.param.outChannels);
                         });

TEST(DecoderFrame, UnknownSampleFormatRefused) {
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_SAMPLE_FMT_NONE;
    frame->nb_samples = 4;
    av_channel_layout_default(&frame->ch_layout, 1);
    int16_t out[4] = {7, 7, 7, 7};
    EXPECT_FALSE(TDecoder::ConvertFrame(frame, 1, out));
    EXPECT_EQ(out[0], 7);
    av_frame_free(&frame);
}

// ---- Refused sources ----

TEST_F(DecoderTest, MoreThanTwoChannelsRefused) {
    WriteFile(src("three.wav"), MakeWav(1, 16, 3, 44100, S16Bytes(NoiseSamples(3 * 100, 1))));
    TDecoder decoder(src("three.wav"), dst());
    EXPECT_FALSE(decoder.Supported());
    std::atomic<int32_t> progress{55};
    EXPECT_FALSE(decoder.Decode(progress));
    EXPECT_EQ(progress, 0);
    EXPECT_FALSE(QFile::exists(dst()));
}

TEST_F(DecoderTest, RandomBytesAndMissingFilesRefused) {
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
        const std::vector<int16_t> noise = NoiseSamples(32 * 1024 + seed * 97, seed * 7919);
        WriteFile(src("noise.bin"), S16Bytes(noise));
        TDecoder decoder(src("noise.bin"), dst());
        EXPECT_FALSE(decoder.Supported()) << "seed " << seed;
    }
    WriteFile(src("zero.bin"), {});
    EXPECT_FALSE(TDecoder(src("zero.bin"), dst()).Supported());
    EXPECT_FALSE(TDecoder(src("missing.wav"), dst()).Supported());
    EXPECT_FALSE(QFile::exists(dst()));
}

// Opening waits for nothing: a FIFO nobody writes to and a folder are refused at once.
TEST_F(DecoderTest, FifoAndFolderRefusedWithoutWaiting) {
    ASSERT_EQ(mkfifo(QFile::encodeName(src("pipe.wav")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(src("folder.wav")));
    for (const char* name : {"pipe.wav", "folder.wav"}) {
        TDecoder decoder(src(name), dst());
        EXPECT_FALSE(decoder.Supported()) << name;
    }
    EXPECT_FALSE(QFile::exists(dst()));
}

// ---- Failures while writing ----

TEST_F(DecoderTest, FullDiskIsAnErrorNotAShortFile) {
    TSmallDisk disk("64k");
    if (!disk.ok()) GTEST_SKIP() << "cannot mount a small tmpfs here";
    WriteFile(src("in.wav"), MakeWav(1, 16, 2, 44100, S16Bytes(NoiseSamples(2 * 44100, 9))));
    TDecoder decoder(src("in.wav"), disk.path("out.wav"));
    ASSERT_TRUE(decoder.Supported());
    std::atomic<int32_t> progress{0};
    try {
        decoder.Decode(progress);
        FAIL() << "a full disk went unnoticed";
    } catch (const EAppError& e) {
        EXPECT_EQ(std::string(e.what()), Msg("outofmemory"));
    }
}

TEST_F(DecoderTest, UncreatableDestinationRaisesTheSystemError) {
    WriteFile(src("in.wav"), MakeWav(1, 16, 1, 8000, S16Bytes(NoiseSamples(100, 2))));
    TDecoder decoder(src("in.wav"), src("no/such/folder/out.wav"));
    ASSERT_TRUE(decoder.Supported());
    std::atomic<int32_t> progress{0};
    try {
        decoder.Decode(progress);
        FAIL() << "no error";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.code(), ENOENT);
    }
}

TEST_F(DecoderTest, AShortSoundClaimingHoursDecodesToWhatItHolds) {
    if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    // A short FLAC file whose stream header claims 2^36 - 1 frames: some 2,400 hours, more than
    // a WAV file holds. Only what is decoded counts (as with a variable-bitrate MP3 that its
    // first frame makes look hours long).
    const std::vector<int16_t> samples = NoiseSamples(4000, 5);
    WriteFile(src("in.wav"), MakeWav(1, 16, 1, 8000, S16Bytes(samples)));
    ASSERT_TRUE(Ffmpeg({"-i", src("in.wav"), src("short.flac")}));
    QByteArray flac = ReadAll(src("short.flac"));
    ASSERT_EQ(flac.left(4), "fLaC");
    // The total frame count is the low 36 bits of the 8 bytes at offset 18.
    flac[21] = char(flac[21] | 0x0F);
    for (int i = 22; i < 26; ++i) flac[i] = char(0xFF);
    WriteFile(src("long.flac"), flac);

    TDecoder decoder(src("long.flac"), dst());
    ASSERT_TRUE(decoder.Supported());
    std::atomic<int32_t> progress{0};
    ASSERT_TRUE(decoder.Decode(progress));
    const QByteArray out = ReadAll(dst());
    ASSERT_EQ(out.size(), 44 + 8000);
    EXPECT_EQ(std::memcmp(out.constData() + 44, samples.data(), 8000), 0);
}

TEST(DecoderLimits, TooLongMessageSaysHowLongTheDiskHolds) {
    // The format sets no limit a disk comes near; what is free does.
    EXPECT_GT(TDecoder::MaxDataBytes(4), uint64_t(1) << 60);
    EXPECT_EQ(TDecoder::MaxDataBytes(4) % 4, 0u);
    const uint64_t fourGiB = 0xFFFFFFFFull - 44;
    EXPECT_NE(TDecoder::TooLongMessage(44100, 2, fourGiB)
                  .find("too long for the disk: at 44100 Hz stereo the free space of the "
                        "temporary folder holds at most 6:45 (hours:minutes)"),
              std::string::npos);
    EXPECT_NE(TDecoder::TooLongMessage(8000, 1, fourGiB).find("8000 Hz mono"), std::string::npos);
    EXPECT_NE(TDecoder::TooLongMessage(8000, 1, fourGiB).find("74:33"), std::string::npos);
    EXPECT_NE(TDecoder::TooLongMessage(8000, 1, 0).find("0:00"), std::string::npos);
}

// ---- Peak table ----

TEST_F(DecoderTest, EveryBlockReachesThePeakTable) {
    // Stereo, 1,000 frames: two blocks, the second covering frames 512..999.
    std::vector<int16_t> in(2 * 1000, 0);
    in[2 * 10] = 1000;        // block 0, left
    in[2 * 20 + 1] = -2000;   // block 0, right
    in[2 * 600] = -300;       // block 1, left
    in[2 * 999 + 1] = 16384;  // block 1, right, the last frame
    WriteFile(src("in.wav"), MakeWav(1, 16, 2, 44100, S16Bytes(in)));
    const TDecoded d = DecodeFile(src("in.wav"), dst());
    ASSERT_TRUE(d.result);
    const Tindexdata expected{{1000, 0}, {0, -2000}, {0, -300}, {16384, 0}, {0, 0}, {0, 0}};
    EXPECT_EQ(d.peaks, expected);
    EXPECT_EQ(d.levels.channelPeak[0], 1000);
    EXPECT_EQ(d.levels.channelPeak[1], 16384);
    EXPECT_EQ(d.levels.peak, 16384);
    EXPECT_EQ(d.levels.level, -6);
}

// ---- Sources made by the command-line tools ----

TEST_F(DecoderTest, LosslessContainersComeThroughBitForBit) {
    if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    const std::vector<int16_t> in = NoiseSamples(2 * 20000, 11);
    WriteFile(src("in.wav"), MakeWav(1, 16, 2, 32000, S16Bytes(in)));
    for (const QString name : {"out.flac", "out.aiff"}) {
        ASSERT_TRUE(Ffmpeg({"-i", src("in.wav"), src(name)})) << name.toStdString();
        const TDecoded d = DecodeFile(src(name), dst());
        ASSERT_TRUE(d.result) << name.toStdString();
        ExpectValidLayout(d);
        EXPECT_EQ(d.header.sampleRate, 32000u);
        EXPECT_TRUE(d.samples == in) << name.toStdString();
    }
}

struct TLossyCase {
    const char* name;
    const char* file;
    QStringList encodeArgs;  // ffmpeg arguments between input and output
    uint32_t expectedRate;
};

class DecoderLossyTest : public DecoderTest, public ::testing::WithParamInterface<TLossyCase> {};

// A 2-second, half-scale 440 Hz sine keeps its length, rate, channels and level.
TEST_P(DecoderLossyTest, DecodesAtTheSourcesRateAndLevel) {
    const TLossyCase& c = GetParam();
    if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    const uint32_t rate = 44100;
    WriteFile(src("in.wav"), MakeWav(1, 16, 2, rate, S16Bytes(Sine(2 * rate, 2, rate, 0.5))));
    if (!Ffmpeg(QStringList{"-i", src("in.wav")} + c.encodeArgs + QStringList{src(c.file)}))
        GTEST_SKIP() << "this ffmpeg cannot encode " << c.name;
    const TDecoded d = DecodeFile(src(c.file), dst());
    ASSERT_TRUE(d.supported);
    ASSERT_TRUE(d.result);
    ExpectValidLayout(d);
    EXPECT_EQ(d.header.channels, 2);
    EXPECT_EQ(d.header.sampleRate, c.expectedRate);
    const double seconds = double(d.samples.size()) / 2 / c.expectedRate;
    EXPECT_NEAR(seconds, 2.0, 0.1);
    // Priming and padding are no damage.
    EXPECT_TRUE(d.warning.isEmpty()) << d.warning.toStdString();
    EXPECT_NEAR(d.levels.peak, 16384, 1600);
    EXPECT_EQ(d.levels.level, -6);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, DecoderLossyTest,
    ::testing::Values(TLossyCase{"mp3", "a.mp3", {"-c:a", "libmp3lame", "-b:a", "192k"}, 44100},
                      TLossyCase{"wmav1", "a.wma", {"-c:a", "wmav1", "-b:a", "128k"}, 44100},
                      TLossyCase{"wmav2", "a.wma", {"-c:a", "wmav2", "-b:a", "128k"}, 44100},
                      TLossyCase{"vorbis", "a.ogg", {"-c:a", "libvorbis"}, 44100},
                      TLossyCase{"opus", "a.opus", {"-c:a", "libopus", "-b:a", "128k"}, 48000},
                      TLossyCase{"aac", "a.m4a", {"-c:a", "aac", "-b:a", "160k"}, 44100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecoderTest, MonoMp3FromLameStaysMono) {
    if (!HaveTool("lame")) GTEST_SKIP() << "lame not installed";
    WriteFile(src("in.wav"), MakeWav(1, 16, 1, 22050, S16Bytes(Sine(22050, 1, 22050, 0.25))));
    ASSERT_TRUE(RunTool("lame", {"--quiet", "-m", "m", "-b", "64", src("in.wav"), src("a.mp3")}));
    const TDecoded d = DecodeFile(src("a.mp3"), dst());
    ASSERT_TRUE(d.result);
    ExpectValidLayout(d);
    EXPECT_EQ(d.header.channels, 1);
    EXPECT_EQ(d.header.sampleRate, 22050u);
    EXPECT_NEAR(double(d.samples.size()) / 22050, 1.0, 0.1);
}

TEST_F(DecoderTest, TruncatedMp3LoadsWhatIsThere) {
    if (!HaveTool("lame")) GTEST_SKIP() << "lame not installed";
    const uint32_t rate = 44100;
    WriteFile(src("in.wav"), MakeWav(1, 16, 2, rate, S16Bytes(Sine(10 * rate, 2, rate, 0.5))));
    ASSERT_TRUE(RunTool("lame", {"--quiet", "-b", "128", src("in.wav"), src("a.mp3")}));
    QByteArray mp3 = ReadAll(src("a.mp3"));
    // Cut in the middle of a frame, and damage a stretch before the cut.
    mp3.truncate(mp3.size() / 2 + 77);
    for (qsizetype i = mp3.size() / 3; i < mp3.size() / 3 + 600; ++i) mp3[i] = char(i * 31);
    WriteFile(src("cut.mp3"), mp3);
    const TDecoded d = DecodeFile(src("cut.mp3"), dst());
    ASSERT_TRUE(d.supported);
    ASSERT_TRUE(d.result);
    ExpectValidLayout(d);
    const double seconds = double(d.samples.size()) / 2 / rate;
    EXPECT_GT(seconds, 4.5);
    EXPECT_LT(seconds, 5.5);
    // lame's tag frame declares the whole ten seconds and its last frame's padding.
    EXPECT_TRUE(d.warning.contains("0:10.0")) << d.warning.toStdString();
}

TEST(DecoderExtensions, ListsTheFormatsOpenedMostOften) {
    const QStringList ext = TDecoder::Extensions();
    for (const char* e : {"wav", "mp3", "wma", "flac", "ogg", "opus", "m4a", "aiff"})
        EXPECT_TRUE(ext.contains(e)) << e;
    for (const QString& e : ext) EXPECT_EQ(e, e.toLower());
}

}  // namespace
