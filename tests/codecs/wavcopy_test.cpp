// A 16-bit WAV in our layout is copied file to file instead of demuxed; whatever the chunks
// around its samples, the copy must give the demuxer's file, peaks and levels exactly, and a
// source the copy cannot match must go the demuxer's way.
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "apperror.h"
#include "decoder.h"
#include "fileio.h"
#include "messages.h"
#include "testutil.h"
#include "wavcopy.h"
#include "wavlayout.h"

namespace {

QByteArray Chunk(const char* id, const QByteArray& body, int64_t sizeField = -1) {
    QByteArray c(8, 0);
    std::memcpy(c.data(), id, 4);
    PutLE32(reinterpret_cast<uint8_t*>(c.data()) + 4,
            uint32_t(sizeField < 0 ? body.size() : sizeField));
    c += body;
    if (body.size() % 2 != 0) c += '\0';  // the pad byte of an odd chunk
    return c;
}

QByteArray Fmt(uint16_t channels, uint32_t rate, bool extensible) {
    QByteArray f(extensible ? 40 : 16, 0);
    auto* b = reinterpret_cast<uint8_t*>(f.data());
    PutLE16(b, extensible ? 0xFFFE : 1);
    PutLE16(b + 2, channels);
    PutLE32(b + 4, rate);
    PutLE32(b + 8, rate * channels * 2);
    PutLE16(b + 12, uint16_t(channels * 2));
    PutLE16(b + 14, 16);
    if (extensible) {
        PutLE16(b + 16, 22);
        PutLE16(b + 18, 16);                         // valid bits
        PutLE32(b + 20, channels == 2 ? 0x3 : 0x4);  // front left and right, or centre
        static const uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        std::memcpy(b + 24, kPcmGuid, 16);
    }
    return f;
}

QByteArray Noise(size_t samples, uint32_t seed) {
    QByteArray s(qsizetype(samples * 2), 0);
    for (size_t i = 0; i < samples; ++i) {
        seed = seed * 1664525u + 1013904223u;
        PutLE16(reinterpret_cast<uint8_t*>(s.data()) + 2 * i, uint16_t(seed >> 16));
    }
    return s;
}

QByteArray Riff(const QByteArray& chunks) {
    QByteArray r(12, 0);
    std::memcpy(r.data(), "RIFF", 4);
    PutLE32(reinterpret_cast<uint8_t*>(r.data()) + 4, uint32_t(chunks.size() + 4));
    std::memcpy(r.data() + 8, "WAVE", 4);
    return r + chunks;
}

struct TLayout {
    const char* name;
    bool copied;  // whether the copy may be taken
    QByteArray (*make)();
};

constexpr uint16_t kStereo = 2;

const TLayout kLayouts[] = {
    // Long enough to cross the copy's 8 MiB steps, ending on a partial peak block.
    {"PlainStereoOverSeveralSteps", true,
     [] {
         return Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) +
                     Chunk("data", Noise(2 * 2300001, 1)));
     }},
    {"PlainMono", true,
     [] { return Riff(Chunk("fmt ", Fmt(1, 22050, false)) + Chunk("data", Noise(70001, 2))); }},
    {"ExtensibleStereo", true,
     [] {
         return Riff(Chunk("fmt ", Fmt(kStereo, 48000, true)) + Chunk("data", Noise(2 * 9000, 3)));
     }},
    // A header promising more than there is, the last frame cut in half.
    {"DataShorterThanDeclared", true,
     [] {
         QByteArray f = Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) +
                             Chunk("data", Noise(2 * 5000, 4), 400000));
         f.chop(3);
         return f;
     }},
    {"DataSizeZeroMeansToTheEnd", true,
     [] {
         return Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) +
                     Chunk("data", Noise(2 * 3000, 5), 0));
     }},
    {"DataSizeAllOnesMeansToTheEnd", true,
     [] {
         return Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) +
                     Chunk("data", Noise(2 * 3000, 6), 0xFFFFFFFF));
     }},
    {"ChunksBeforeData", true,
     [] {
         return Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) + Chunk("fact", QByteArray(4, 1)) +
                     Chunk("LIST", QByteArray("INFOISFT\x05\0\0\0odd!\0", 17)) +
                     Chunk("junk", QByteArray(3, 7)) + Chunk("data", Noise(2 * 3000, 7)));
     }},
    {"OddChunksAfterData", true,
     [] {
         return Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) + Chunk("data", Noise(2 * 3000, 8)) +
                     Chunk("LIST", QByteArray("INFOIART\x03\0\0\0ab\0", 15)) +
                     Chunk("id3 ", QByteArray(7, 0)));
     }},
    // A size that is not whole frames, so the chunk after it starts on an odd byte.
    {"DataOfPartFramesThenAChunk", true,
     [] {
         return Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) +
                     Chunk("data", Noise(2 * 3000, 9).left(2 * 2 * 3000 - 3)) +
                     Chunk("cue ", QByteArray(5, 2)));
     }},
    // The demuxer reads the last data chunk its walk over the header finds.
    {"TwoDataChunks", true,
     [] {
         return Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) +
                     Chunk("data", Noise(2 * 3000, 10)) + Chunk("LIST", QByteArray(10, 'x')) +
                     Chunk("data", Noise(2 * 500, 11)));
     }},
    // The four letters after the samples could start a further data chunk: no copy.
    {"DataLettersAfterTheSamples", false,
     [] {
         return Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) +
                     Chunk("data", Noise(2 * 3000, 13)) +
                     Chunk("LIST", QByteArray("INFOICMTdata", 12)));
     }},
    {"EightBitIsNotOurs", false,
     [] {
         QByteArray fmt = Fmt(1, 8000, false);
         PutLE16(reinterpret_cast<uint8_t*>(fmt.data()) + 12, 1);
         PutLE16(reinterpret_cast<uint8_t*>(fmt.data()) + 14, 8);
         return Riff(Chunk("fmt ", fmt) + Chunk("data", Noise(2000, 12)));
     }},
};

