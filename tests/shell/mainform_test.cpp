#include <gtest/gtest.h>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>

#include "settings.h"
#include "shell_fixture.h"
#include "wavfile.h"
#include "vumeter.h"
#include "waveview.h"

namespace {

class MainForm : public ::testing::Test, public TShellFixture {};

TEST_F(MainForm, EnabledStatesFollowLoadSelectPlayStopAndClose) {
    TCommands& c = Cmd();
    for (QAction* a : {c.CutAction, c.CopyAction, c.DeleteAction, c.SaveSelectedAction}) {
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    }
    // Nothing to take back or do again yet.
    EXPECT_FALSE(c.UndoAction->isEnabled());
    EXPECT_FALSE(c.RedoAction->isEnabled());
    EXPECT_TRUE(c.StopAction->isEnabled());
    EXPECT_TRUE(c.PlayAction->isEnabled());

    Open(WriteStereo("song.wav", 8000));
    ASSERT_TRUE(form->Loaded());
    EXPECT_EQ(form->windowTitle(), "song.wav - Orvane");
    EXPECT_EQ(form->Panel(0)->text(), "Format: 8000 Hz, 2 Ch.");
    EXPECT_EQ(form->Panel(3)->text(), "Duration: 0:00:01.000");

    c.SelectAllAction->trigger();
    for (QAction* a : {c.CutAction, c.CopyAction, c.DeleteAction, c.SaveSelectedAction}) {
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    }
    EXPECT_TRUE(form->sel()->isChecked());

    c.PlayAction->trigger();
    EXPECT_TRUE(form->Playing());
    EXPECT_FALSE(c.PlayAction->isEnabled());
    EXPECT_TRUE(c.StopAction->isEnabled());

    c.StopAction->trigger();
    EXPECT_FALSE(form->Playing());
    EXPECT_TRUE(c.PlayAction->isEnabled());
    EXPECT_FALSE(c.StopAction->isEnabled());

    c.CloseAction->trigger();
    EXPECT_FALSE(form->Loaded());
    EXPECT_EQ(form->windowTitle(), "Orvane");
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(form->Panel(i)->text().isEmpty()) << i;
    for (QAction* a : {c.CutAction, c.CopyAction, c.DeleteAction, c.SaveSelectedAction}) {
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    }
}

TEST_F(MainForm, TheLoadedPathIsRefusedButTheSamePathInOtherCaseOpens) {
    const QString lower = WriteStereo("clip.wav", 800);
    const QString upper = WriteStereo("CLIP.wav", 1600);
    Open(lower);
    Open(lower);
    EXPECT_EQ(dialogs.messages, QStringList{"This file already loaded"});
    Open(upper);
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(form->Document().FileName(), upper);
    EXPECT_EQ(form->Document().Frames(), 1600u);
}

TEST_F(MainForm, SaveChangesYesSavesAndThenCloses) {
    const QString path = WriteStereo("edit.wav", 800);
    Open(path);
    const std::vector<int16_t> before = ReadWavSamples(path);
    Cmd().InvertAction->trigger();
    Wait();
    ASSERT_TRUE(form->Document().Modified());
    dialogs.answers = {QMessageBox::Yes};
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    Wait();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->SettingsWritten());
    EXPECT_EQ(dialogs.questions, QStringList{"Would you like to save changes?"});
    const std::vector<int16_t> after = ReadWavSamples(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[1], int16_t(-before[1]));
}

TEST_F(MainForm, SaveChangesNoClosesWithoutSavingAndCancelKeepsEverything) {
    const QString path = WriteStereo("edit.wav", 800);
    Open(path);
    const QByteArray original = ReadAll(path);
    Cmd().InvertAction->trigger();
    Wait();

    dialogs.answers = {QMessageBox::Cancel};
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->Loaded());
    EXPECT_TRUE(form->Document().Modified());
    EXPECT_FALSE(form->SettingsWritten());

    dialogs.answers = {QMessageBox::No};
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(form->SettingsWritten());
    EXPECT_EQ(ReadAll(path), original);
}

