// A load that gets less or more sound than the file declares says so, one that gets nothing
// from a file that claims sound fails, and a source read from memory decodes like the file.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <cstring>

#include "apperror.h"
#include "decoder.h"
#include "loadlength.h"
#include "messages.h"
#include "testutil.h"
#include "wavlayout.h"

namespace {

QByteArray Wav(uint16_t tag, uint16_t channels, uint32_t frames, uint32_t dataSizeField) {
    QByteArray h(44, 0);
    auto* b = reinterpret_cast<uint8_t*>(h.data());
    std::memcpy(b, "RIFFxxxxWAVEfmt ", 16);
    PutLE32(b + 4, dataSizeField + 36);
    PutLE32(b + 16, 16);
    PutLE16(b + 20, tag);
    PutLE16(b + 22, channels);
    PutLE32(b + 24, 8000);
    PutLE32(b + 28, 8000u * channels * 2);
    PutLE16(b + 32, uint16_t(channels * 2));
    PutLE16(b + 34, 16);
    std::memcpy(b + 36, "data", 4);
    PutLE32(b + 40, dataSizeField);
    QByteArray data(qsizetype(frames) * channels * 2, 0);
    for (qsizetype i = 0; i < data.size(); ++i) data[i] = char(i * 37 + 11);
    return h + data;
}

bool Tool(const QString& tool, const QStringList& args) {
    if (QStandardPaths::findExecutable(tool).isEmpty()) return false;
    QProcess p;
    p.start(tool, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct TOutcome {
    bool decoded = false;
    std::string error;
    QString warning;
    QByteArray out;
};

TOutcome DecodeAll(TDecoder& decoder, const QString& dest) {
    TOutcome o;
    std::atomic<int32_t> progress{0};
    try {
        o.decoded = decoder.Supported() && decoder.Decode(progress);
    } catch (const EAppError& e) {
        o.error = e.what();
    }
    o.warning = decoder.LengthWarning();
    o.out = ReadAll(dest);
    return o;
}

// ---- Texts ----

TEST(LoadLength, LengthTextsKeepEveryUnitInRange) {
    EXPECT_EQ(LengthText(0, 44100), "0:00.000");
    EXPECT_EQ(LengthText(44100, 44100), "0:01.000");
    EXPECT_EQ(LengthText(61 * 8000 + 4000, 8000), "1:01.500");
    EXPECT_EQ(LengthText(3600 * 8000 + 1, 8000, 6), "1:00:00.000125");
    EXPECT_EQ(LengthText(5 * 8000, 8000, 0), "0:05");
    // A count no file could hold still gives a text, not an overflow.
    EXPECT_FALSE(LengthText(INT64_MAX, 1).isEmpty());
    EXPECT_EQ(LengthText(100, 0), "0:00.000");
}

TEST(LoadLength, WarnsOnlyOutsideTheTolerance) {
    EXPECT_TRUE(LengthWarning({-1, 0}, 5, 8000).isEmpty());
    EXPECT_TRUE(LengthWarning({8000, 0}, 8000, 8000).isEmpty());
    EXPECT_TRUE(LengthWarning({8000, 100}, 7900, 8000).isEmpty());
    EXPECT_TRUE(LengthWarning({8000, 100}, 8100, 8000).isEmpty());
    const QString shorter = LengthWarning({16000, 0}, 8000, 8000);
    EXPECT_TRUE(shorter.contains("0:02.000") && shorter.contains("0:01.000")) << shorter.toStdString();
    EXPECT_TRUE(shorter.startsWith(QString::fromStdString(Msg("loadshort")).left(10)));
    const QString longer = LengthWarning({8000, 100}, 8101, 8000);
    EXPECT_TRUE(longer.contains("0:01.000") && longer.contains("0:01.012")) << longer.toStdString();
    // One frame apart: the texts still differ.
    const QString frame = LengthWarning({8000, 0}, 8001, 8000);
    EXPECT_TRUE(frame.contains("0:01.000000") && frame.contains("0:01.000125"))
        << frame.toStdString();
}

// ---- Damaged WAV files, from a file and from memory ----

struct TWavCase {
    const char* name;
    uint16_t tag;
    uint32_t frames;      // frames of bytes in the file
    uint32_t dataField;   // the data chunk's size field
    uint32_t expectFrames;
    bool warns;
    bool fails;
};

class DamagedWavTest : public ::testing::TestWithParam<std::tuple<TWavCase, bool>> {
protected:
    TTempFolder dir_;
};

TEST_P(DamagedWavTest, LoadsWarnsOrFailsAsTheFileDeserves) {
    const auto& [c, fromMemory] = GetParam();
    const QByteArray bytes = Wav(c.tag, 2, c.frames, c.dataField);
    const QString dest = dir_.path("out.wav");
    QFile f(dir_.path("in.wav"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    auto decoder = fromMemory ? std::make_unique<TDecoder>(
                                    reinterpret_cast<const uint8_t*>(bytes.constData()),
                                    size_t(bytes.size()), dest)
                              : std::make_unique<TDecoder>(dir_.path("in.wav"), dest);
    ASSERT_TRUE(decoder->Supported());
    // What the header claims is only a hint, never more than the bytes could hold.
    EXPECT_LE(decoder->ExpectedFrames(), int64_t(bytes.size()) * 1024);
    const TOutcome o = DecodeAll(*decoder, dest);
    if (c.fails) {
        EXPECT_EQ(o.error, Msg("loadnothing"));
        return;
    }
    ASSERT_TRUE(o.decoded) << o.error;
    EXPECT_EQ(o.out.size(), 44 + qsizetype(c.expectFrames) * 4);
    EXPECT_EQ(!o.warning.isEmpty(), c.warns) << o.warning.toStdString();
    if (fromMemory) return;
    // A file in our own layout may be copied instead of demuxed: the same words either way.
    TDecoder demuxed(dir_.path("in.wav"), dir_.path("demuxed.wav"));
    demuxed.AllowCopy(false);
    const TOutcome d = DecodeAll(demuxed, dir_.path("demuxed.wav"));
    EXPECT_EQ(d.warning, o.warning);
    EXPECT_TRUE(d.out == o.out);
}

const TWavCase kWavCases[] = {
    {"Whole", 1, 500, 2000, 500, false, false},
    {"DataPastTheEnd", 1, 500, 2000 + 4000, 500, true, false},
    {"OneFrameMissing", 1, 500, 2000 + 4, 500, true, false},
    {"HalfAFrameMissing", 1, 500, 2000 + 2, 500, false, false},
    {"SizeUnknownZero", 1, 500, 0, 500, false, false},
    {"SizeUnknownAllOnes", 1, 500, 0xFFFFFFFF, 500, false, false},
    {"ClaimsFourGigabytes", 1, 500, 0xFFFFFF00, 500, true, false},
    {"DataSizeShorterThanTheBytes", 1, 500, 400, 100, false, false},
    {"HeaderOnlyClaimingSound", 1, 0, 1200, 0, false, true},
    {"EmptyDataChunk", 1, 0, 0, 0, false, false},
    {"UndecodableAdpcm", 2, 500, 2000, 0, false, true},
    {"UndecodableMp3Tag", 0x55, 500, 2000, 0, false, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, DamagedWavTest,
                         ::testing::Combine(::testing::ValuesIn(kWavCases), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "FromMemory" : "FromFile");
                         });

// ---- Made by the tools: whole files never warn, cut ones do, memory decodes like the file ----

struct TToolCase {
    const char* name;
    const char* file;
    bool lame;               // made by lame, else by ffmpeg
    QStringList ffmpegArgs;  // between input and output
    const char* declared;    // the length its header declares; nullptr: none FFmpeg reads
};

class ToolFileTest : public ::testing::TestWithParam<TToolCase> {
protected:
    TTempFolder dir_;
};

TEST_P(ToolFileTest, WholeIsSilentCutWarnsMemoryMatchesFile) {
    const TToolCase& c = GetParam();
    const QString in = dir_.path("in.wav"), file = dir_.path(c.file);
    const QByteArray wav = Wav(1, 2, 3 * 8000, 3 * 8000 * 4);
    QFile w(in);
    ASSERT_TRUE(w.open(QIODevice::WriteOnly) && w.write(wav) == wav.size());
    w.close();
    const bool made = c.lame
                          ? Tool("lame", {"--quiet", "-b", "64", in, file})
                          : Tool("ffmpeg", QStringList{"-v", "error", "-y", "-i", in} +
                                               c.ffmpegArgs + QStringList{file});
    if (!made) GTEST_SKIP() << "cannot make " << c.name;

    TDecoder fromFile(file, dir_.path("a.wav"));
    const TOutcome a = DecodeAll(fromFile, dir_.path("a.wav"));
    ASSERT_TRUE(a.decoded) << a.error;
    EXPECT_TRUE(a.warning.isEmpty()) << a.warning.toStdString();

    const QByteArray bytes = ReadAll(file);
    TDecoder fromMemory(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                        dir_.path("b.wav"));
    const TOutcome b = DecodeAll(fromMemory, dir_.path("b.wav"));
    EXPECT_TRUE(b.out == a.out) << "memory and file decode differently";

    // Cut to two thirds: a container that declares its length now says what is missing.
    if (c.declared == nullptr) return;
    const QByteArray cut = bytes.left(bytes.size() * 2 / 3);
    TDecoder fromCut(reinterpret_cast<const uint8_t*>(cut.constData()), size_t(cut.size()),
                     dir_.path("c.wav"));
    const TOutcome d = DecodeAll(fromCut, dir_.path("c.wav"));
    ASSERT_TRUE(d.decoded) << d.error;
    EXPECT_LT(d.out.size(), a.out.size() * 3 / 4);
    EXPECT_TRUE(d.warning.contains(c.declared)) << c.name << ": " << d.warning.toStdString();
}

// Containers with a length in their header: lame's tag frame (at 8 kHz its frames and the
// encoder's delay make 3.168 s), FLAC's stream info, AIFF's frame count. FFmpeg reads no
// length from a cut ASF file: it only estimates one from the bit rate.
INSTANTIATE_TEST_SUITE_P(
    Files, ToolFileTest,
    ::testing::Values(TToolCase{"Mp3WithTagFrame", "a.mp3", true, {}, "0:03.168"},
                      TToolCase{"Flac", "a.flac", false, {"-c:a", "flac"}, "0:03.000"},
                      TToolCase{"Aiff", "a.aiff", false, {}, "0:03.000"},
                      TToolCase{"WmaInAsf", "a.wma", false, {"-c:a", "wmav2"}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
