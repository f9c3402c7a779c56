// Undo and Redo are enabled only with something to take back or do again, and named after that
// step in the active language.
#include <gtest/gtest.h>
#include <QAction>

#include "languagemanager.h"
#include "shell_fixture.h"

namespace {

class UndoNames : public ::testing::Test, public TShellFixture {
protected:
    // "on:&Undo Fade In" / "off:&Redo": the enabled state and the caption.
    static QString State(const QAction* a) {
        return (a->isEnabled() ? QStringLiteral("on:") : QStringLiteral("off:")) + a->text();
    }
    void Run(QAction* a) {
        a->trigger();
        Wait();
    }
};

TEST_F(UndoNames, CaptionsFollowTheHistoryAndTheLanguage) {
    EXPECT_EQ(State(Cmd().UndoAction), "off:&Undo");
    EXPECT_EQ(State(Cmd().RedoAction), "off:&Redo");
    Open(WriteStereo("a.wav", 8000));
    Run(Cmd().SelectAllAction);

    struct TStep {
        QAction* command;
        const char *undo, *redo;
    };
    const TStep steps[] = {
        {Cmd().FadeInAction, "on:&Undo Fade In", "off:&Redo"},
        {Cmd().InvertAction, "on:&Undo Invert", "off:&Redo"},
        {Cmd().UndoAction, "on:&Undo Fade In", "on:&Redo Invert"},
        {Cmd().UndoAction, "off:&Undo", "on:&Redo Fade In"},
        {Cmd().RedoAction, "on:&Undo Fade In", "on:&Redo Invert"},
        // A new step ends the redo history.
        {Cmd().ReverseAction, "on:&Undo Reverse", "off:&Redo"},
    };
    for (const TStep& step : steps) {
        Run(step.command);
        SCOPED_TRACE(step.command->objectName().toStdString());
        EXPECT_EQ(State(Cmd().UndoAction), step.undo);
        EXPECT_EQ(State(Cmd().RedoAction), step.redo);
    }

    TLanguageManager& languages = TLanguageManager::Instance();
    languages.Scan(QStringLiteral(ORVANE_LANGUAGES_DIR));
    languages.SetActiveLanguage(1031);
    EXPECT_EQ(Cmd().UndoAction->text(),
              "&Rückgängig: " + Cmd().ReverseAction->text().remove(QLatin1Char('&')));
    languages.SetActiveLanguage(1033);
    EXPECT_EQ(Cmd().UndoAction->text(), "&Undo Reverse");

    // Another sound (the changes not saved): nothing to undo, the plain captions.
    dialogs.answers.push_back(QMessageBox::No);
    Open(WriteStereo("b.wav", 4000));
    EXPECT_EQ(State(Cmd().UndoAction), "off:&Undo");
    EXPECT_EQ(State(Cmd().RedoAction), "off:&Redo");
}

}  // namespace
