// An MP3 decoded in any number of parts, one thread each, must give what one thread gives, bit
// for bit, peaks included, whatever the bitrate mode, tags, channels and rate.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <cstring>
#include <string>

#include "decoder.h"
#include "testutil.h"

namespace {

struct TMp3Case {
    const char* name;
    int channels;
    int rate;
    QStringList lame;      // encoder options
    bool damaged = false;  // with a stretch of garbage a quarter of the way in
    int tagBytes = 0;      // an ID3v2 tag of this size put in front (a picture, say)
};

const TMp3Case kCases[] = {
    {"CbrStereoWithInfoFrameAndId3v2", 2, 44100, {"-b", "128", "--add-id3v2", "--tt", "x"}},
    {"CbrStereoWithoutInfoFrame", 2, 44100, {"-b", "192", "-t"}},
    {"VbrStereoWithXingFrame", 2, 44100, {"-V", "4"}},
    {"VbrStereoWithoutXingFrame", 2, 44100, {"-V", "2", "-t", "--id3v1-only", "--ta", "y"}},
    {"VbrMonoAt22050WithId3v2", 1, 22050, {"-V", "6", "--id3v2-only", "--tt", "z"}},
    {"CbrMonoAt22050LowRate", 1, 22050, {"-b", "24", "-t", "--resample", "22.05"}},
    {"CbrStereoAt22050", 2, 22050, {"-b", "64"}},
    // Frames lost in the first half: the halves do not meet, and one thread decodes it again.
    {"DamagedFirstHalf", 2, 44100, {"-V", "4"}, true},
    // Most of the file before the first frame.
    {"CbrStereoBehindALargeTag", 2, 44100, {"-b", "128", "-t"}, false, 3 << 19},
};

bool RunTool(const QString& tool, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(tool, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct TOpened {
    bool ok = false;
    bool split = false;
    QByteArray file;
    Tindexdata peaks;
    Tindexdata rebuilt;
    TLevels levels;
};

// parts 0: on one thread, split not allowed.
TOpened Open(const QString& source, const QString& dest, int parts) {
    TOpened r;
    TDecoder decoder(source, dest);
    decoder.AllowSplit(parts > 0, 0, parts);
    std::atomic<int32_t> progress{-1};
    r.ok = decoder.Supported() && decoder.Decode(progress) && progress == 0;
    r.split = decoder.Split();
    r.file = ReadAll(dest);
    decoder.Filter()->ExportPeaks(r.peaks);
    decoder.Filter()->ExportRebuiltPeaks(r.rebuilt);
    decoder.Filter()->ExportLevels(r.levels.channelPeak, r.levels.peak, r.levels.level);
    return r;
}

class Mp3SplitTest : public ::testing::TestWithParam<TMp3Case> {
protected:
    TTempFolder temp_;
};

TEST_P(Mp3SplitTest, EveryPartCountGivesWhatOneThreadGives) {
    const TMp3Case& c = GetParam();
    if (QStandardPaths::findExecutable("lame").isEmpty() ||
        QStandardPaths::findExecutable("sox").isEmpty())
        GTEST_SKIP() << "lame or sox not installed";
    const QString wav = temp_.path("in.wav"), mp3 = temp_.path("in.mp3");
    // Twenty seconds of noise under a tone: every frame different, and loud enough to fill
    // the bit reservoir.
    ASSERT_TRUE(RunTool(
        "sox", {"-n", "-r", QString::number(c.rate), "-c", QString::number(c.channels), "-b", "16",
                wav, "synth", "20", "pinknoise", "synth", "sine", "mix", "440", "vol", "0.5"}));
    ASSERT_TRUE(RunTool("lame", QStringList{"--quiet"} + c.lame + QStringList{wav, mp3}));

    if (c.tagBytes > 0) {
        QByteArray tag(10 + c.tagBytes, '\0');  // the body is padding
        std::memcpy(tag.data(), "ID3\x03", 4);
        for (int i = 0; i < 4; ++i) tag[6 + i] = char((c.tagBytes >> (21 - 7 * i)) & 0x7F);
        QFile f(mp3);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        tag += f.readAll();
        f.close();
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(tag);
    }
    if (c.damaged) {
        QFile f(mp3);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek(f.size() / 4));
        f.write(QByteArray(3000, '\x5a'));
    }
    const TOpened one = Open(mp3, temp_.path("one.wav"), 0);
    ASSERT_TRUE(one.ok);
    EXPECT_FALSE(one.split);
    EXPECT_GT(one.file.size(), 44 + 2 * c.channels * c.rate * 19);
    for (int parts = 1; parts <= 8; ++parts) {
        SCOPED_TRACE(parts);
        const TOpened split = Open(mp3, temp_.path("split.wav"), parts);
        ASSERT_TRUE(split.ok);
        // Damage makes some cut's parts not meet, and then one thread decodes it again.
        if (!c.damaged) {
            EXPECT_EQ(split.split, parts > 1);
        } else if (parts == 2) {
            EXPECT_FALSE(split.split);
        }
        ASSERT_EQ(split.file.size(), one.file.size());
        qsizetype firstDifference = -1;
        for (qsizetype i = 0; i < one.file.size() && firstDifference < 0; ++i)
            if (one.file[i] != split.file[i]) firstDifference = i;
        EXPECT_EQ(firstDifference, -1) << "of " << one.file.size() << " bytes";
        EXPECT_EQ(split.peaks, one.peaks);
        EXPECT_EQ(split.rebuilt, one.rebuilt);
        EXPECT_EQ(split.levels.channelPeak, one.levels.channelPeak);
        EXPECT_EQ(split.levels.level, one.levels.level);
        // No part leaves a file of its own.
        EXPECT_EQ(QDir(temp_.path("")).entryList(QDir::Files).size(), 4);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Mp3SplitTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
