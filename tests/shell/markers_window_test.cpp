// Markers in the window: the keys that set them and jump between them, what is drawn, the steps
// Undo names, and the markers list.
#include <gtest/gtest.h>
#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "markerrender.h"
#include "shell_fixture.h"
#include "waveaccessible.h"
#include "waveview.h"
#include "wavfile.h"

namespace {

class MarkersWindow : public ::testing::Test, public TShellFixture {
protected:
    // The column of the back buffer where `frame` is drawn.
    int Column(int64_t frame) {
        const TWaveView& v = form->View();
        const int P = v.Renderer().Width() - TWaveRenderer::RightMargin;
        return int(double(frame - v.viewStart) * P / double(v.viewEnd - v.viewStart));
    }
    QColor Pixel(int x, int y) { return form->View().Renderer().backBuffer.pixelColor(x, y); }
};

TEST_F(MarkersWindow, KeysSetAndJumpAndTheWaveShowsThem) {
    Open(WriteStereo("a.wav", 8000));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    TWaveView& view = form->View();
    Twavefile& doc = form->Document();
    view.SetCursor(2000);
    QTest::keyClick(form.get(), Qt::Key_M, Qt::ControlModifier);
    view.SetSelection(4000, 6000, true);
    QTest::keyClick(form.get(), Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(doc.Markers().size(), 2u);
    EXPECT_EQ(doc.Markers()[0].start, 2000);
    EXPECT_FALSE(doc.Markers()[0].IsRegion());
    EXPECT_EQ(doc.Markers()[1].start, 4000);
    EXPECT_EQ(doc.Markers()[1].end, 6000);
    EXPECT_TRUE(doc.Modified());
    EXPECT_EQ(Cmd().UndoAction->text(), "&Undo Add Region");

    // Previous and next: marker starts and region ends alike.
    view.SetSelection(0, 0, false);
    view.SetCursor(0);
    const std::vector<std::pair<Qt::Key, int64_t>> jumps = {
        {Qt::Key_BracketRight, 2000}, {Qt::Key_BracketRight, 4000}, {Qt::Key_BracketRight, 6000},
        {Qt::Key_BracketRight, 6000}, {Qt::Key_BracketLeft, 4000},  {Qt::Key_BracketLeft, 2000},
        {Qt::Key_BracketLeft, 2000}};
    for (const auto& [key, at] : jumps) {
        QTest::keyClick(form.get(), key);
        EXPECT_EQ(view.CursorFrame(), at) << int(key);
    }
    // A reader hears the marker the cursor is on.
    EXPECT_TRUE(WaveValueText(view).endsWith(", marker ")) << WaveValueText(view).toStdString();

    // The marker a line through the wave area, the region a band under the ruler.
    const int H = view.Renderer().Height();
    EXPECT_EQ(Pixel(Column(2000), H - 3), kMarkerColor);
    EXPECT_EQ(Pixel((Column(4000) + Column(6000)) / 2, TWaveRenderer::TopMargin + 3), kRegionColor);
    EXPECT_NE(Pixel((Column(2000) + Column(4000)) / 2, TWaveRenderer::TopMargin + 3), kRegionColor);

    // Undo takes the region back without a new version of the sound.
    const QString version = doc.TempPath();
    Cmd().UndoAction->trigger();
    Wait();
    EXPECT_EQ(doc.Markers().size(), 1u);
    EXPECT_EQ(doc.TempPath(), version);
    EXPECT_EQ(Cmd().UndoAction->text(), "&Undo Add Marker");
    EXPECT_EQ(Cmd().RedoAction->text(), "&Redo Add Region");
    EXPECT_NE(Pixel((Column(4000) + Column(6000)) / 2, TWaveRenderer::TopMargin + 3), kRegionColor);
}

TEST_F(MarkersWindow, TheListRenamesDeletesAndJumps) {
    Open(WriteStereo("a.wav", 8000));
    Twavefile& doc = form->Document();
    ASSERT_TRUE(doc.SetMarkers({{1000, 1000, "one"}, {3000, 5000, "two"}}));
    dialogs.runAnswers.push_back([&](QDialog& d) {
        auto* table = d.findChild<QTableWidget*>("MarkerTable");
        EXPECT_EQ(table->rowCount(), 2);
        EXPECT_EQ(table->item(1, 1)->text(), "two");
        EXPECT_FALSE(table->item(1, 2)->text().isEmpty());  // a region's length
        EXPECT_TRUE(table->item(0, 2)->text().isEmpty());
        // A double click on a region's time selects it.
        emit table->cellDoubleClicked(1, 0);
        EXPECT_TRUE(form->View().HasSelection());
        EXPECT_EQ(form->View().OrderedSelection(), std::make_pair(int64_t(3000), int64_t(5000)));
        table->item(0, 1)->setText("first");
        EXPECT_EQ(Cmd().UndoAction->text(), "&Undo Rename Marker");
        table->setCurrentCell(1, 0);
        d.findChild<QPushButton*>("DeleteMarker")->click();
        EXPECT_EQ(table->rowCount(), 1);
        return true;
    });
    Cmd().MarkersAction->trigger();
    ASSERT_EQ(dialogs.ran, QStringList{"MarkersDialog"});
    ASSERT_EQ(doc.Markers().size(), 1u);
    EXPECT_EQ(doc.Markers()[0].name, "first");
    EXPECT_EQ(Cmd().UndoAction->text(), "&Undo Delete Marker");
}

// The mouse on the wave: a marker's line dragged moves it (a region by the edge taken), a
// double click opens its name in the list, a click on a region's band selects the region.
TEST_F(MarkersWindow, TheMouseMovesRenamesAndSelects) {
    Open(WriteStereo("a.wav", 8000));
    Twavefile& doc = form->Document();
    TWaveView& view = form->View();
    ASSERT_TRUE(doc.SetMarkers({{1000, 1000, "one"}, {3000, 5000, "two"}}));
    const int y = view.height() / 2;
    const auto drag = [&](int64_t from, int64_t to) {
        QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(Column(from), y));
        QTest::mouseMove(&view, QPoint(Column(to), y));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(Column(to), y));
    };
    drag(1000, 6500);
    ASSERT_EQ(doc.Markers().size(), 2u);
    // Moved past the region, it comes after it in the list.
    EXPECT_EQ(doc.Markers()[1].name, "one");
    EXPECT_NEAR(double(doc.Markers()[1].start), 6500, 20);
    EXPECT_EQ(Cmd().UndoAction->text(), "&Undo Move Marker");
    drag(5000, 4000);
    EXPECT_EQ(doc.Markers()[0].start, 3000);
    EXPECT_NEAR(double(doc.Markers()[0].end), 4000, 20);
    Cmd().UndoAction->trigger();
    Wait();
    EXPECT_EQ(doc.Markers()[0].end, 5000);

