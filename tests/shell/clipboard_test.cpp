#include <gtest/gtest.h>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include "clipboard.h"
#include "doctest_util.h"

namespace {

class DesktopClipboard : public ::testing::Test {
protected:
    TTempFolder dir;
    TRecordingNotifier notifier;
    TDesktopClipboard clipboard;
    Twavefile doc{&notifier, &clipboard};

    void Wait() {
        while (doc.Busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    void Load(const std::vector<int16_t>& s) {
        WriteWav(dir.path("in.wav"), 1, 8000, s);
        doc.LoadFile(dir.path("in.wav"));
        Wait();
        ASSERT_TRUE(doc.Ready());
    }
    std::vector<int16_t> Samples() { return ReadWavSamples(doc.TempPath()); }
};

TEST_F(DesktopClipboard, CopyOffersEveryWaveTypeAndPasteReadsItBack) {
    Load({1, 2, 3, 4, 5});
    doc.Copy(1, 3);
    Wait();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    for (const QString& type : TDesktopClipboard::WaveMimeTypes()) {
        EXPECT_TRUE(data->hasFormat(type)) << type.toStdString();
        EXPECT_EQ(data->data(type).size(), 44 + 4);
    }
    EXPECT_TRUE(clipboard.HasWave());
    doc.Paste(5);
    Wait();
    EXPECT_EQ(Samples(), (std::vector<int16_t>{1, 2, 3, 4, 5, 2, 3}));
}

TEST_F(DesktopClipboard, AcceptsAWaveFromAnotherProgramUnderAnyOfItsNames) {
    Load({1, 2});
    WriteWav(dir.path("clip.wav"), 1, 8000, {9, 9});
    auto* data = new QMimeData;
    data->setData("audio/vnd.wave", ReadAll(dir.path("clip.wav")));
    QGuiApplication::clipboard()->setMimeData(data);
    doc.Paste(0);
    Wait();
    EXPECT_EQ(Samples(), (std::vector<int16_t>{9, 9, 1, 2}));
}

TEST_F(DesktopClipboard, AcceptsAFileListNamingAWaveFile) {
    Load({1, 2});
    WriteWav(dir.path("named.wav"), 1, 8000, {7});
    auto* data = new QMimeData;
    data->setUrls(
        {QUrl::fromLocalFile(dir.path("other.txt")), QUrl::fromLocalFile(dir.path("named.wav"))});
    QGuiApplication::clipboard()->setMimeData(data);
    EXPECT_TRUE(clipboard.HasWave());
    doc.Paste(1);
    Wait();
    EXPECT_EQ(Samples(), (std::vector<int16_t>{1, 7, 2}));
    QGuiApplication::clipboard()->setText("just text");
    EXPECT_FALSE(clipboard.HasWave());
}

}  // namespace
