// A whole working day of sound through the real load and saves: seven hours of mono at 8 kHz
// (201,600,000 frames), small enough for every CI run. ffprobe counts the frames and ffmpeg's
// MD5 of the decoded samples says the saves are bit for bit the source.
#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "doctest_util.h"

namespace {

constexpr int64_t kFrames = int64_t(7) * 3600 * 8000;

// The program's standard output; "failed" when it did not end well.
QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(240000) || p.exitCode() != 0) return QStringLiteral("failed");
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

int64_t ProbedFrames(const QString& file) {
    const QString json = RunTool("ffprobe", {"-v", "error", "-select_streams", "a:0",
                                             "-show_entries", "stream=duration_ts", "-of", "json",
                                             file});
    return QJsonDocument::fromJson(json.toUtf8())
        .object()["streams"]
        .toArray()
        .at(0)
        .toObject()["duration_ts"]
        .toInteger(-1);
}

QString DecodedMd5(const QString& file) {
    return RunTool("ffmpeg", {"-v", "error", "-i", file, "-acodec", "pcm_s16le", "-f", "md5",
                              "-"});
}

class LongFile : public ::testing::Test, public TDocFixture {
protected:
    void SetUp() override {
        doc.OnEncodeSettings = [](Twavefile*, TEncodeFormat) {
            return std::optional<TEncodeSettings>(TEncodeSettings{});
        };
    }
};

TEST_F(LongFile, SevenHoursLoadAndSaveBitForBit) {
#ifdef __SANITIZE_ADDRESS__
    // Minutes of instrumented copying that the short tests already cover line for line; the
    // plain build runs it.
    GTEST_SKIP() << "seven hours of sound are not run under the sanitizers";
#endif
    const QString source = dir.path("day.flac");
    ASSERT_EQ(RunTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                 "sine=frequency=441:sample_rate=8000:duration=25200", "-ac", "1",
                                 "-sample_fmt", "s16", "-c:a", "flac", "-compression_level", "0",
                                 "-y", source}),
              QString());
    ASSERT_EQ(ProbedFrames(source), kFrames);
    const QString md5 = DecodedMd5(source);
    ASSERT_TRUE(md5.startsWith("MD5=")) << md5.toStdString();

    Load(source);
    ASSERT_TRUE(doc.Ready());
    EXPECT_TRUE(notifier.errors.empty());
    EXPECT_EQ(doc.Frames(), kFrames);
    for (const char* name : {"day.wav", "again.flac"}) {
        const QString target = dir.path(name);
        ASSERT_TRUE(doc.SaveRange(target, 0, doc.Frames()));
        Wait();
        EXPECT_EQ(ProbedFrames(target), kFrames) << name;
        EXPECT_EQ(DecodedMd5(target), md5) << name;
    }
    // Under 4 GiB the WAV keeps the 44-byte header and no notice is given.
    QFile saved(dir.path("day.wav"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.read(4), "RIFF");
    EXPECT_TRUE(notifier.warnings.empty());
}

}  // namespace
