#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstring>

#include "largefile.h"
#include "testutil.h"

#include "waveimage.h"
#include "wavlayout.h"

namespace {

TEST(WavHeader, WritesEveryFieldLittleEndian) {
    const TWavHeaderBytes b = TWavHeader::Pcm16(2, 44100, 176400).Bytes();
    const uint8_t expected[44] = {'R', 'I', 'F',  'F',  0x34, 0xB1, 0x02, 0x00, 'W',  'A',  'V',
                                  'E', 'f', 'm',  't',  ' ',  16,   0,    0,    0,    1,    0,
                                  2,   0,   0x44, 0xAC, 0,    0,    0x10, 0xB1, 0x02, 0x00, 4,
                                  0,   16,  0,    'd',  'a',  't',  'a',  0x10, 0xB1, 0x02, 0x00};
    EXPECT_EQ(0, memcmp(b.data(), expected, 44));
    EXPECT_EQ(TWavHeader::Parse(b.data()), TWavHeader::Pcm16(2, 44100, 176400));
}

TEST(WavHeader, DerivedFieldsForEachShape) {
    const TWavHeader mono = TWavHeader::Pcm16(1, 8000, 0);
    EXPECT_EQ(mono.byteRate, 16000u);
    EXPECT_EQ(mono.blockAlign, 2);
    EXPECT_EQ(mono.riffSize, 36u);
    EXPECT_EQ(mono.dataSize, 0u);
    const TWavHeader stereo = TWavHeader::Pcm16(2, 44100, 0);
    EXPECT_EQ(stereo.byteRate, 176400u);
    EXPECT_EQ(stereo.blockAlign, 4);
}

TEST(WavHeader, FormatComesFromTheRiffSize) {
    TWavHeader h = TWavHeader::Pcm16(2, 44100, 176400);
    h.dataSize = 0;   // ignored when interpreting
    h.riffSize += 3;  // a trailing partial frame is ignored
    const TWavFormat f = InterpretHeader(h);
    EXPECT_EQ(f.dataBytes, 176403u);
    EXPECT_EQ(f.frames, 44100u);
    EXPECT_DOUBLE_EQ(f.duration, 1.0);
    EXPECT_TRUE(f.pcm);
    h.formatTag = 3;
    EXPECT_FALSE(InterpretHeader(h).pcm);
}

TEST(WavHeader, LengthChangesMoveBothSizes) {
    TWavHeader h = TWavHeader::Pcm16(1, 22050, 1000);
    h.AddDataBytes(-400);
    EXPECT_EQ(h.dataSize, 600u);
    EXPECT_EQ(h.riffSize, 636u);
}

// The form follows the file's size: a 44-byte RIFF header up to a file of 0xFFFFFFFF bytes, the
// 80-byte RF64 one beyond, its sizes in the ds64 chunk and 0xFFFFFFFF in the 32-bit fields.
struct TFormCase {
    const char* name;
    uint16_t channels;
    uint64_t dataBytes;
    bool rf64;
};

class WavHeaderForm : public ::testing::TestWithParam<TFormCase> {};

TEST_P(WavHeaderForm, SizesAndBytesOfEachForm) {
    const TFormCase c = GetParam();
    const TWavHeader h = TWavHeader::Pcm16(c.channels, 44100, c.dataBytes);
    EXPECT_EQ(h.rf64, c.rf64);
    EXPECT_EQ(WavFileBytes(c.dataBytes), c.dataBytes + (c.rf64 ? 80u : 44u));
    EXPECT_EQ(h.riffSize, WavFileBytes(c.dataBytes) - 8);
    const TWavHeaderBytes b = h.Bytes();
    ASSERT_EQ(b.size(), c.rf64 ? 80u : 44u);
    EXPECT_EQ(TWavHeader::Parse(b.data()), h);
    const TWavFormat f = InterpretHeader(h);
    EXPECT_EQ(f.dataBytes, c.dataBytes);
    EXPECT_EQ(f.frames, int64_t(c.dataBytes / (2u * c.channels)));
    if (!c.rf64) return;
    const uint8_t* p = b.data();
    EXPECT_EQ(0, memcmp(p, "RF64\xFF\xFF\xFF\xFFWAVEds64\x1C\0\0\0", 20));
    EXPECT_EQ(GetLE64(p + 20), c.dataBytes + 72);            // RIFF size
    EXPECT_EQ(GetLE64(p + 28), c.dataBytes);                 // data size
    EXPECT_EQ(GetLE64(p + 36), c.dataBytes / (2u * c.channels));  // frames
    EXPECT_EQ(GetLE32(p + 44), 0u);                          // no table
    EXPECT_EQ(0, memcmp(p + 48, "fmt \x10\0\0\0\x01\0", 10));
    EXPECT_EQ(GetLE16(p + 58), c.channels);
    EXPECT_EQ(0, memcmp(p + 72, "data\xFF\xFF\xFF\xFF", 8));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, WavHeaderForm,
    ::testing::Values(TFormCase{"Empty", 2, 0, false},
                      TFormCase{"LargestRiffMono", 1, 0xFFFFFFFFull - 44 - 1, false},
                      TFormCase{"SmallestRf64Mono", 1, 0xFFFFFFFFull - 44 + 1, true},
                      TFormCase{"SevenHoursStereo", 2, 7ull * 3600 * 44100 * 4, true},
                      TFormCase{"Past2p32FramesMono", 1, (1ull << 33) + 2, true}),
    [](const auto& info) { return std::string(info.param.name); });

// What an outside reader makes of our RF64 layout: a sparse file of 2^32 + 1 stereo frames
// (16 GiB of holes), counted by ffprobe and read back through the store.
TEST(WavHeaderForm, FfprobeCountsTheFramesOfAnRf64File) {
    TTempFolder dir;
    const QString path = dir.path("long.wav");
    const int64_t frames = (int64_t(1) << 32) + 1;
    const uint64_t data = uint64_t(frames) * 4;
    const TWavHeaderBytes b = TWavHeader::Pcm16(2, 44100, data).Bytes();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, b.data(), b.size(), 0), ssize_t(b.size()));
    ASSERT_EQ(::ftruncate(fd, off_t(WavFileBytes(data))), 0);
    const int16_t last[2] = {1234, -4321};
    ASSERT_EQ(::pwrite(fd, last, 4, off_t(WavFileBytes(data) - 4)), 4);
    ::close(fd);

    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                        "stream=codec_name,channels,duration_ts", "-of", "json", path});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QJsonObject s = QJsonDocument::fromJson(p.readAllStandardOutput())
                              .object()["streams"].toArray().at(0).toObject();
    EXPECT_EQ(s["codec_name"].toString(), "pcm_s16le");
    EXPECT_EQ(s["channels"].toInt(), 2);
    EXPECT_EQ(s["duration_ts"].toInteger(), frames);

    TLargeFile r(path);
    EXPECT_EQ(r.DataOffset(), 80u);
    EXPECT_EQ(r.SampleCount(), 2 * frames);
    EXPECT_EQ(TWavHeader::Parse(r.ReadHeader().data()), TWavHeader::Pcm16(2, 44100, data));
    EXPECT_EQ(r.ReadSample(2 * frames - 2), 1234);
    EXPECT_EQ(r.ReadSample(2 * frames - 1), -4321);
    EXPECT_EQ(r.ReadSample(2 * frames - 3), 0);
}

