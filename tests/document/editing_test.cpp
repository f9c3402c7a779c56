#include <gtest/gtest.h>
#include <cmath>

#include "doctest_util.h"

namespace {

std::vector<int16_t> Count(size_t n, int16_t from = 1) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = int16_t(from + int(i));
    return v;
}

class Editing : public ::testing::Test, public TDocFixture {
protected:
    std::vector<int16_t> ClipSamples() {
        const QByteArray img = *clipboard.GetWave();
        std::vector<int16_t> out(size_t(img.size() - 44) / 2);
        memcpy(out.data(), img.constData() + 44, out.size() * 2);
        return out;
    }
    static QByteArray Image(uint16_t channels, const std::vector<int16_t>& s,
                            uint32_t rate = 44100) {
        QByteArray img(44, '\0');
        TWavHeader::Pcm16(channels, rate, uint32_t(s.size() * 2))
            .WriteTo(reinterpret_cast<uint8_t*>(img.data()));
        img.append(reinterpret_cast<const char*>(s.data()), qsizetype(s.size() * 2));
        return img;
    }
};

TEST_F(Editing, CopyPutsTheRangeOnTheClipboardAndChangesNothing) {
    LoadSamples(2, Count(2 * 1000));
    doc.Copy(10, 20);
    Wait();
    const QByteArray img = *clipboard.GetWave();
    ASSERT_EQ(img.size(), 44 + 40);
    const TWavHeader h = TWavHeader::Parse(reinterpret_cast<const uint8_t*>(img.constData()));
    EXPECT_EQ(h.dataSize, 40u);
    EXPECT_EQ(h.riffSize, 76u);
    EXPECT_EQ(h.channels, 2);
    const std::vector<int16_t> all = Count(2 * 1000);
    EXPECT_EQ(ClipSamples(), std::vector<int16_t>(all.begin() + 20, all.begin() + 40));
    EXPECT_FALSE(doc.Modified());
    EXPECT_FALSE(doc.CanUndo());
    doc.Copy(5, 5);
    Wait();
    EXPECT_EQ(clipboard.GetWave()->size(), 44);
}

TEST_F(Editing, CutThenPasteRestoresTheSamples) {
    const std::vector<int16_t> original = Count(2 * 3000);
    LoadSamples(2, original);
    doc.Cut(700, 1900);
    Wait();
    EXPECT_EQ(doc.Frames(), 1800u);
    EXPECT_EQ(ClipSamples().size(), size_t(2 * 1200));
    doc.Paste(700);
    Wait();
    EXPECT_EQ(doc.Frames(), 3000u);
    EXPECT_EQ(Samples(), original);
    EXPECT_EQ(doc.UndoStack().Items().size(), 2);
}

TEST_F(Editing, DeleteKeepsEverythingAfterTheRange) {
    LoadSamples(1, Count(1000));
    doc.Delete(990, 995);
    Wait();
    std::vector<int16_t> expected = Count(1000);
    expected.erase(expected.begin() + 990, expected.begin() + 995);
    EXPECT_EQ(Samples(), expected);
    doc.Delete(0, doc.Frames());  // the whole sound
    Wait();
    EXPECT_EQ(doc.Frames(), 0u);
    EXPECT_EQ(doc.Peak(), 0);
    EXPECT_EQ(doc.Level(), -90);
    EXPECT_TRUE(doc.Ready());
}

TEST_F(Editing, PasteAtBothEnds) {
    LoadSamples(1, Count(10));
    clipboard.SetWave(Image(1, {-1, -2}));
    doc.Paste(0);
    Wait();
    doc.Paste(doc.Frames());
    Wait();
    EXPECT_EQ(Samples(), (std::vector<int16_t>{-1, -2, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -1, -2}));
    // Positions beyond the end are clamped to it.
    doc.Paste(1 << 30);
    Wait();
    EXPECT_EQ(doc.Frames(), 16u);
}

TEST_F(Editing, PasteWithoutWaveAudioChangesNothing) {
    LoadSamples(1, Count(10));
    doc.Paste(3);
    Wait();
    clipboard.SetWave("not a wave at all");
    doc.Paste(3);
    Wait();
    QByteArray eightBit = Image(1, {1, 2});
    eightBit[34] = 8;
    clipboard.SetWave(eightBit);
    doc.Paste(3);
    Wait();
    EXPECT_EQ(Samples(), Count(10));
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_FALSE(doc.Modified());
    EXPECT_TRUE(doc.Ready());
}

TEST_F(Editing, ForeignImagesWithExtraChunksAndALyingSize) {
    LoadSamples(1, Count(4));
    // LIST chunk before the format, an 18-byte format chunk, and a data size far too large.
    QByteArray img("RIFF\0\0\0\0WAVE", 12);
    img += QByteArray("LIST\x04\0\0\0abcd", 12);
    img += QByteArray("fmt \x12\0\0\0", 8);
    QByteArray fmt(18, '\0');
    auto* f = reinterpret_cast<uint8_t*>(fmt.data());
    PutLE16(f, 1);
    PutLE16(f + 2, 1);
    PutLE32(f + 4, 44100);  // the document's rate: taken frame for frame
    PutLE16(f + 14, 16);
    img += fmt;
    img += QByteArray("data\xff\xff\0\0", 8);
    const int16_t s[3] = {7, 8, 9};
    img.append(reinterpret_cast<const char*>(s), 6);
    img.append('\x01');  // half a sample
    clipboard.SetWave(img);
    doc.Paste(4);
    Wait();
    EXPECT_EQ(Samples(), (std::vector<int16_t>{1, 2, 3, 4, 7, 8, 9}));
}

TEST_F(Editing, MonoIntoStereoAndStereoIntoMono) {
    LoadSamples(2, {1, 2, 3, 4});
    clipboard.SetWave(Image(1, {100, -100}));
    doc.Paste(1);
    Wait();
    EXPECT_EQ(Samples(), (std::vector<int16_t>{1, 2, 100, 100, -100, -100, 3, 4}));
    LoadSamples(1, {1, 2});
    clipboard.SetWave(Image(2, {10, 20, -32768, -32767, 3, 4}));
    doc.Paste(2);
    Wait();
    // The two channels are averaged, rounded to nearest (ties to even).
    EXPECT_EQ(Samples(), (std::vector<int16_t>{1, 2, 15, -32768, 4}));
}

TEST_F(Editing, CutKeepsTheAudioWhenTheClipboardRefusesIt) {
    class TRefusingClipboard : public TMemoryClipboard {
    public:
        bool SetWave(const QByteArray&) override { return false; }
    } refusing;
    TTempFolder folder;
    WriteWav(folder.path("s.wav"), 1, 8000, Count(100));
    TRecordingNotifier n;
    Twavefile d(&n, &refusing);
    d.LoadFile(folder.path("s.wav"));
    while (d.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    d.Cut(10, 20);
    while (d.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(d.Frames(), 100u);
    EXPECT_EQ(n.errors.size(), 1u);
    EXPECT_TRUE(d.Ready());
    EXPECT_FALSE(d.CanUndo());
}

}  // namespace
