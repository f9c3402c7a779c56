// The file properties dialog: its texts, that it reads the document each time it is shown, and
// the tag editing.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
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
        // More than two channels are counted, not called stereo.
        TInfoCase{"SixChannels",
                  sfWav,
                  1.0,
                  576000,
                  6,
                  48000,
                  48000,
                  {"PCM", "0:00:01.000", "576000 bytes", "6 channels", "48000 Hz", "48000"}},
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

// --- the tags ---

namespace {

QByteArray PngBytes(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A WAV file with a title, an artist and a 40 x 30 cover, loaded.
void LoadTagged(TDocFixture& doc) {
    const QString path = doc.dir.path("tagged.wav");
    WriteWav(path, 1, 8000, std::vector<int16_t>(8000, 5));
    TTags tags;
    tags.values = {{"title", "Low Tide"}, {"artist", "The Quays"}};
    tags.picture = PngBytes(40, 30);
    tags.pictureMime = "image/png";
    WriteWavTagsOrThrow(path, tags);
    doc.Load(path);
}

QTableWidgetItem* ValueCell(Tfileinfo& dialog, const char* key) {
    return dialog.tagtable->item(int(TTags::Keys().indexOf(QLatin1String(key))), 1);
}

// Types into the cell as a user does: clicks it, opens its editor, replaces the text, leaves the
// editor open.
void Type(Tfileinfo& dialog, const char* key, const QString& text) {
    dialog.tagtable->setCurrentItem(ValueCell(dialog, key));
    dialog.tagtable->editItem(ValueCell(dialog, key));
    auto* editor = dialog.tagtable->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    if (text.isEmpty()) QTest::keyClick(editor, Qt::Key_Delete);
    else QTest::keyClicks(editor, text);
}

struct TTagEditCase {
    const char* name;
    const char* key;       // the cell typed into; nullptr: none
    const char* typed;
    bool removePicture;
    bool ok;               // OK, else Cancel
    QMap<QString, QString> values;  // the document's tags afterwards
    bool picture;
    bool modified;
};

void PrintTo(const TTagEditCase& c, std::ostream* out) {
    *out << c.name;
}

class TagEdit : public ::testing::TestWithParam<TTagEditCase> {};

TEST_P(TagEdit, ReachesTheDocumentOnlyThroughOk) {
    const TTagEditCase& c = GetParam();
    TDocFixture doc;
    LoadTagged(doc);
    ASSERT_EQ(doc.doc.Tags().values.value("title"), "Low Tide");
    ASSERT_FALSE(doc.doc.Modified());
    Tfileinfo dialog;
    dialog.SetDocument(&doc.doc);
    dialog.show();
    EXPECT_EQ(ValueCell(dialog, "title")->text(), "Low Tide");
    EXPECT_EQ(ValueCell(dialog, "album")->text(), "");
    EXPECT_EQ(dialog.picturesize->text().left(12), "40 x 30 px, ");
    EXPECT_TRUE(dialog.tagtable->isEnabled());
    if (c.key) Type(dialog, c.key, QString::fromUtf8(c.typed));
    if (c.removePicture) dialog.removepicturebutton->click();
    (c.ok ? dialog.okbutton : dialog.closebutton)->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(doc.doc.Tags().values, c.values);
    EXPECT_EQ(!doc.doc.Tags().picture.isEmpty(), c.picture);
    EXPECT_EQ(doc.doc.Modified(), c.modified);
    // Shown again, the dialog shows the document's tags, not the forgotten edits.
    dialog.show();
    EXPECT_EQ(dialog.EditedTags(), doc.doc.Tags());
}

const QMap<QString, QString> kLoaded = {{"title", "Low Tide"}, {"artist", "The Quays"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, TagEdit,
    ::testing::Values(
        TTagEditCase{"TitleOk", "title", "Nachtfahrt Ü", false, true,
                     {{"title", "Nachtfahrt Ü"}, {"artist", "The Quays"}}, true, true},
        TTagEditCase{"EmptiedArtistIsRemoved", "artist", "", false, true,
                     {{"title", "Low Tide"}}, true, true},
        TTagEditCase{"NewGenreCancelled", "genre", "Jazz", false, false, kLoaded, true, false},
        TTagEditCase{"PictureRemovedOk", nullptr, "", true, true, kLoaded, false, true},
        TTagEditCase{"PictureRemovedCancelled", nullptr, "", true, false, kLoaded, true, false},
        // Typing the same text again is no change.
        TTagEditCase{"SameTitleOk", "title", "Low Tide", false, true, kLoaded, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileInfoTags, ThePictureIsReplacedOnlyByAnImage) {
    TDocFixture doc;
    LoadTagged(doc);
    Tfileinfo dialog;
    dialog.SetDocument(&doc.doc);
    dialog.show();
    const QString text = doc.dir.path("notes.png");
    QFile notes(text);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture");
    notes.close();
    EXPECT_FALSE(dialog.LoadPicture(text));
    EXPECT_FALSE(dialog.LoadPicture(doc.dir.path("absent.jpg")));
    EXPECT_EQ(dialog.EditedTags().picture, doc.doc.Tags().picture);

    // A JPEG, told by its bytes rather than its name.
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString jpeg = doc.dir.path("cover.png");
    ASSERT_TRUE(image.save(jpeg, "JPEG"));
    ASSERT_TRUE(dialog.LoadPicture(jpeg));
    EXPECT_EQ(dialog.picturesize->text().left(14), "300 x 200 px, ");
    dialog.okbutton->click();
    EXPECT_EQ(doc.doc.Tags().pictureMime, "image/jpeg");
    QFile file(jpeg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(doc.doc.Tags().picture, file.readAll());
    EXPECT_TRUE(doc.doc.Modified());
}

TEST(FileInfoTags, CannotBeEditedWhileAJobRuns) {
    TDocFixture doc;
    doc.LoadSamples(2, std::vector<int16_t>(2 * 44100 * 20, 1000), 44100);
    Tfileinfo dialog;
    dialog.SetDocument(&doc.doc);
    doc.doc.Amplify(50);
    ASSERT_TRUE(doc.doc.Busy());
    dialog.show();
    EXPECT_FALSE(dialog.tagtable->isEnabled());
    EXPECT_FALSE(dialog.okbutton->isEnabled());
    EXPECT_FALSE(dialog.picturebutton->isEnabled());
    doc.Wait();
    QElapsedTimer clock;
    clock.start();
    while (!dialog.okbutton->isEnabled() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(dialog.tagtable->isEnabled());
    EXPECT_FALSE(dialog.removepicturebutton->isEnabled());  // there is no picture
}

}  // namespace