// --- clipboard images from other programs ---

QByteArray Chunk(const char* id, const QByteArray& body, int declared = -1) {
    QByteArray c(id, 4);
    uint8_t size[4];
    PutLE32(size, declared < 0 ? uint32_t(body.size()) : uint32_t(declared));
    c.append(reinterpret_cast<char*>(size), 4);
    c.append(body);
    if (body.size() % 2) c.append('\0');
    return c;
}

QByteArray Fmt(uint16_t tag, uint16_t channels, uint16_t bits, int extra = 0) {
    QByteArray f(16 + extra, '\0');
    auto* p = reinterpret_cast<uint8_t*>(f.data());
    PutLE16(p, tag);
    PutLE16(p + 2, channels);
    PutLE32(p + 4, 48000);
    PutLE16(p + 14, bits);
    return f;
}

QByteArray Riff(const QByteArray& chunks) {
    QByteArray r("RIFF\0\0\0\0WAVE", 12);
    return r + chunks;
}

TEST(WaveImage, ReadsOurOwnLayout) {
    QByteArray img(44 + 8, '\0');
    TWavHeader::Pcm16(2, 44100, 8).WriteTo(reinterpret_cast<uint8_t*>(img.data()));
    const auto w = ParseWaveImage(reinterpret_cast<const uint8_t*>(img.constData()), img.size());
    ASSERT_TRUE(w);
    EXPECT_EQ(w->channels, 2);
    EXPECT_EQ(w->dataOffset, 44u);
    EXPECT_EQ(w->frames, 2u);
}