struct TResult {
    bool ok = false;
    bool copied = false;
    QByteArray file;
    Tindexdata peaks;
    Tindexdata rebuilt;
    TLevels levels;
};

TResult Open(const QString& source, const QString& dest, bool allowCopy, int scanParts = 0) {
    TResult r;
    TDecoder decoder(source, dest);
    decoder.AllowCopy(allowCopy, scanParts);
    std::atomic<int32_t> progress{-1};
    r.ok = decoder.Supported() && decoder.Decode(progress) && progress == 0;
    r.copied = decoder.Copied();
    r.file = ReadAll(dest);
    decoder.Filter()->ExportPeaks(r.peaks);
    decoder.Filter()->ExportRebuiltPeaks(r.rebuilt);
    decoder.Filter()->ExportLevels(r.levels.channelPeak, r.levels.peak, r.levels.level);
    return r;
}

class WavCopyTest : public ::testing::TestWithParam<TLayout> {
protected:
    TTempFolder temp_;
};

TEST_P(WavCopyTest, GivesTheDemuxersResult) {
    const TLayout& layout = GetParam();
    const QString source = temp_.path("in.wav");
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(layout.make());
    }
    const TResult demuxed = Open(source, temp_.path("demuxed.wav"), false);
    ASSERT_TRUE(demuxed.ok);
    EXPECT_FALSE(demuxed.copied);
    EXPECT_GT(demuxed.file.size(), 44);
    // Scanned in stretches on threads of their own, as many as there are cores or forced.
    for (const int parts : {0, 1, 2, 3, 8}) {
        SCOPED_TRACE(parts);
        const TResult copied = Open(source, temp_.path("copied.wav"), true, parts);
        ASSERT_TRUE(copied.ok);
        EXPECT_EQ(copied.copied, layout.copied);
        EXPECT_TRUE(copied.file == demuxed.file)
            << "sizes " << copied.file.size() << " and " << demuxed.file.size();
        EXPECT_EQ(copied.peaks, demuxed.peaks);
        EXPECT_EQ(copied.rebuilt, demuxed.rebuilt);
        EXPECT_EQ(copied.levels.channelPeak, demuxed.levels.channelPeak);
        EXPECT_EQ(copied.levels.peak, demuxed.levels.peak);
        EXPECT_EQ(copied.levels.level, demuxed.levels.level);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, WavCopyTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// Where the kernel will not copy between the two files, the copy goes through a buffer with
// the same result; a full disk is reported as such.
class WavCopyFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile f(source_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kLayouts[0].make());
    }
    // The call number of the first kernel copy: after opening the destination and writing
    // its header.
    static constexpr uint64_t kFirstCopyCall = 3;
    TTempFolder temp_;
    QString source_ = temp_.path("in.wav");
};

