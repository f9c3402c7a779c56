// The about box, the help launcher, and that every dialog's texts can be translated.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "about.h"
#include "apperror.h"
#include "fakeprompts.h"
#include "fileinfo.h"
#include "help.h"
#include "languagecontroller.h"
#include "languagemanager.h"
#include "settform.h"
#include "settings.h"
#include "version.h"

namespace {

TEST(OwnVersion, IsTheReleaseVersionEverywhere) {
    // The same text as `orvane --version` and the package name.
    EXPECT_EQ(OwnVersion(), QStringLiteral(ORVANE_TEST_VERSION));
    EXPECT_EQ(FourFieldVersion("0.2"), "0.2.0.0");
    EXPECT_EQ(FourFieldVersion("1.2.3.4"), "1.2.3.4");
    EXPECT_EQ(FourFieldVersion(""), "n/a");
}

TEST(AboutBox, ShowsTheVersionAndOpensBothLinks) {
    TUrlCatcher urls;
    TAboutBox box;
    EXPECT_EQ(box.version->text(), OwnVersion());
    EXPECT_EQ(box.banner->pixmap().deviceIndependentSize().toSize(), QSize(300, 101));
    emit box.homeLink->linkActivated(HomePageUrl().toString());
    emit box.supportLink->linkActivated(SupportMailUrl().toString());
    ASSERT_EQ(urls.opened.size(), 2u);
    EXPECT_EQ(urls.opened[0], HomePageUrl());
    EXPECT_EQ(urls.opened[1].scheme(), "mailto");
    box.show();
    box.closeButton->click();
    EXPECT_FALSE(box.isVisible());
}

TEST(AboutBox, BannerIsDrawnAtTheScreensDensity) {
    const QPixmap sharp = DrawBanner(2.0);
    EXPECT_EQ(sharp.size(), QSize(600, 202));
    EXPECT_EQ(sharp.deviceIndependentSize().toSize(), QSize(300, 101));
}

TEST(Help, MissingManualNamesItsFullPath) {
    QTemporaryDir dir;
    const QString missing = dir.path() + "/help/index.html";
    try {
        OpenHelp(missing);
        FAIL() << "no error";
    } catch (const EAppError& e) {
        EXPECT_EQ(QString::fromStdString(e.what()), "Unable to open help file " + missing);
    }
}

TEST(Help, OpensTheManualInTheBrowserAtItsTopic) {
    TUrlCatcher urls;
    QTemporaryDir dir;
    QFile page(dir.path() + "/index.html");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    OpenHelp(page.fileName(), "mp3");
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_EQ(urls.opened[0].toLocalFile(), page.fileName());
    EXPECT_EQ(urls.opened[0].fragment(), "mp3");
}

TEST(Help, TheManualShipsWithTheProgram) {
    // Tests run from the build tree, which finds the source tree's data folder.
    const QString manual = ManualPath();
    EXPECT_TRUE(manual.endsWith("help/index.html"));
    EXPECT_TRUE(QFile::exists(manual)) << manual.toStdString();
    EXPECT_TRUE(ManualPath(1031).endsWith("help/de/index.html"));
    EXPECT_TRUE(ManualPath(2055).endsWith("help/de/index.html"));  // German (Switzerland)
    EXPECT_TRUE(ManualPath(1049).endsWith("help/ru/index.html"));
    EXPECT_EQ(ManualPath(1036), manual);  // no French manual: English
}

struct TDialogCase {
    const char* name;
    std::function<std::unique_ptr<QWidget>(TLanguageManager&)> make;
    std::function<const TLanguageController&(QWidget*)> controller;
};

void PrintTo(const TDialogCase& c, std::ostream* out) {
    *out << c.name;
}

class DialogTexts : public ::testing::TestWithParam<TDialogCase> {};

TEST_P(DialogTexts, AreAllTranslatable) {
    TLanguageManager manager;
    const std::unique_ptr<QWidget> dialog = GetParam().make(manager);
    const TLanguageController& controller = GetParam().controller(dialog.get());
    EXPECT_TRUE(controller.UnboundEntries().isEmpty())
        << controller.UnboundEntries().join(", ").toStdString();
    EXPECT_TRUE(controller.UntranslatedTexts().isEmpty())
        << controller.UntranslatedTexts().join(", ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, DialogTexts,
    ::testing::Values(TDialogCase{"Settings",
                                  [](TLanguageManager& m) {
                                      return std::make_unique<TsettingsForm>(nullptr, &m);
                                  },
                                  [](QWidget* w) -> const TLanguageController& {
                                      return static_cast<TsettingsForm*>(w)->LanguageController();
                                  }},
                      TDialogCase{"FileProperties",
                                  [](TLanguageManager&) { return std::make_unique<Tfileinfo>(); },
                                  [](QWidget* w) -> const TLanguageController& {
                                      return static_cast<Tfileinfo*>(w)->LanguageController();
                                  }},
                      TDialogCase{"About",
                                  [](TLanguageManager&) { return std::make_unique<TAboutBox>(); },
                                  [](QWidget* w) -> const TLanguageController& {
                                      return static_cast<TAboutBox*>(w)->LanguageController();
                                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DialogTexts, TheLanguageTemplateCoversEveryDialog) {
    const TSettings saved = Settings;
    Settings.lang =
        kDefaultLanguage;  // the process-wide language stays English for the other tests
    TsettingsForm settings;
    Tfileinfo properties;
    TAboutBox about;
    Settings = saved;
    const QString text = TLanguageManager::Instance().LanguageTemplate();
    for (const char* section : {"[settingsForm]", "[fileinfo]", "[aboutbox]"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(section))) << section;
    EXPECT_TRUE(text.contains("6=Background:"));
}

}  // namespace