TEST_F(MainForm, ASourceThatCannotBeWrittenIsSavedThroughSaveAs) {
    // WAV content under a name whose format the program cannot write.
    const QString path = WriteStereo("voice.wma", 800);
    Open(path);
    ASSERT_TRUE(form->Loaded());
    Cmd().ReverseAction->trigger();
    Wait();
    dialogs.saveAnswers = {TSaveChoice{dir.path("voice.wav"), 1, {}}};
    Cmd().SaveAction->trigger();
    Wait();
    EXPECT_EQ(dialogs.saveTypesOffered.size(), 1);
    // The source's own name with the extension of the type offered, so Enter keeps the source.
    EXPECT_EQ(dialogs.saveProposals, QStringList{dir.path("voice.flac")});
    EXPECT_TRUE(QFileInfo::exists(dir.path("voice.wav")));
    EXPECT_EQ(form->windowTitle(), "voice.wav - Orvane");
    EXPECT_FALSE(form->Document().Modified());
    // The file saved under its new name heads the recent files.
    EXPECT_EQ(Cmd().RecentActions().front()->text(), "&1 " + dir.path("voice.wav"));
}

TEST_F(MainForm, CancellingTheSaveAsOfTheSaveChangesQuestionAbandonsTheClose) {
    Open(WriteStereo("voice.wma", 800));
    Cmd().ReverseAction->trigger();
    Wait();
    dialogs.answers = {QMessageBox::Yes};
    dialogs.saveAnswers = {std::nullopt};
    EXPECT_FALSE(form->close());
    Wait();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->Loaded());
    EXPECT_FALSE(form->ClosingFlow().Waiting());
    // The next job's end does not close the window either.
    Cmd().InvertAction->trigger();
    Wait();
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainForm, ScaleFormatTextsWithoutADocument) {
    form->SetScaleFormat(true);
    EXPECT_EQ(form->selstart()->text(), "00:00.000");
    EXPECT_EQ(form->selstop()->text(), "00:00.000");
    EXPECT_TRUE(Cmd().MsAction->isChecked());
    form->SetScaleFormat(false);
    EXPECT_EQ(form->selstart()->text(), "0");
    EXPECT_EQ(form->selstop()->text(), "0");
    EXPECT_TRUE(Cmd().SmplAction->isChecked());
    EXPECT_FALSE(Cmd().MsAction->isChecked());
    EXPECT_EQ(Settings.selectiontype, 1);
    EXPECT_EQ(form->Panel(1)->text(), "Cursor Position: 0");
}

TEST_F(MainForm, ScaleFormatTextsWithADocument) {
    Open(WriteStereo("song.wav", 16000));
    form->View().SetSelection(4000, 12000, true);
    form->SetScaleFormat(true);
    EXPECT_EQ(form->selstart()->text(), "00:00.500");
    EXPECT_EQ(form->selstop()->text(), "00:01.500");
    form->SetScaleFormat(false);
    EXPECT_EQ(form->selstart()->text(), "4000");
    EXPECT_EQ(form->selstop()->text(), "12000");
}