TEST_F(WavCopyFailureTest, RefusedKernelCopyFallsBackToBuffers) {
    const TResult demuxed = Open(source_, temp_.path("demuxed.wav"), false);
    TFailingFileIO io;
    io.Arm(kFirstCopyCall, EXDEV);
    TScopedFileIO scope(io);
    const TResult copied = Open(source_, temp_.path("copied.wav"), true);
    EXPECT_TRUE(io.Fired());
    ASSERT_TRUE(copied.copied);
    EXPECT_TRUE(copied.file == demuxed.file);
    EXPECT_EQ(copied.peaks, demuxed.peaks);
}

TEST_F(WavCopyFailureTest, FullDiskIsReported) {
    TFailingFileIO io;
    io.Arm(kFirstCopyCall, ENOSPC);
    TScopedFileIO scope(io);
    TDecoder decoder(source_, temp_.path("copied.wav"));
    std::atomic<int32_t> progress{0};
    try {
        decoder.Decode(progress);
        FAIL() << "no error";
    } catch (const EAppError& e) {
        EXPECT_EQ(std::string(e.what()), Msg("outofmemory"));
    }
    EXPECT_TRUE(io.Fired());
}

// Where the file system shares blocks the copy is cut on block boundaries and its blocks are
// the source's; the file and peaks are the demuxer's.
TEST(WavCopyOnXfs, SharesTheBlocksAndGivesTheDemuxersResult) {
    TXfsDisk xfs;
    if (!xfs.ok()) GTEST_SKIP() << xfs.why();
    TTempFolder temp;
    const QByteArray wav =
        Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) + Chunk("data", Noise(2 * 10000001, 23)));
    for (const QString& source : {xfs.path("in.wav"), temp.path("in.wav")}) {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(wav);
    }
    ::sync();
    const TResult demuxed = Open(temp.path("in.wav"), temp.path("demuxed.wav"), false);
    struct statvfs before {};
    ASSERT_EQ(::statvfs(QFile::encodeName(xfs.path()).constData(), &before), 0);
    const TResult copied = Open(xfs.path("in.wav"), xfs.path("copied.wav"), true, 2);
    ::sync();
    struct statvfs after {};
    ASSERT_EQ(::statvfs(QFile::encodeName(xfs.path()).constData(), &after), 0);
    ASSERT_TRUE(copied.copied);
    EXPECT_TRUE(copied.file == demuxed.file);
    EXPECT_EQ(copied.peaks, demuxed.peaks);
    // 40 MB copied, less than a megabyte of new blocks: the header's and the first block's.
    EXPECT_LT(int64_t(before.f_bfree - after.f_bfree) * int64_t(before.f_frsize), 1 << 20);
    const int fd = ::open(QFile::encodeName(xfs.path("copied.wav")).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(MayShareBlocks(fd));
    ::close(fd);
}

// The system calls, except that the source loses its end while the copy is under way.
class TShrinkingSource final : public TFileIO {
public:
    TShrinkingSource(const QString& source, int64_t at, int64_t keep)
        : source_(QFile::encodeName(source)), at_(at), keep_(keep) {}
    int Open(const char* p, int f, mode_t m) override { return real_.Open(p, f, m); }
    int OpenUnique(char* t, int f) override { return real_.OpenUnique(t, f); }
    ssize_t Read(int fd, void* d, size_t n) override { return real_.Read(fd, d, n); }
    ssize_t PRead(int fd, void* d, size_t n, off_t o) override { return real_.PRead(fd, d, n, o); }
    ssize_t Write(int fd, const void* d, size_t n) override { return real_.Write(fd, d, n); }
    ssize_t PWrite(int fd, const void* d, size_t n, off_t o) override {
        return real_.PWrite(fd, d, n, o);
    }
    int Allocate(int fd, off_t o, off_t n) override { return real_.Allocate(fd, o, n); }
    void* Map(size_t n, int p, int f, int fd, off_t o) override {
        return real_.Map(n, p, f, fd, o);
    }
    int Sync(int fd) override { return real_.Sync(fd); }
    ssize_t CopyRange(int in, loff_t* from, int out, loff_t* to, size_t n) override {
        // Once the copy reaches `at`, the source is cut to `keep` bytes.
        if (*from >= at_ && !shrunk_.exchange(true) && ::truncate(source_.constData(), keep_) != 0)
            return -1;
        return real_.CopyRange(in, from, out, to, n);
    }
    int Rename(const char* a, const char* b) override { return real_.Rename(a, b); }
    int Unlink(const char* p) override { return real_.Unlink(p); }
    int Close(int fd) override { return real_.Close(fd); }

private:
    TPosixFileIO real_;
    QByteArray source_;
    int64_t at_, keep_;
    std::atomic<bool> shrunk_{false};
};

