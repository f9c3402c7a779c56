#include <gtest/gtest.h>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTabWidget>
#include <QToolBar>

#include "filenames.h"
#include "languagecontroller.h"
#include "languagemanager.h"
#include "shell_fixture.h"
#include "shelldialogs.h"
#include "stepnames.h"

namespace {

class CommandTable : public ::testing::Test, public TShellFixture {};

// A menu as text: captions, "-" for separators, submenus in brackets.
QStringList Entries(const QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out.append("-");
        } else if (a->menu()) {
            out.append("[" + a->text() + ": " + Entries(a->menu()).join(", ") + "]");
        } else {
            out.append(a->text());
        }
    }
    return out;
}

TEST_F(CommandTable, MenusInOrderWithTheirSeparators) {
    const QList<QAction*> top = form->menuBar()->actions();
    QStringList titles;
    for (QAction* a : top) titles.append(a->text());
    EXPECT_EQ(titles, (QStringList{"&File", "&View", "&Edit", "&Operations", "&Tools", "&Help"}));
    EXPECT_EQ(Entries(top[0]->menu()).join(" | "),
              "&Open | &Close | &Save | S&ave As... | Sa&ve Selected As... | Export Re&gions... | - | "
              "[&Recent Files: , , , , , , , ] | - | &File Properties | - | S&ettings | - | E&xit");
    EXPECT_EQ(Entries(top[1]->menu()).join(" | "),
              "&Zoom In | Z&oom Out | Zoo&m Full | - | [&Scale Format: &Milliseconds, &Samples] | - | "
              "Mar&kers... | - | S&pectrogram | &Logarithmic Frequency | [Spectrogram &Window Size: "
              "256, 512, 1024, 2048, 4096, 8192] | - | Monitor &Input");
    EXPECT_EQ(Entries(top[2]->menu()).join(" | "),
              "&Undo | &Redo | - | &Cut | C&opy | &Paste | &Delete | - | &Select All | "
              "D&eselect All | - | Add &Marker | Add Re&gion | Pre&vious Marker | Ne&xt Marker");
    EXPECT_EQ(Entries(top[3]->menu()).join(" | "),
              "Pla&y | P&ause | &Stop | - | Re&cord | Rec&ord at End | - | &Fade In | Fa&de Out | &Insert Silence | "
              "&Normalization | R&everse | In&vert | A&mplify (Decrease) | Amp&lify (Increase) | - | "
              "Normali&ze Loudness... | &Trim Silence... | Mi&x to Mono | Ma&ke Stereo | S&wap Channels | - | "
              "[Filte&rs: &High-pass Filter..., Low-pass Filte&r..., E&qualizer..., &Compressor..., "
              "Lim&iter...] | [Tem&po and Pitch: Change Tem&po..., Change Pitc&h..., &Change Speed...] | - | "
              "&Get Noise Profile | Noise Red&uction...");
    EXPECT_EQ(Entries(top[5]->menu()).join(" | "), "&Contents | C&heck Updates... | - | &About");
}

TEST_F(CommandTable, ToolbarOrderTipsAndPictures) {
    auto* bar = form->findChild<QToolBar*>("ActionToolBar1");
    ASSERT_NE(bar, nullptr);
    QStringList tips;
    for (QAction* a : bar->actions()) {
        tips.append(a->isSeparator() ? "|" : a->toolTip());
        // Our own pictures stand in where the desktop has no icon theme.
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->icon().pixmap(16, 16).isNull()) << a->objectName().toStdString();
        }
    }
    EXPECT_EQ(tips.join(","),
              "Open,Save,|,Cut,Copy,Paste,Delete,|,Undo,Redo,|,Zoom In,Zoom Out,Zoom Full,|,"
              "Play,Stop,Record,|,Fade In,Fade Out,Insert Silence,Normalization,Reverse,Invert,"
              "Amplify (Increase),Amplify (Decrease),|,Help");
}

struct TShortcutCase {
    const char* command;
    const char* keys;
};

class Shortcuts : public ::testing::TestWithParam<TShortcutCase>, public TShellFixture {};

TEST_P(Shortcuts, AreThoseOfTheTable) {
    QAction* a = Cmd().Find(GetParam().command);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(GetParam().keys)));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Shortcuts,
    ::testing::Values(TShortcutCase{"OpenAction", "Ctrl+O"}, TShortcutCase{"SaveAction", "Ctrl+S"},
                      TShortcutCase{"ExitAction", "Alt+F4"}, TShortcutCase{"UndoAction", "Ctrl+Z"},
                      TShortcutCase{"RedoAction", "Ctrl+Shift+Z"},
                      TShortcutCase{"CutAction", "Ctrl+X"}, TShortcutCase{"CopyAction", "Ctrl+C"},
                      TShortcutCase{"PasteAction", "Ctrl+V"},
                      TShortcutCase{"DeleteAction", "Del"},
                      TShortcutCase{"SelectAllAction", "Ctrl+A"},
                      TShortcutCase{"PlayAction", "Ctrl+P"}, TShortcutCase{"StopAction", "Ctrl+T"},
                      TShortcutCase{"ContentsAction", "F1"}),
    [](const auto& info) { return std::string(info.param.command); });

TEST_F(CommandTable, ContextMenuOfTheView) {
    QStringList names;
    for (QAction* a : form->View().actions()) names.append(a->isSeparator() ? "-" : a->objectName());
    EXPECT_EQ(names.join(","), "CutAction,CopyAction,PasteAction,DeleteAction,-,SaveSelectedAction");
}