TEST(WaveImage, AcceptsLongFormatAndExtraChunks) {
    QByteArray fmt = Fmt(1, 1, 16, 2);
    const QByteArray img = Riff(Chunk("LIST", "abc") + Chunk("fmt ", fmt) + Chunk("fact", "1234") +
                                Chunk("data", QByteArray(10, 1)));
    const auto w = ParseWaveImage(reinterpret_cast<const uint8_t*>(img.constData()), img.size());
    ASSERT_TRUE(w);
    EXPECT_EQ(w->channels, 1);
    EXPECT_EQ(w->sampleRate, 48000u);
    EXPECT_EQ(w->frames, 5u);
    EXPECT_EQ(img.mid(int(w->dataOffset), 10), QByteArray(10, 1));
}

TEST(WaveImage, ALyingDataSizeIsCutToWhatIsThere) {
    const QByteArray img =
        Riff(Chunk("fmt ", Fmt(1, 2, 16)) + Chunk("data", QByteArray(12, 0), 1 << 30));
    const auto w = ParseWaveImage(reinterpret_cast<const uint8_t*>(img.constData()), img.size());
    ASSERT_TRUE(w);
    EXPECT_EQ(w->frames, 3u);
}

TEST(WaveImage, ReadsTheDataSizeOfAnRf64ImageFromItsDs64Chunk) {
    QByteArray img(80 + 8, '\0');
    TWavHeader h = TWavHeader::Pcm16(2, 44100, 0);
    h.rf64 = true;
    h.SetSizes(8);
    h.WriteTo(reinterpret_cast<uint8_t*>(img.data()));
    const auto w = ParseWaveImage(reinterpret_cast<const uint8_t*>(img.constData()), img.size());
    ASSERT_TRUE(w);
    EXPECT_EQ(w->dataOffset, 80u);
    EXPECT_EQ(w->frames, 2);
    // Without its ds64 chunk an RF64 image says nothing.
    img.replace(12, 4, "JUNK");
    EXPECT_FALSE(ParseWaveImage(reinterpret_cast<const uint8_t*>(img.constData()), img.size()));
}

TEST(WaveImage, RefusesWhatIsNotSixteenBitPcm) {
    const QByteArray cases[] = {
        Riff(Chunk("fmt ", Fmt(1, 2, 8)) + Chunk("data", QByteArray(8, 0))),
        Riff(Chunk("fmt ", Fmt(3, 2, 32)) + Chunk("data", QByteArray(8, 0))),
        Riff(Chunk("fmt ", Fmt(1, 6, 16)) + Chunk("data", QByteArray(24, 0))),
        Riff(Chunk("data", QByteArray(8, 0)) + Chunk("fmt ", Fmt(1, 2, 16))),
        Riff(Chunk("fmt ", Fmt(1, 2, 16))),
        Riff(Chunk("fmt ", QByteArray(10, 0))),
        QByteArray("RIFX\0\0\0\0WAVE", 12),
        QByteArray("RIFF"),
        QByteArray(),
    };
    for (const QByteArray& img : cases) {
        EXPECT_FALSE(ParseWaveImage(reinterpret_cast<const uint8_t*>(img.constData()), img.size()))
            << img.toHex().toStdString();
    }
}

}  // namespace