// A source cut short during the copy, in the fourth of eight stretches and half a frame in: the
// whole frames copied, and their peaks, are what the demuxer reads from the shorter file.
TEST(WavCopyShrinking, KeepsTheWholeFramesCopied) {
    TTempFolder temp;
    const QString source = temp.path("in.wav");
    const QByteArray whole =
        Riff(Chunk("fmt ", Fmt(kStereo, 44100, false)) + Chunk("data", Noise(2 * 5300000, 22)));
    const int64_t step = 8 << 20, keep = 44 + step + (512 << 10) + 3;
    for (const int parts : {1, 2, 8}) {
        SCOPED_TRACE(parts);
        {
            QFile f(source);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(whole);
        }
        TShrinkingSource io(source, 44 + step, keep);
        TResult copied;
        {
            TScopedFileIO scope(io);
            copied = Open(source, temp.path("copied.wav"), true, parts);
        }
        ASSERT_EQ(QFileInfo(source).size(), keep);
        const TResult demuxed = Open(source, temp.path("demuxed.wav"), false);
        ASSERT_TRUE(copied.ok);
        EXPECT_TRUE(copied.copied);
        EXPECT_EQ(copied.file.size(), 44 + (keep - 44) / 4 * 4);
        EXPECT_TRUE(copied.file == demuxed.file)
            << "sizes " << copied.file.size() << " and " << demuxed.file.size();
        EXPECT_EQ(copied.peaks, demuxed.peaks);
        EXPECT_EQ(copied.rebuilt, demuxed.rebuilt);
        EXPECT_EQ(copied.levels.channelPeak, demuxed.levels.channelPeak);
    }
}

// A decode that outgrew the 44-byte header has its samples moved up behind the RF64 one, from
// the end backwards in 8 MiB steps: what ffprobe and ffmpeg read afterwards is the same sound.
class MoveBehindRf64 : public ::testing::TestWithParam<int64_t> {};

TEST_P(MoveBehindRf64, OutsideToolsReadTheSameSamples) {
    TTempFolder temp;
    const QString path = temp.path("moved.wav");
    const QByteArray samples = Noise(size_t(GetParam()), 21);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const TWavHeaderBytes b =
            TWavHeader::Pcm16(kStereo, 44100, uint64_t(samples.size())).Bytes();
        f.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
        f.write(samples);
    }
    TWavHeader h = TWavHeader::Pcm16(kStereo, 44100, 0);
    h.rf64 = true;
    h.SetSizes(uint64_t(samples.size()));
    MoveUnderHeader(path, kWavHeaderBytes, h);
    const QByteArray file = ReadAll(path);
    ASSERT_EQ(file.size(), 80 + samples.size());
    EXPECT_EQ(file.left(4), "RF64");
    EXPECT_TRUE(file.mid(80) == samples);

    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries", "stream=duration_ts", "-of", "json",
                            path});
    ASSERT_TRUE(probe.waitForFinished(60000));
    const QJsonObject s = QJsonDocument::fromJson(probe.readAllStandardOutput())
                              .object()["streams"].toArray().at(0).toObject();
    EXPECT_EQ(s["duration_ts"].toInteger(), GetParam() / 2);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-f", "s16le", "-"});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    EXPECT_TRUE(ffmpeg.readAllStandardOutput() == samples);
}

// Samples: one stereo frame, a step and a frame, three steps and a bit.
INSTANTIATE_TEST_SUITE_P(Lengths, MoveBehindRf64,
                         ::testing::Values(int64_t(2), int64_t((8 << 20) / 2 + 2),
                                           int64_t(3 * (8 << 20) / 2 + 1002)));

}  // namespace
