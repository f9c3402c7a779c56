// The main window's File, Tools and Help extras wired to its commands.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTcpServer>

#include "../dialogs/fakeprompts.h"
#include "about.h"
#include "fileinfo.h"
#include "languagemanager.h"
#include "settform.h"
#include "settings.h"
#include "shell_fixture.h"
#include "shelldialogs.h"
#include "testutil.h"
#include "tools.h"
#include "updatecheck.h"
#include "version.h"

namespace {

struct ShellDialogs : ::testing::Test {
    TShellFixture shell;
    TShellDialogs extras{*shell.form};
    TUrlCatcher urls;
};

TEST_F(ShellDialogs, CaptionWithoutADocumentIsTheProductName) {
    EXPECT_EQ(shell.form->windowTitle(), "Orvane");
}

TEST_F(ShellDialogs, SettingsAndAboutShowTheirDialogs) {
    shell.Cmd().SettingsAction->trigger();
    EXPECT_TRUE(extras.settingsForm->isVisible());
    EXPECT_FALSE(extras.settingsForm->isModal());
    shell.Cmd().AboutAction->trigger();
    EXPECT_TRUE(extras.aboutBox->isVisible());
}

TEST_F(ShellDialogs, PropertiesOnlyWithADocumentAndFilledFromIt) {
    shell.Cmd().PropertiesAction->trigger();
    EXPECT_FALSE(extras.fileinfo->isVisible());
    shell.Open(shell.WriteStereo("tone.wav", 16000));
    shell.Cmd().PropertiesAction->trigger();
    EXPECT_TRUE(extras.fileinfo->isVisible());
    EXPECT_EQ(extras.fileinfo->Edit3->text(), "0:00:02.000");
    EXPECT_EQ(extras.fileinfo->Edit5->text(), "Stereo");
}

TEST_F(ShellDialogs, ContentsOpensTheManualInTheBrowser) {
    shell.Cmd().ContentsAction->trigger();
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_TRUE(urls.opened[0].toLocalFile().endsWith("help/index.html"));
    EXPECT_TRUE(shell.dialogs.errors.isEmpty());
}

TEST_F(ShellDialogs, UpdateCommandIsOffWhileTheCheckRuns) {
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost);
    const QString host = QStringLiteral("127.0.0.1:%1").arg(silent.serverPort());
    TEnv env("ORVANE_UPDATE_HOST", host.toStdString());
    TEnv direct("no_proxy", "127.0.0.1");
    extras.updateCheck->SetTimeout(200);
    bool finished = false;
    extras.updateCheck->OnFinished = [&] { finished = true; };
    shell.Cmd().UpdateAction->trigger();
    EXPECT_FALSE(shell.Cmd().UpdateAction->isEnabled());
    EXPECT_TRUE(WaitFor([&] { return finished; }));
    EXPECT_TRUE(shell.Cmd().UpdateAction->isEnabled());
    ASSERT_EQ(shell.dialogs.questions.size(), 1);
    EXPECT_EQ(shell.dialogs.questions[0], "Unable to connect to " + host);
    EXPECT_EQ(shell.dialogs.icons[0], QMessageBox::Information);
}

TEST_F(ShellDialogs, ToolsMenuOffersFiveToolsAndSendsToTheWebPageWhenOneIsMissing) {
    const QList<QAction*> entries = shell.Cmd().ToolsMenu()->actions();
    ASSERT_EQ(entries.size(), kCompanionToolCount);
    EXPECT_EQ(entries[0]->text(), "&Volume Control");
    QTemporaryDir empty;
    TEnv path("PATH", empty.path().toStdString());
    entries[2]->trigger();
    ASSERT_EQ(shell.dialogs.questions.size(), 1);
    EXPECT_EQ(shell.dialogs.questions[0],
              "CD Ripper (asunder) is not installed. Install the package asunder.");
    EXPECT_EQ(shell.dialogs.icons[0], QMessageBox::NoIcon);
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0], QUrl(QString::fromLatin1(CompanionTools[2].page)));
}

TEST_F(ShellDialogs, LanguageChosenInSettingsIsStoredWhenTheWindowCloses) {
    TLanguageManager& manager = TLanguageManager::Instance();
    const int german = manager.IndexOfLanguage(1031);
    ASSERT_GT(german, 0);
    extras.settingsForm->LangBox->setCurrentIndex(german);
    emit extras.settingsForm->LangBox->activated(german);
    EXPECT_EQ(manager.ActiveLanguage(), 1031);
    EXPECT_EQ(extras.aboutBox->closeButton->text(), QString::fromUtf8("&Schlie\xc3\x9f"
                                                                      "en"));
    EXPECT_EQ(shell.Cmd().ToolsMenu()->actions().at(0)->text(),
              QString::fromUtf8("&Lautst\xc3\xa4rkeregelung"));
    shell.form->close();
    EXPECT_TRUE(shell.form->SettingsWritten());
    EXPECT_EQ(LoadSettings().lang, 1031);
    manager.SetActiveLanguage(kDefaultLanguage);
}

}  // namespace