TEST_F(MainForm, SpectrogramEntriesShowItAndAreKeptInTheSettings) {
    Open(WriteStereo("song.wav", 16000));
    ASSERT_FALSE(form->View().SpectrogramShown());
    Cmd().SpectrogramAction->trigger();
    EXPECT_TRUE(form->View().SpectrogramShown());
    Cmd().Find("SpectrumWindowAction4096")->trigger();
    Cmd().LogFrequencyAction->trigger();
    EXPECT_EQ(Settings.spectrogram, 1);
    EXPECT_EQ(Settings.spectrumwindow, 4096);
    EXPECT_EQ(Settings.spectrumlog, 1);
    // Selecting works as over the waveform.
    Cmd().SelectAllAction->trigger();
    EXPECT_TRUE(form->View().selected);
    EXPECT_EQ(form->View().selStop, 16000u);
    Cmd().SpectrogramAction->trigger();
    EXPECT_FALSE(form->View().SpectrogramShown());
    EXPECT_EQ(Settings.spectrogram, 0);
    // Shown again from the settings as a new window starts.
    Settings.spectrogram = 1;
    Cmd().CheckSpectrogram();
    EXPECT_TRUE(Cmd().SpectrogramAction->isChecked());
    EXPECT_TRUE(Cmd().Find("SpectrumWindowAction4096")->isChecked());
    EXPECT_TRUE(form->View().SpectrogramShown());
}

struct TSelectAllCase {
    const char* name;
    bool milliseconds;
    uint32_t rate;
    uint32_t frames;
    uint32_t expectedStop;
};

class SelectAll : public ::testing::TestWithParam<TSelectAllCase>, public TShellFixture {};

TEST_P(SelectAll, SelectsTheWholeDocument) {
    const TSelectAllCase& p = GetParam();
    form->SetScaleFormat(p.milliseconds);
    Open(WriteStereo("song.wav", p.frames, p.rate));
    Cmd().SelectAllAction->trigger();
    EXPECT_TRUE(form->View().selected);
    EXPECT_EQ(form->View().selStart, 0u);
    EXPECT_EQ(form->View().selStop, p.expectedStop);
}

