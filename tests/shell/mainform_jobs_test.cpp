// The main window's long jobs and history: the Cancel button and Esc, Undo and Redo showing
// each version's view, the modified mark in the caption, the history cap, sounds of 1,000
// minutes and more, and the plain text of every message box.
#include <gtest/gtest.h>
#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "gatefileio.h"
#include "jobcontrol.h"
#include "messages.h"
#include "prompts.h"
#include "settings.h"
#include "shell_fixture.h"
#include "timetext.h"
#include "wavfile.h"
#include "waveview.h"

namespace {

class MainJobs : public ::testing::Test, public TShellFixture {};


struct TCancelCase {
    const char* name;
    bool escape;  // Esc instead of the button
    bool save;    // a save instead of an edit
};

void PrintTo(const TCancelCase& c, std::ostream* out) {
    *out << c.name;
}

class CancelJob : public ::testing::TestWithParam<TCancelCase>, public TShellFixture {};

TEST_P(CancelJob, StopsTheJobAndLeavesTheDocumentAsItWas) {
    const TCancelCase& c = GetParam();
    const QString path = WriteStereo("long.wav", 30 * 44100, 44100);
    Open(path);
    ASSERT_TRUE(form->Loaded());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QPushButton* button = form->Jobs().Button();
    form->Jobs().Update();
    EXPECT_FALSE(button->isEnabled());
    const std::vector<int16_t> before = ReadWavSamples(form->Document().TempPath());
    const QStringList undo = form->Document().UndoStack().Items();
    const QString version = form->Document().TempPath();

    // Requested and cancelled while the disk holds the job's first write: it cannot have ended,
    // however slowly the test's own thread is scheduled.
    TGateFileIO gate(0, true);
    TScopedFileIO held(gate);
    if (c.save) {
        ASSERT_TRUE(form->Document().SaveRange(dir.path("copy.wav"), 0, 44100 * 30));
    } else {
        Cmd().ReverseAction->trigger();
    }
    ASSERT_TRUE(form->Document().Busy());
    if (c.save) {
        for (int ms = 0; ms < 10000 && gate.Held() == 0; ++ms) QThread::msleep(1);
        EXPECT_EQ(gate.Held(), 1);
    }
    form->Jobs().Update();
    EXPECT_TRUE(button->isEnabled());
    if (c.escape) {
        QTest::keyClick(form.get(), Qt::Key_Escape);
    } else {
        QTest::mouseClick(button, Qt::LeftButton);
    }
    EXPECT_TRUE(form->Document().Cancelled());
    EXPECT_FALSE(button->isEnabled());
    gate.Release();
    Wait();
    form->Jobs().Update();
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(form->Loaded());
    EXPECT_EQ(form->Document().TempPath(), version);
    EXPECT_EQ(form->Document().UndoStack().Items(), undo);
    EXPECT_FALSE(form->Document().Modified());
    EXPECT_EQ(ReadWavSamples(form->Document().TempPath()), before);
    EXPECT_FALSE(QFileInfo::exists(dir.path("copy.wav")));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Ways, CancelJob,
                         ::testing::Values(TCancelCase{"ButtonEdit", false, false},
                                           TCancelCase{"EscapeEdit", true, false},
                                           TCancelCase{"ButtonSave", false, true},
                                           TCancelCase{"EscapeSave", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainJobs, ACancelledLoadLeavesNoDocument) {
    const QString path = WriteStereo("load.wav", 30 * 44100, 44100);
    form->openfile(path);
    ASSERT_TRUE(form->Document().Busy());
    form->Jobs().Update();
    QTest::mouseClick(form->Jobs().Button(), Qt::LeftButton);
    Wait();
    EXPECT_FALSE(form->Loaded());
    EXPECT_TRUE(form->Document().FileName().isEmpty());
    EXPECT_EQ(form->windowTitle(), "Orvane");
    EXPECT_TRUE(form->Panel(0)->text().isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty() && dialogs.warnings.isEmpty());
    // Nothing stands in the way of opening it again.
    Open(path);
    EXPECT_TRUE(form->Loaded());
    EXPECT_EQ(form->windowTitle(), "load.wav - Orvane");
}

struct TViewCase {
    const char* name;
    QAction* TCommands::*command;
    uint32_t selStart, selStop;
};

void PrintTo(const TViewCase& c, std::ostream* out) {
    *out << c.name;
}

class UndoView : public ::testing::TestWithParam<TViewCase>, public TShellFixture {};

// What the view shows, in one comparable row (the bounds of no selection show nothing).
std::vector<int64_t> Shown(const TWaveView& v) {
    return {v.cursor,    v.selected ? v.selStart : 0, v.selected ? v.selStop : 0, v.selected,
            v.viewStart, v.viewEnd,                   v.viewSpan};
}

TEST_P(UndoView, UndoAndRedoShowEachVersionAsItWasLeft) {
    const TViewCase& c = GetParam();
    Open(WriteStereo("view.wav", 16000));
    TWaveView& view = form->View();
    view.SetCursor(6000);
    view.ZoomIn();
    form->SetScaleFormat(false);
    form->selstart()->setText(QString::number(c.selStart));
    form->selstop()->setText(QString::number(c.selStop));
    form->sel()->setChecked(true);
    form->selClick();
    const std::vector<int64_t> before = Shown(view);
    ASSERT_TRUE(view.selected);

    (Cmd().*c.command)->trigger();
    Wait();
    // The edit ended the selection: the box and the commands follow.
    EXPECT_FALSE(view.selected);
    EXPECT_FALSE(form->sel()->isChecked());
    EXPECT_FALSE(Cmd().CutAction->isEnabled());
    const std::vector<int64_t> after = Shown(view);

    Cmd().UndoAction->trigger();
    Wait();
    EXPECT_EQ(Shown(view), before);
    EXPECT_GT(view.viewSpan, 0u);
    EXPECT_TRUE(form->sel()->isChecked());
    EXPECT_TRUE(Cmd().CutAction->isEnabled());
    EXPECT_EQ(form->selstart()->text(), QString::number(c.selStart));
    EXPECT_EQ(form->selstop()->text(), QString::number(c.selStop));

    Cmd().RedoAction->trigger();
    Wait();
    EXPECT_EQ(Shown(view), after);
    EXPECT_FALSE(form->sel()->isChecked());
}

INSTANTIATE_TEST_SUITE_P(
    Edits, UndoView,
    ::testing::Values(TViewCase{"DeleteEverything", &TCommands::DeleteAction, 0, 16000},
                      TViewCase{"CutTheMiddle", &TCommands::CutAction, 4000, 9000},
                      TViewCase{"FadeIn", &TCommands::FadeInAction, 1000, 7000},
                      TViewCase{"FadeOut", &TCommands::FadeOutAction, 8000, 16000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainJobs, TheCaptionMarksChangesNotOnDisk) {
    const QString path = WriteStereo("mark.wav", 800);
    Open(path);
    const QString clean = "mark.wav - Orvane", marked = "*mark.wav - Orvane";
    struct TStep {
        const char* name;
        std::function<void()> act;
        QString caption;
    };
    const std::vector<TStep> steps = {
        {"loaded", [] {}, clean},
        {"edited", [&] { Cmd().InvertAction->trigger(); }, marked},
        {"saved", [&] { Cmd().SaveAction->trigger(); }, clean},
        {"undone", [&] { Cmd().UndoAction->trigger(); }, marked},
        {"redone to the saved version", [&] { Cmd().RedoAction->trigger(); }, clean},
    };
    for (const TStep& step : steps) {
        step.act();
        Wait();
        EXPECT_EQ(form->windowTitle(), step.caption) << step.name;
        EXPECT_EQ(QGuiApplication::applicationDisplayName(), step.caption) << step.name;
    }
}

struct TCapCase {
    const char* name;
    QMessageBox::StandardButton answer;
    int undoLeft;
};

void PrintTo(const TCapCase& c, std::ostream* out) {
    *out << c.name;
}

class HistoryCap : public ::testing::TestWithParam<TCapCase>, public TShellFixture {};

TEST_P(HistoryCap, PastTheCapTheOldestStepsGoAfterAYes) {
    // Each version of 60 s of 8 kHz stereo takes 1.83 MiB and its peak file a little more.
    Open(WriteStereo("cap.wav", 60 * 8000));
    Settings.historylimit = 4;
    Cmd().InvertAction->trigger();
    Wait();
    Cmd().ReverseAction->trigger();
    Wait();
    // Two old versions (about 3.7 MiB) fit under 4 MiB.
    EXPECT_TRUE(dialogs.questions.isEmpty());
    dialogs.answers = {GetParam().answer};
    Cmd().InvertAction->trigger();
    Wait();
    // Three (about 5.5 MiB) do not: the oldest must go.
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].contains("Steps dropped: 1."))
        << dialogs.questions[0].toStdString();
    EXPECT_TRUE(dialogs.questions[0].contains("limit of 4 MB")) << dialogs.questions[0].toStdString();
    EXPECT_EQ(form->Document().UndoStack().Items().size(), GetParam().undoLeft);
    if (GetParam().undoLeft < 3) {
        EXPECT_LE(form->Document().HistoryBytes(), 4 * 1024 * 1024);
    }
    // The versions left still undo.
    Cmd().UndoAction->trigger();
    Wait();
    EXPECT_EQ(form->Document().UndoStack().Items().size(), GetParam().undoLeft - 1);
    Settings.historylimit = 0;
}

INSTANTIATE_TEST_SUITE_P(Answers, HistoryCap,
                         ::testing::Values(TCapCase{"Yes", QMessageBox::Yes, 2},
                                           TCapCase{"No", QMessageBox::No, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TMaskCase {
    const char* name;
    uint32_t ms;
};

void PrintTo(const TMaskCase& c, std::ostream* out) {
    *out << c.name;
}

class MsEdit : public ::testing::TestWithParam<TMaskCase>, public TShellFixture {};

TEST_P(MsEdit, HoldsEveryTimeOfThePositions) {
    form->SetScaleFormat(true);
    form->WritePosition(form->selstop(), 0, GetParam().ms);
    EXPECT_EQ(timetoms(form->selstop()->text()), int64_t(GetParam().ms))
        << form->selstop()->text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Times, MsEdit,
                         ::testing::Values(TMaskCase{"Zero", 0}, TMaskCase{"OneMinute", 60000},
                                           TMaskCase{"LastOfThreeDigits", 59999999},
                                           TMaskCase{"ThousandMinutes", 60000000},
                                           TMaskCase{"SeventeenHours", 61200000},
                                           TMaskCase{"Largest", UINT32_MAX}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainJobs, SelectAllOfASeventeenHourSoundSelectsAllOfIt) {
    // 100 frames a second keeps the file small; the times are those of any rate.
    const uint32_t frames = 17 * 3600 * 100;
    const QString path = dir.path("long.wav");
    WriteWav(path, 1, 100, std::vector<int16_t>(frames, 7));
    form->SetScaleFormat(true);
    Open(path);
    ASSERT_TRUE(form->Loaded());
    Cmd().SelectAllAction->trigger();
    EXPECT_EQ(form->selstop()->text().trimmed(), "1020:00.000");
    EXPECT_TRUE(form->View().selected);
    EXPECT_EQ(form->View().selStart, 0u);
    EXPECT_EQ(form->View().selStop, frames);
}

TEST_F(MainJobs, InsertSilenceTooLongForTheDocumentIsRefused) {
    // 97,400 s at 44.1 kHz are 4,295,340,000 frames: past 2^32, which once wrapped to 8 s. The
    // only limit now is the disk, here one of 8 MiB.
    TSmallDisk disk("8m");
    if (!disk.ok()) GTEST_SKIP() << "needs root to mount a small tmpfs";
    Open(WriteStereo("short.wav", 4410, 44100));
    const QString saved = Settings.tempfolder;
    Settings.tempfolder = disk.path();
    dialogs.runAnswers = {ConfirmValue(97400000)};
    Cmd().SilenceAction->trigger();
    Wait();
    Settings.tempfolder = saved;
    EXPECT_EQ(form->Document().Frames(), 4410);
    EXPECT_EQ(dialogs.errors, QStringList{QString::fromStdString(Msg("outofmemory"))});
    // A failed edit: Undo gives back the sound as it was.
    EXPECT_FALSE(form->Document().Ready());
    EXPECT_EQ(form->Document().UndoStack().Items().size(), 1);
}

// Texts from outside (a server's reply, a file's name) in every kind of box the program shows.
struct TBoxCase {
    const char* name;
    std::function<void(const QString&)> show;
};

void PrintTo(const TBoxCase& c, std::ostream* out) {
    *out << c.name;
}

class PlainBoxes : public ::testing::TestWithParam<TBoxCase> {};

TEST_P(PlainBoxes, ShowOutsideTextAsPlainText) {
    const QString text = "<a href=\"http://example.invalid/\">2.0</a> <b>bold</b>";
    Qt::TextFormat format = Qt::RichText;
    QString shown;
    // The box is modal: look at it from the event loop it runs, then close it.
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        format = box->textFormat();
        shown = box->text();
        box->done(QMessageBox::No);
    });
    probe.start(10);
    GetParam().show(text);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, text);
}

TDesktopDialogs gBoxes(nullptr);
TMessageBoxPrompts gPrompts;

INSTANTIATE_TEST_SUITE_P(
    Kinds, PlainBoxes,
    ::testing::Values(
        TBoxCase{"Message", [](const QString& t) { gBoxes.Message(t); }},
        TBoxCase{"Error", [](const QString& t) { gBoxes.Error(t); }},
        TBoxCase{"Warning", [](const QString& t) { gBoxes.Warning(t, "caption"); }},
        TBoxCase{"Ask",
                 [](const QString& t) {
                     gBoxes.Ask(QMessageBox::Question, t, QMessageBox::Yes | QMessageBox::No);
                 }},
        TBoxCase{"PromptInformation", [](const QString& t) { gPrompts.Information(t); }},
        TBoxCase{"PromptQuestion", [](const QString& t) { gPrompts.QuestionOk(t); }},
        TBoxCase{"PromptYesNo", [](const QString& t) { gPrompts.AskYesNo(t); }},
        TBoxCase{"PromptPlain", [](const QString& t) { gPrompts.Plain(t); }},
        TBoxCase{"PromptError", [](const QString& t) { gPrompts.Error(t); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
