// Closing and replacing the document: every way in (Close, Open, a drop, Exit, an effect) by the
// document's state and the user's answers, against what the window and the disk show after.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include "settings.h"
#include "shell_fixture.h"
#include "shelltexts.h"
#include "wavfile.h"

namespace {

enum class TWay { Close, Open, Drop, Exit, Effect };
enum class TState { Unmodified, Modified, FailedEdit, Busy };
using B = QMessageBox::StandardButton;

struct TFlowCase {
    const char* name;
    TWay way;
    TState state;
    std::vector<B> answers;
    std::vector<const char*> asked;  // message keys, in order
    const char* loaded;              // the document's file after: "a", "b" or "" (none)
    bool saved;                      // a.wav holds the edited sound
    bool windowOpen;
};

class ClosingFlow : public ::testing::TestWithParam<TFlowCase>, public TShellFixture {
protected:
    // Until no job runs and the requests waiting for jobs have gone on.
    void Settle() {
        for (int i = 0; i < 5; ++i) Wait();
    }
    static QStringList VersionFiles() {
        return QDir(TempFolder()).entryList({"~ov??????"}, QDir::Files);
    }
    void Invert() {
        Cmd().SelectAllAction->trigger();
        Cmd().InvertAction->trigger();
    }
};

TEST_P(ClosingFlow, FollowsTheStateAndTheAnswers) {
    const TFlowCase& c = GetParam();
    const QString a = WriteStereo("a.wav", 8000);
    const QString b = WriteStereo("b.wav", 1600);
    const std::vector<int16_t> original = ReadWavSamples(a);
    Open(a);
    ASSERT_TRUE(form->Loaded());
    if (c.state == TState::Modified || c.state == TState::FailedEdit) {
        Invert();
        Wait();
    }
    if (c.state == TState::FailedEdit) {
        // An edit whose version file cannot even be named fails half way.
        const QString saved = Settings.tempfolder;
        Settings.tempfolder = dir.path("vanished/");
        Invert();
        Wait();
        Settings.tempfolder = saved;
        ASSERT_FALSE(form->Document().Ready());
        ASSERT_TRUE(form->Document().Modified());
    }
    if (c.state == TState::Busy) {
        Cmd().ReverseAction->trigger();
        ASSERT_TRUE(form->Document().Busy());
    }
    dialogs.questions.clear();
    dialogs.answers.assign(c.answers.begin(), c.answers.end());
    dialogs.openAnswer = b;

    switch (c.way) {
        case TWay::Close:
            Cmd().CloseAction->trigger();
            break;
        case TWay::Open:
            Cmd().OpenAction->trigger();
            break;
        case TWay::Drop: {
            DropFile(form.get(), b);
            break;
        }
        case TWay::Exit:
            Cmd().ExitAction->trigger();
            break;
        case TWay::Effect:
            Cmd().SilenceAction->trigger();
            break;
    }
    Settle();

    QStringList asked;
    for (const char* key : c.asked) asked << MsgText(key);
    EXPECT_EQ(dialogs.questions.join(" | ").toStdString(), asked.join(" | ").toStdString());
    EXPECT_TRUE(dialogs.answers.empty()) << "answers left over";
    const QString expected = *c.loaded ? dir.path(QString(c.loaded) + ".wav") : QString();
    EXPECT_EQ(form->Document().FileName().toStdString(), expected.toStdString());
    EXPECT_EQ(form->isVisible(), c.windowOpen);
    const std::vector<int16_t> onDisk = ReadWavSamples(a);
    ASSERT_EQ(onDisk.size(), original.size());
    EXPECT_EQ(onDisk[1] == int16_t(-original[1]), c.saved);
    if (c.state == TState::Busy) {
        // Nothing was started meanwhile: no file dialog, no effect dialog.
        EXPECT_TRUE(dialogs.openFilters.isEmpty());
        EXPECT_TRUE(dialogs.ran.isEmpty());
    }
    // A document closed, whatever its state, leaves no version file behind.
    if (!*c.loaded) {
        EXPECT_EQ(VersionFiles(), QStringList());
        EXPECT_EQ(form->windowTitle(), "Orvane");
    }
}

constexpr B Yes = QMessageBox::Yes, No = QMessageBox::No, Cancel = QMessageBox::Cancel;
const char* const kSave = "savechanges";
const char* const kFailed = "lastfailed";
const char* const kWait = "operationinprogress";

INSTANTIATE_TEST_SUITE_P(
    Cases, ClosingFlow,
    ::testing::Values(
        TFlowCase{"CloseUnmodified", TWay::Close, TState::Unmodified, {}, {}, "", false, true},
        TFlowCase{"CloseCancel", TWay::Close, TState::Modified, {Cancel}, {kSave}, "a", false,
                  true},
        TFlowCase{"CloseNo", TWay::Close, TState::Modified, {No}, {kSave}, "", false, true},
        // Yes saves and then closes the document only; the window stays.
        TFlowCase{"CloseYes", TWay::Close, TState::Modified, {Yes}, {kSave}, "", true, true},
        TFlowCase{"OpenUnmodified", TWay::Open, TState::Unmodified, {}, {}, "b", false, true},
        TFlowCase{"OpenCancel", TWay::Open, TState::Modified, {Cancel}, {kSave}, "a", false,
                  true},
        TFlowCase{"OpenNo", TWay::Open, TState::Modified, {No}, {kSave}, "b", false, true},
        // Yes saves, then the chosen file opens.
        TFlowCase{"OpenYes", TWay::Open, TState::Modified, {Yes}, {kSave}, "b", true, true},
        TFlowCase{"DropYes", TWay::Drop, TState::Modified, {Yes}, {kSave}, "b", true, true},
        TFlowCase{"DropNo", TWay::Drop, TState::Modified, {No}, {kSave}, "b", false, true},
        TFlowCase{"ExitUnmodified", TWay::Exit, TState::Unmodified, {}, {}, "", false, false},
        TFlowCase{"ExitCancel", TWay::Exit, TState::Modified, {Cancel}, {kSave}, "a", false,
                  true},
        TFlowCase{"ExitYes", TWay::Exit, TState::Modified, {Yes}, {kSave}, "", true, false},
        // After a failed edit Undo comes first; the earlier edit is then asked about.
        TFlowCase{"FailedCloseUndoThenSave", TWay::Close, TState::FailedEdit, {Yes, Yes},
                  {kFailed, kSave}, "", true, true},
        TFlowCase{"FailedOpenUndoThenCancel", TWay::Open, TState::FailedEdit, {Yes, Cancel},
                  {kFailed, kSave}, "a", false, true},
        TFlowCase{"FailedCloseCancel", TWay::Close, TState::FailedEdit, {Cancel}, {kFailed}, "a",
                  false, true},
        TFlowCase{"FailedExitNo", TWay::Exit, TState::FailedEdit, {No}, {kFailed}, "", false,
                  false},
        TFlowCase{"FailedExitUndoThenSave", TWay::Exit, TState::FailedEdit, {Yes, Yes},
                  {kFailed, kSave}, "", true, false},
        // While a job runs every one of them is refused with the same box.
        TFlowCase{"BusyClose", TWay::Close, TState::Busy, {}, {kWait}, "a", false, true},
        TFlowCase{"BusyOpen", TWay::Open, TState::Busy, {}, {kWait}, "a", false, true},
        TFlowCase{"BusyDrop", TWay::Drop, TState::Busy, {}, {kWait}, "a", false, true},
        TFlowCase{"BusyExit", TWay::Exit, TState::Busy, {}, {kWait}, "a", false, true},
        TFlowCase{"BusyEffect", TWay::Effect, TState::Busy, {}, {kWait}, "a", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