// In milliseconds the length goes to 1000 ms and back to 44100 frames: one millisecond's rounding.
INSTANTIATE_TEST_SUITE_P(Formats, SelectAll,
                         ::testing::Values(TSelectAllCase{"SamplesExact", false, 44100, 44110, 44110},
                                           TSelectAllCase{"MillisecondsRounded", true, 44100, 44110,
                                                          44100}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainForm, TypedBoundsAreOrderedAndClampedAndBadOnesChangeNothing) {
    form->SetScaleFormat(false);
    Open(WriteStereo("song.wav", 8000));
    form->selstart()->setText("9000");
    form->selstop()->setText("100");
    form->sel()->setChecked(true);
    form->selClick();
    EXPECT_EQ(form->View().selStart, 100u);
    EXPECT_EQ(form->View().selStop, 8000u);

    form->selstart()->setText("");
    form->selClick();
    EXPECT_EQ(dialogs.errors, QStringList{"'' is not a valid integer value"});
    EXPECT_EQ(form->View().selStart, 100u);
    EXPECT_EQ(form->View().selStop, 8000u);
}

struct TShrinkCase {
    const char* name;
    bool cut;
    uint32_t zoomSpan;  // 0: whole document visible
    uint32_t expectedSpan;
};

class ShrinkAfterRemoval : public ::testing::TestWithParam<TShrinkCase>, public TShellFixture {};

TEST_P(ShrinkAfterRemoval, PageAndViewLoseTheRemovedLength) {
    const TShrinkCase& p = GetParam();
    Open(WriteStereo("song.wav", 8000));
    TWaveView& view = form->View();
    if (p.zoomSpan) {
        view.viewStart = 0;
        view.viewEnd = view.viewSpan = p.zoomSpan;
    }
    view.SetSelection(1000, 3000, true);
    form->SetSelectionState(true);
    (p.cut ? Cmd().CutAction : Cmd().DeleteAction)->trigger();
    EXPECT_EQ(view.viewSpan, p.expectedSpan);
    EXPECT_EQ(view.viewEnd, p.expectedSpan);
    EXPECT_FALSE(view.selected);
    EXPECT_EQ(view.cursor, 1000u);
    Wait();
    EXPECT_EQ(form->Document().Frames(), 6000u);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, ShrinkAfterRemoval,
    ::testing::Values(TShrinkCase{"CutWholeView", true, 0, 6000},
                      TShrinkCase{"DeleteWholeView", false, 0, 6000},
                      TShrinkCase{"CutMoreThanVisibleClampsAtZero", true, 1500, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SmoothJoins, DeleteCrossFadesTheJoinOnlyWhenTheSettingIsOn) {
    const TSettings saved = Settings;
    for (const int smooth : {0, 1}) {
        SCOPED_TRACE(smooth);
        TShellFixture f;
        f.Open(f.WriteStereo("song.wav", 8000));
        // The window has read the settings at its start; the edit reads them as they are now.
        Settings.smoothjoins = smooth;
        Settings.joinfade = 5;  // 40 frames at 8000 Hz
        TWaveView& view = f.form->View();
        view.SetSelection(1000, 3050, true);
        f.form->SetSelectionState(true);
        f.Cmd().DeleteAction->trigger();
        f.Wait();
        TLargeFile* store = f.form->Document().Store();
        std::vector<int16_t> got(size_t(store->SampleCount()));
        store->ReadSamples(got.data(), 0, int64_t(got.size()) - 1);
        // Sample i of the sawtooth is (i % 200) * 10 - 1000; the exact join has a step of 500.
        auto exact = [](size_t i) {
            const size_t source = i < 2000 ? i : i + 2 * 2050;
            return int16_t(int(source % 200) * 10 - 1000);
        };
        int differing = 0;
        for (size_t i = 0; i < got.size(); ++i) differing += got[i] != exact(i);
        EXPECT_EQ(differing > 0, smooth == 1);
        EXPECT_LE(differing, 40 * 2);  // only the window around the join
    }
    Settings = saved;
}

struct TArgsCase {
    const char* name;
    int count;
    bool opens;
};

class CommandLine : public ::testing::TestWithParam<TArgsCase> {};

TEST_P(CommandLine, OnlyExactlyOneFileOpens) {
    TTempFolder files;
    QStringList args;
    for (int i = 0; i < GetParam().count; ++i) {
        args.append(files.path(QStringLiteral("a%1.wav").arg(i)));
        WriteWav(args.back(), 1, 8000, std::vector<int16_t>(80, 5));
    }
    TShellFixture f(args);
    f.Wait();
    EXPECT_EQ(f.form->Loaded(), GetParam().opens);
    if (GetParam().opens) {
        EXPECT_EQ(f.form->Document().FileName(), args.front());
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, CommandLine,
                         ::testing::Values(TArgsCase{"None", 0, false}, TArgsCase{"One", 1, true},
                                           TArgsCase{"Two", 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainForm, ADropOfThreeFilesOpensTheFirst) {
    QList<QUrl> urls;
    for (const char* name : {"one.wav", "two.wav", "three.wav"}) {
        urls.append(QUrl::fromLocalFile(WriteStereo(name, 400)));
    }
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &drop);
    Wait();
    Wait();
    EXPECT_EQ(form->Document().FileName(), urls.front().toLocalFile());
}

TEST_F(MainForm, SaveAsAppendsTheTypeWhenTheExtensionDiffersInCase) {
    Open(WriteStereo("song.wav", 800));
    dialogs.saveAnswers = {TSaveChoice{dir.path("x.MP3"), 2, {}}};
    dialogs.runAnswers = {[](QDialog&) { return true; }};
    Cmd().SaveAsAction->trigger();
    Wait();
    EXPECT_EQ(dialogs.ran, QStringList{"mpegsettings"});
    EXPECT_TRUE(QFileInfo::exists(dir.path("x.MP3.mp3")));
    EXPECT_EQ(form->Document().FileName(), dir.path("x.MP3.mp3"));
    EXPECT_EQ(form->windowTitle(), "x.MP3.mp3 - Orvane");
    EXPECT_EQ(Settings.savetype, 2);
}

TEST_F(MainForm, CancellingTheMp3DialogLeavesCaptionAndNameAlone) {
    const QString path = WriteStereo("song.wav", 800);
    Open(path);
    dialogs.saveAnswers = {TSaveChoice{dir.path("out.mp3"), 2, {}}};
    dialogs.runAnswers = {[](QDialog&) { return false; }};
    Cmd().SaveAsAction->trigger();
    Wait();
    EXPECT_EQ(form->Document().FileName(), path);
    EXPECT_EQ(form->windowTitle(), "song.wav - Orvane");
    EXPECT_FALSE(QFileInfo::exists(dir.path("out.mp3")));
}

TEST_F(MainForm, SaveSelectedAsReplacesTheExtensionWithTheType) {
    const QString path = WriteStereo("song.wav", 800);
    Open(path);
    form->View().SetSelection(100, 300, true);
    form->SetSelectionState(true);
    dialogs.saveAnswers = {TSaveChoice{dir.path("clip.txt"), 1, {}}};
    Cmd().SaveSelectedAction->trigger();
    Wait();
    ASSERT_TRUE(QFileInfo::exists(dir.path("clip.wav")));
    EXPECT_EQ(ReadWavSamples(dir.path("clip.wav")).size(), 400u);
    EXPECT_EQ(form->Document().FileName(), path);
}

TEST_F(MainForm, SaveAsOverAnExistingFileAsksAndNoLeavesItAlone) {
    Open(WriteStereo("song.wav", 800));
    const QString other = WriteStereo("other.wav", 100);
    const QByteArray before = ReadAll(other);
    dialogs.saveAnswers = {TSaveChoice{other, 1, {}}};
    dialogs.answers = {QMessageBox::No};
    Cmd().SaveAsAction->trigger();
    Wait();
    EXPECT_EQ(dialogs.questions, QStringList{"This file already exists. Overwrite?"});
    EXPECT_EQ(dialogs.icons.value(0), QMessageBox::Critical);
    EXPECT_EQ(ReadAll(other), before);
}

struct TEffectCase {
    const char* name;
    QAction* TCommands::*action;
    const char* title;
    const char* label;
    int minimum, maximum, value;
};

class EffectDialog : public ::testing::TestWithParam<TEffectCase>, public TShellFixture {};

TEST_P(EffectDialog, OpensWithTheCommandsDefault) {
    const TEffectCase& p = GetParam();
    Open(WriteStereo("song.wav", 800));
    Tfilterform* shown = nullptr;
    dialogs.runAnswers = {[&](QDialog& d) {
        shown = &static_cast<Tfilterform&>(d);
        return false;
    }};
    (Cmd().*p.action)->trigger();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->windowTitle(), p.title);
    EXPECT_EQ(shown->ValueName()->title(), p.label);
    EXPECT_EQ(shown->Value(), p.value);
    if (p.minimum != p.maximum) {
        EXPECT_EQ(shown->ValueEdit()->minimum(), p.minimum);
        EXPECT_EQ(shown->ValueEdit()->maximum(), p.maximum);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Effects, EffectDialog,
    ::testing::Values(
        TEffectCase{"Silence", &TCommands::SilenceAction, "Silence Duration", "Silence (ms)", 0, 0,
                    500},
        TEffectCase{"Normalization", &TCommands::NormalizationAction, "Normalization Settings",
                    "Normalization (%)", 0, 100, 95},
        TEffectCase{"AmplifyIncrease", &TCommands::AmplifyIAction, "Amplify", "Amplify (%)", 0,
                    200, 101},
        TEffectCase{"AmplifyDecrease", &TCommands::AmplifyDAction, "Amplify", "Amplify (%)", 0,
                    200, 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainForm, InsertSilenceAddsTheTypedMillisecondsAtTheCursor) {
    Open(WriteStereo("song.wav", 8000));
    form->View().SetCursor(2000);
    dialogs.runAnswers = {ConfirmValue(250)};
    Cmd().SilenceAction->trigger();
    Wait();
    EXPECT_EQ(form->Document().Frames(), 10000u);
    const std::vector<int16_t> s = ReadWavSamples(form->Document().TempPath());
    EXPECT_EQ(s[2000 * 2], 0);
    EXPECT_EQ(s[3999 * 2 + 1], 0);
}

TEST_F(MainForm, SettingsAreWrittenOnceOnClose) {
    form->VolumeBar()->setValue(-9000);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(LoadSettings().volume, -9000);
    EXPECT_EQ(LoadSettings().width, form->width());
}

}  // namespace

namespace {

// Runs the event loop for a while (timers fire).
void Spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST_F(MainForm, PasteFollowsTheClipboard) {
    Open(WriteStereo("song.wav", 800));
    QGuiApplication::clipboard()->clear();
    Spin(20);
    EXPECT_FALSE(Cmd().PasteAction->isEnabled());
    form->View().SetSelection(0, 100, true);
    form->SetSelectionState(true);
    Cmd().CopyAction->trigger();
    Wait();
    Spin(20);
    EXPECT_TRUE(Cmd().PasteAction->isEnabled());
    Cmd().PasteAction->trigger();
    Wait();
    EXPECT_EQ(form->Document().Frames(), 900u);
}

TEST_F(MainForm, TheScrollBarIsUsableOnlyWhenTheDocumentIsLongerThanAPageAndAHundred) {
    Open(WriteStereo("song.wav", 8000));
    Spin(120);
    EXPECT_FALSE(form->Scroll().isEnabled());
    Cmd().ZoomInAction->trigger();
    Spin(120);
    EXPECT_LT(form->View().viewSpan, 7900u);
    EXPECT_TRUE(form->Scroll().isEnabled());
}

TEST_F(MainForm, PlayingRunsTheLevelTimerAndStopResetsTheMeter) {
    Open(WriteStereo("song.wav", 8000));
    Cmd().PlayAction->trigger();
    ASSERT_TRUE(form->Playing());
    backend->Advance(2000);
    Spin(60);
    EXPECT_GT(form->Meter().Bar(0), 0);
    Cmd().PauseAction->trigger();
    EXPECT_FALSE(form->Playing());
    EXPECT_EQ(form->Meter().Bar(0), 0);
    EXPECT_TRUE(Cmd().PlayAction->isEnabled());
}

}  // namespace

namespace {

TEST_F(MainForm, AFileThatFailsToLoadLeavesNoDocumentAndCanBeTriedAgain) {
    const QString path = dir.path("broken.wav");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a sound");
    f.close();
    // Once after a loaded document, once again: each time the load is really tried.
    Open(WriteStereo("good.wav", 800));
    for (int attempt = 1; attempt <= 2; ++attempt) {
        Open(path);
        Wait();
        EXPECT_FALSE(form->Loaded());
        EXPECT_EQ(form->windowTitle(), "Orvane") << attempt;
        ASSERT_EQ(dialogs.warnings.size(), attempt);
        EXPECT_TRUE(dialogs.warnings.back().startsWith("File Loading Error!|"));
        EXPECT_TRUE(dialogs.messages.isEmpty()) << "refused as already loaded";
        EXPECT_FALSE(form->ProgressBar()->isVisible());
        for (int i = 0; i < 4; ++i) EXPECT_TRUE(form->Panel(i)->text().isEmpty()) << i;
        for (QAction* a : {Cmd().UndoAction, Cmd().RedoAction, Cmd().PlayAction,
                           Cmd().StopAction}) {
            EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
        }
        EXPECT_TRUE(form->Document().FileName().isEmpty());
    }
    // A good file afterwards brings the commands back.
    Open(dir.path("good.wav"));
    EXPECT_TRUE(form->Loaded());
    EXPECT_TRUE(Cmd().PlayAction->isEnabled());
}

}  // namespace
