// The file properties dialog: its texts, and that it reads the document each time it is shown.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cmath>

#include "doctest_util.h"
#include "fileinfo.h"
#include "settings.h"
#include "versionfiles.h"

namespace {

struct TInfoCase {
    const char* name;
    int32_t format;
    double seconds;
    uint32_t bytes;
    uint16_t channels;
    uint32_t rate;
    uint32_t frames;
    TFileInfoTexts texts;
};

void PrintTo(const TInfoCase& c, std::ostream* out) {
    *out << c.name;
}

class FileInfoTextsTest : public ::testing::TestWithParam<TInfoCase> {};

TEST_P(FileInfoTextsTest, Shows) {
    const TInfoCase& c = GetParam();
    const TFileInfoTexts t =
        FileInfoTexts(c.format, c.seconds, c.bytes, c.channels, c.rate, c.frames);
    EXPECT_EQ(t.format, c.texts.format);
    EXPECT_EQ(t.duration, c.texts.duration);
    EXPECT_EQ(t.dataSize, c.texts.dataSize);
    EXPECT_EQ(t.channels, c.texts.channels);
    EXPECT_EQ(t.sampleRate, c.texts.sampleRate);
    EXPECT_EQ(t.samples, c.texts.samples);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileInfoTextsTest,
    ::testing::Values(
        TInfoCase{"ThreeMinutesStereoWav",
                  sfWav,
                  180.0,
                  31752000,
                  2,
                  44100,
                  7938000,
                  {"PCM", "0:03:00.000", "31752000 bytes", "Stereo", "44100 Hz", "7938000"}},
        TInfoCase{"SixtyOneQuarterSecondsMonoMp3",
                  sfMp3,
                  61.25,
                  5402250,
                  1,
                  44100,
                  2701125,
                  {"MP3", "0:01:01.250", "5402250 bytes", "Mono", "44100 Hz", "2701125"}},
        // The hours wrap at 24.
        TInfoCase{"TwentyFiveHoursWma",
                  sfWma,
                  25 * 3600.0,
                  4294967295u,
                  2,
                  8000,
                  720000000,
                  {"WMA", "1:00:00.000", "4294967295 bytes", "Stereo", "8000 Hz", "720000000"}},
        // An unknown format leaves the field as it was.
        TInfoCase{"UnknownFormat",
                  7,
                  0.0004,
                  0,
                  2,
                  48000,
                  0,
                  {"", "0:00:00.000", "0 bytes", "Stereo", "48000 Hz", "0"}},
        TInfoCase{"RoundsToTheMillisecond",
                  sfWav,
                  3599.9996,
                  0,
                  1,
                  1,
                  0,
                  {"PCM", "1:00:00.000", "0 bytes", "Mono", "1 Hz", "0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileInfoDialog, ReadsTheDocumentEachTimeItIsShown) {
    TDocFixture doc;
    doc.LoadSamples(1, std::vector<int16_t>(22050, 100), 22050);
    Tfileinfo dialog;
    dialog.SetDocument(&doc.doc);
    dialog.show();
    EXPECT_EQ(dialog.Edit2->text(), "PCM");
    EXPECT_EQ(dialog.Edit3->text(), "0:00:01.000");
    EXPECT_EQ(dialog.Edit4->text(), "44100 bytes");
    EXPECT_EQ(dialog.Edit5->text(), "Mono");
    EXPECT_EQ(dialog.Edit6->text(), "22050 Hz");
    EXPECT_EQ(dialog.Edit7->text(), "22050");
    dialog.closebutton->click();
    EXPECT_FALSE(dialog.isVisible());

    doc.doc.Delete(0, 11025);
    doc.Wait();
    dialog.show();
    EXPECT_EQ(dialog.Edit3->text(), "0:00:00.500");
    EXPECT_EQ(dialog.Edit7->text(), "11025");
}

TEST(FileInfoDialog, MeasureShowsTheLoudnessOfTheCurrentVersion) {
    // EBU Tech 3341: a 1 kHz stereo sine at -23 dBFS is -23 LUFS.
    std::vector<int16_t> s(48000 * 10 * 2);
    const double a = 32768.0 * std::pow(10.0, -23 / 20.0);
    for (size_t i = 0; i < s.size() / 2; ++i)
        s[2 * i] = s[2 * i + 1] = int16_t(std::lround(a * std::sin(2 * M_PI * 1000.0 * i / 48000)));
    TDocFixture doc;
    doc.LoadSamples(2, s, 48000);
    Tfileinfo dialog;
    dialog.SetDocument(&doc.doc);
    dialog.show();
    EXPECT_EQ(dialog.Edit8->text(), "");
    dialog.measurebutton->click();
    QElapsedTimer clock;
    clock.start();
    while (dialog.Edit8->text().isEmpty() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(dialog.Edit8->text(), "-23.0 LUFS");
    EXPECT_EQ(dialog.Edit9->text(), "0.0 LU");
    EXPECT_EQ(dialog.Edit10->text(), "-23.0 dBTP");
    // An edit makes a new version: its loudness is not known yet.
    doc.doc.Amplify(50);
    doc.Wait();
    dialog.hide();
    dialog.show();
    EXPECT_EQ(dialog.Edit8->text(), "");
}

struct TSizeCase {
    int64_t bytes;
    const char* text;
};

class DiskSize : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(DiskSize, IsShownInMegabytesOrGigabytes) {
    EXPECT_EQ(DiskSizeText(GetParam().bytes), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Sizes, DiskSize,
                         ::testing::Values(TSizeCase{-1, "?"}, TSizeCase{0, "0.0 MB"},
                                           TSizeCase{1572864, "1.5 MB"},
                                           TSizeCase{1073741823, "1024.0 MB"},
                                           TSizeCase{1073741824, "1.0 GB"},
                                           TSizeCase{5LL << 40, "5120.0 GB"}));

TEST(FileInfoDialog, ShowsTheHistoryOnDiskAndTheFreeSpaceOfTheTemporaryFolder) {
    TDocFixture doc;
    doc.LoadSamples(2, std::vector<int16_t>(2 * 262144, 100), 44100);
    Tfileinfo dialog;
    dialog.SetDocument(&doc.doc);
    dialog.show();
    EXPECT_EQ(dialog.Edit11->text(), "0.0 MB");
    EXPECT_EQ(dialog.Edit12->text(), DiskSizeText(FreeDiskSpace(TempFolder())));
    EXPECT_NE(dialog.Edit12->text(), "?");
    doc.doc.Invert();
    doc.Wait();
    doc.doc.Invert();
    doc.Wait();
    // Two old versions of 1 MiB of sound each, their headers and peak files.
    const QStringList undo = doc.doc.UndoStack().Items();
    ASSERT_EQ(undo.size(), 2);
    int64_t bytes = 0;
    for (const QString& v : undo) bytes += QFileInfo(v).size() + QFileInfo(PeakFilePath(v)).size();
    EXPECT_EQ(doc.doc.HistoryBytes(), bytes);
    dialog.hide();
    dialog.show();
    EXPECT_EQ(dialog.Edit11->text(), DiskSizeText(bytes));
    EXPECT_TRUE(dialog.Edit11->text().startsWith("2.0")) << dialog.Edit11->text().toStdString();
}

}  // namespace
