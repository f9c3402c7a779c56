// The source format reported for a loaded file comes from what the file holds.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

#include "doctest_util.h"

namespace {

struct TFormatCase {
    const char* name;
    const char* file;    // the name the sound is loaded under
    const char* format;  // what ffmpeg writes into it; nullptr: our own WAV
    int32_t expected;
};

void PrintTo(const TFormatCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceFormatTest : public ::testing::TestWithParam<TFormatCase>, public TDocFixture {};

TEST_P(SourceFormatTest, FollowsWhatWasDecodedNotTheName) {
    const TFormatCase& c = GetParam();
    if (c.format && QStandardPaths::findExecutable("ffmpeg").isEmpty()) {
        GTEST_SKIP() << "ffmpeg not installed";
    }
    std::vector<int16_t> tone(8000);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = int16_t((i % 40) * 500 - 10000);
    // A WAV document first, so a stale format would show.
    LoadSamples(1, tone, 8000);
    ASSERT_EQ(doc.SourceFormat(), sfWav);
    const QString path = dir.path(c.file);
    if (c.format) {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg",
                     {"-v", "error", "-y", "-i", dir.path("source.wav"), "-f", c.format, path});
        ASSERT_TRUE(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
    } else {
        WriteWav(path, 1, 8000, tone);
    }
    Load(path);
    ASSERT_TRUE(doc.Ready());
    EXPECT_EQ(doc.SourceFormat(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Files, SourceFormatTest,
                         ::testing::Values(TFormatCase{"FlacAfterWav", "b.flac", "flac", sfUnknown},
                                           TFormatCase{"OggAfterWav", "b.ogg", "ogg", sfUnknown},
                                           TFormatCase{"Mp3", "b.mp3", "mp3", sfMp3},
                                           TFormatCase{"Mp3NamedWav", "b.wav", "mp3", sfMp3},
                                           TFormatCase{"WavNamedMp3", "b.mp3", nullptr, sfWav},
                                           TFormatCase{"Wma", "b.wma", "asf", sfWma}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
