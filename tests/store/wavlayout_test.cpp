#include <gtest/gtest.h>
#include <QByteArray>
#include <cstring>

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