    dialogs.runAnswers.push_back([&](QDialog& d) {
        auto* table = d.findChild<QTableWidget*>("MarkerTable");
        EXPECT_EQ(table->currentRow(), 0);
        EXPECT_EQ(table->currentColumn(), 1);
        return true;
    });
    QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(Column(3000), y));
    EXPECT_EQ(dialogs.ran, QStringList{"MarkersDialog"});

    view.SetSelection(0, 0, false);
    QTest::mouseClick(&view, Qt::LeftButton, {},
                      QPoint(Column(3500), TWaveRenderer::TopMargin + kRegionBandRows / 2));
    EXPECT_TRUE(view.HasSelection());
    EXPECT_EQ(view.OrderedSelection(), std::make_pair(int64_t(3000), int64_t(5000)));
}

TEST_F(MarkersWindow, ExportRegionsWritesListsAndAsksAboutFilesInTheWay) {
    Open(WriteStereo("a.wav", 8000));
    Twavefile& doc = form->Document();
    ASSERT_TRUE(doc.SetMarkers({{1000, 3000, "one"}, {4000, 8000, "two"}}));
    const QString folder = dir.path("pieces");
    auto answer = [&](QDialog& d) {
        d.findChild<QLineEdit*>("ExportFolder")->setText(folder);
        d.findChild<QComboBox*>("ExportFormat")->setCurrentText("flac");
        return true;
    };
    auto done = [&] {
        for (int i = 0; i < 300 && dialogs.messages.isEmpty(); ++i) QTest::qWait(20);
    };
    QDir().mkpath(folder);
    dialogs.runAnswers.push_back(answer);
    // The FLAC settings, asked once for all the files.
    dialogs.runAnswers.push_back([](QDialog&) { return true; });
    Cmd().ExportRegionsAction->trigger();
    done();
    const QStringList files{folder + "/01 one.flac", folder + "/02 two.flac"};
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith("Written:"));
    for (const QString& f : files) EXPECT_TRUE(dialogs.messages[0].contains(f));
    for (const QString& f : files) EXPECT_TRUE(QFileInfo::exists(f)) << f.toStdString();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(dialogs.ran, (QStringList{"ExportRegionsDialog", dialogs.ran.value(1)}));

    // Files in the way: asked about; No writes nothing.
    const QDateTime before = QFileInfo(files[0]).lastModified();
    dialogs.runAnswers.push_back(answer);
    dialogs.answers.push_back(QMessageBox::No);
    Cmd().ExportRegionsAction->trigger();
    Wait();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].contains(files[1])) << dialogs.questions[0].toStdString();
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(QFileInfo(files[0]).lastModified(), before);
}

}  // namespace