TEST_F(CommandTable, OpenFilterListsTheDecoderFormatsAfterTheThree) {
    const QStringList filters = TCommands::OpenFilters();
    ASSERT_GE(filters.size(), 4);
    EXPECT_TRUE(filters[0].startsWith("Supported Formats (*.wav *.mp3 *.wma"));
    EXPECT_TRUE(filters[0].contains("*.flac"));
    EXPECT_TRUE(filters.contains("Mpeg Layer 3 (*.mp3)"));
}

TEST(ChangeFileExt, ReplacesOnlyTheFileNamesExtension) {
    EXPECT_EQ(ChangeFileExt("/a/clip.txt", "wav"), "/a/clip.wav");
    EXPECT_EQ(ChangeFileExt("/a.b/clip", "mp3"), "/a.b/clip.mp3");
    EXPECT_EQ(ChangeFileExt("/a/x.tar.gz", "wav"), "/a/x.tar.wav");
}

}  // namespace

namespace {

TEST_F(CommandTable, EveryCaptionAndHintOfTheWindowCanBeTranslated) {
    TLanguageController* c = form->Translation();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->UnboundEntries(), QStringList{});
    // The window's own texts: the dialogs it holds have their own tables.
    delete form->MpegSettings();
    delete form->FilterForm();
    delete form->EncodeSettings();
    form->SetMpegSettings(nullptr);
    form->SetFilterForm(nullptr);
    form->SetEncodeSettings(nullptr);
    EXPECT_EQ(c->UntranslatedTexts().join(", ").toStdString(), "");
}

}  // namespace

namespace {

// Each menu's access keys as Qt reads them: a key given twice in one menu only cycles between
// its entries, and an entry with letters but no key is out of reach of the keyboard.
void CheckAccessKeys(const QString& where, const QList<QAction*>& actions) {
    QMap<QKeySequence, QString> taken;
    for (QAction* a : actions) {
        if (a->isSeparator() || a->text().isEmpty()) continue;
        const QKeySequence key = QKeySequence::mnemonic(a->text());
        if (key.isEmpty()) {
            // The spectrogram's window sizes are numbers and need none.
            EXPECT_FALSE(a->text().contains(QRegularExpression("\\p{L}")))
                << where.toStdString() << ": no access key in " << a->text().toStdString();
        } else {
            EXPECT_FALSE(taken.contains(key))
                << where.toStdString() << ": " << a->text().toStdString() << " and "
                << taken.value(key).toStdString() << " share "
                << key.toString().toStdString();
            taken.insert(key, a->text());
        }
        if (a->menu()) CheckAccessKeys(where + " > " + a->text(), a->menu()->actions());
    }
}

TEST_F(CommandTable, EveryMenuGivesEachEntryItsOwnAccessKeyInEveryLanguage) {
    // With the Tools entries, which the window's extras add.
    TShellDialogs extras{*form};
    ASSERT_FALSE(Cmd().ToolsMenu()->actions().isEmpty());
    TLanguageManager& languages = TLanguageManager::Instance();
    languages.Scan(QStringLiteral(ORVANE_LANGUAGES_DIR));
    for (const int32_t id : {1031, 1049, 1033}) {
        ASSERT_GE(languages.IndexOfLanguage(id), 0) << id;
        languages.SetActiveLanguage(id);
        CheckAccessKeys(QString::number(id), form->menuBar()->actions());
        // Undo and Redo as they read once there is a step to take back and to take again.
        const QString undo = Cmd().UndoAction->text(), redo = Cmd().RedoAction->text();
        Cmd().UndoAction->setText(StepCaption("undostep", Cmd().FadeInAction, undo));
        Cmd().RedoAction->setText(StepCaption("redostep", Cmd().FadeInAction, redo));
        CheckAccessKeys(QString::number(id) + " with steps", form->menuBar()->actions());
        Cmd().UndoAction->setText(undo);
        Cmd().RedoAction->setText(redo);
        CheckAccessKeys(QString::number(id) + " view", form->View().actions());
    }
    // The keys the desktop scripts press.
    EXPECT_EQ(QKeySequence::mnemonic(Cmd().AmplifyDAction->text()), QKeySequence("Alt+M"));
    EXPECT_EQ(QKeySequence::mnemonic(Cmd().ExitAction->text()), QKeySequence("Alt+X"));
}

TEST_F(CommandTable, ALanguageChangeReachesMenusTabTipsAndPanels) {
    TLanguageManager& languages = TLanguageManager::Instance();
    languages.Scan(QStringLiteral(ORVANE_LANGUAGES_DIR));
    ASSERT_GE(languages.IndexOfLanguage(1031), 0);
    languages.SetActiveLanguage(1031);
    EXPECT_EQ(form->menuBar()->actions().first()->text(), "&Datei");
    auto* tabs = form->findChild<QTabWidget*>("PageControl1");
    EXPECT_EQ(tabs->tabText(0), "Start");
    EXPECT_EQ(Cmd().OpenAction->toolTip(), "Öffnen");
    EXPECT_EQ(Cmd().ContentsAction->toolTip(), "Hilfe");
    EXPECT_TRUE(form->Panel(1)->text().startsWith("Cursorposition: "));
    languages.SetActiveLanguage(1033);
    EXPECT_EQ(form->menuBar()->actions().first()->text(), "&File");
    EXPECT_EQ(tabs->tabText(0), "Main");
    EXPECT_EQ(Cmd().OpenAction->toolTip(), "Open");
}

}  // namespace
