// The settings dialog: the language chosen at creation, the folder button and the colours.
#include <gtest/gtest.h>

#include <QSettings>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "colorbox.h"
#include "displaycolors.h"
#include "fakeprompts.h"
#include "languagemanager.h"
#include "settform.h"
#include "testutil.h"
#include "waverender.h"

namespace {

constexpr uint16_t kFrench = 1036;

// A private user data folder, optionally holding a French language file for the dialog.
class SettingsDialog : public ::testing::Test {
protected:
    QTemporaryDir data;
    TEnv dataHome{"XDG_DATA_HOME", data.path().toStdString()};
    TEnv desktop{"LC_ALL", "fr_FR.UTF-8"};
    TSettings saved = Settings;
    TDisplayColors savedColors = DisplayColors;
    TFakePrompts prompts;

    ~SettingsDialog() override {
        Settings = saved;
        DisplayColors = savedColors;
    }
    void WriteFrench() {
        QDir().mkpath(data.path() + "/orvane/languages");
        QFile file(data.path() + "/orvane/languages/french.lng");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "LangID=1036\n[settingsForm]\n1=Param\xe8tres\n2=Langue\n9=&Valider\n[$CONSTANTS]\n"
            "selectfolder=Choisissez un dossier :\n");
    }
};

TEST_F(SettingsDialog, FirstStartTakesTheDesktopsLanguageWhenAFileOffersIt) {
    WriteFrench();
    Settings.lang = -1;
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    EXPECT_EQ(manager.ActiveLanguage(), kFrench);
    const int french = manager.IndexOfLanguage(kFrench);
    ASSERT_GT(french, 0);
    EXPECT_EQ(form.LangBox->currentIndex(), french);
    EXPECT_EQ(form.LangBox->count(), manager.LanguageCount());
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Param\xc3\xa8tres"));
    EXPECT_EQ(form.pageControl->tabText(0), "Langue");
    EXPECT_EQ(form.Button1->text(), "&Valider");
}

TEST_F(SettingsDialog, FirstStartWithoutAFileForTheDesktopsLanguageStaysEnglish) {
    Settings.lang = -1;
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    EXPECT_EQ(manager.ActiveLanguage(), kDefaultLanguage);
    EXPECT_EQ(form.LangBox->currentIndex(), 0);
    EXPECT_EQ(form.LangBox->itemText(0), manager.LanguageName(0));
    EXPECT_EQ(form.windowTitle(), "Settings");
    EXPECT_EQ(form.pageControl->tabText(0), "Language");
}

TEST_F(SettingsDialog, SavedLanguageWinsOverTheDesktopsAndTheListSwitchesBack) {
    WriteFrench();
    Settings.lang = kDefaultLanguage;
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    EXPECT_EQ(manager.ActiveLanguage(), kDefaultLanguage);

    const int french = manager.IndexOfLanguage(kFrench);
    form.LangBox->setCurrentIndex(french);
    emit form.LangBox->activated(french);
    EXPECT_EQ(manager.ActiveLanguage(), kFrench);
    EXPECT_EQ(form.pageControl->tabText(0), "Langue");
    form.LangBox->setCurrentIndex(0);
    emit form.LangBox->activated(0);
    EXPECT_EQ(form.pageControl->tabText(0), "Language");
    EXPECT_EQ(Settings.lang, kDefaultLanguage);  // stored only when the main window closes
}

TEST_F(SettingsDialog, ShowsTheSettingsItWasCreatedWith) {
    Settings.tempfolder = "/var/tmp/";
    Settings.backcolor = 0x0000FF;   // red in the lowest byte
    Settings.scalecolor = 14474460;  // the default
    Settings.wavecolor = 0x030201;   // no name: the custom entry
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    EXPECT_EQ(form.tmpedit->text(), "/var/tmp/");
    EXPECT_EQ(form.backColor->currentText(), "Red");
    EXPECT_EQ(form.scaleColor->currentIndex(), TColorBox::kDefaultIndex);
    EXPECT_EQ(form.waveColor->currentIndex(), TColorBox::kCustomIndex);
    EXPECT_EQ(form.waveColor->Selected(), QColor(1, 2, 3));
}

TEST_F(SettingsDialog, EditingTabShowsAndSetsTheJoinAndSnapSettings) {
    Settings.smoothjoins = 0;
    Settings.joinfade = 12;
    Settings.snapzero = 1;
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    EXPECT_FALSE(form.JoinsBox->isChecked());
    EXPECT_EQ(form.JoinLength->value(), 12);
    // The length matters only with the joins smoothed.
    EXPECT_FALSE(form.JoinLength->isEnabled());
    EXPECT_TRUE(form.SnapBox->isChecked());
    form.JoinsBox->click();
    form.JoinLength->setValue(250);  // held at the longest offered
    form.SnapBox->click();
    EXPECT_EQ(Settings.smoothjoins, 1);
    EXPECT_TRUE(form.JoinLength->isEnabled());
    EXPECT_EQ(Settings.joinfade, 100);
    EXPECT_EQ(Settings.snapzero, 0);
}

TEST_F(SettingsDialog, HistoryLimitIsOffByDefaultAndSetAtOnceAndKept) {
    QSettings("Quillfen", "Orvane").clear();
    Settings = LoadSettings();
    EXPECT_EQ(Settings.historylimit, 0);
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    EXPECT_EQ(form.HistoryLimit->value(), 0);
    EXPECT_EQ(form.HistoryLimit->text(), "No limit");
    form.HistoryLimit->setValue(2048);
    EXPECT_EQ(Settings.historylimit, 2048);
    SaveSettings(Settings);
    EXPECT_EQ(LoadSettings().historylimit, 2048);
    // A cap the field cannot show is no cap.
    QSettings("Quillfen", "Orvane").setValue("Settings/historylimit", -5);
    EXPECT_EQ(LoadSettings().historylimit, 0);
}

TEST_F(SettingsDialog, FolderButtonSetsTheFolderAtOnceAndCancelChangesNothing) {
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    QString asked;
    QString answer = "/srv/scratch";
    form.ChooseFolder = [&](QWidget*, const QString& prompt) {
        asked = prompt;
        return answer;
    };
    form.SpeedButton1Click();
    EXPECT_EQ(asked, "Select a folder for temporary files:");
    EXPECT_EQ(form.tmpedit->text(), "/srv/scratch");
    EXPECT_EQ(Settings.tempfolder, "/srv/scratch");

    answer.clear();  // cancelled
    form.SpeedButton1Click();
    EXPECT_EQ(Settings.tempfolder, "/srv/scratch");
}

TEST_F(SettingsDialog, ColourChangeReachesTheNextRedrawAndCancelKeepsIt) {
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    form.show();
    const int navy = form.backColor->findText("Navy");
    form.backColor->setCurrentIndex(navy);
    emit form.backColor->activated(navy);
    EXPECT_EQ(Settings.backcolor, 0x800000);  // blue 128 in the third byte
    EXPECT_EQ(DisplayColors.BackColor, QColor(0, 0, 128));

    form.Button2->click();  // Cancel only hides
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(DisplayColors.BackColor, QColor(0, 0, 128));

    TWaveRenderer renderer;
    TWaveState state;
    renderer.RedrawAll(state, TWaveSource{}, 400, 200);
    // Inside the wave area, between the dotted grid lines.
    EXPECT_EQ(QColor(renderer.backBuffer.pixel(15, 100)), QColor(0, 0, 128));
}

}  // namespace

namespace {

// The folder chooser as the user meets it: existing folders only, no new-folder button, the
// prompt in its title, centred on the screen.
TEST(FolderChooser, OffersExistingFoldersCentredOnTheScreen) {
    QTemporaryDir folder;
    QWidget owner;
    owner.show();
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Pick one");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
        EXPECT_TRUE(dialog->testOption(QFileDialog::ReadOnly));  // no button for new folders
        EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);
        const QRect screen = owner.screen()->geometry();
        EXPECT_NEAR(dialog->x() + dialog->width() / 2, screen.center().x(), 2);
        EXPECT_NEAR(dialog->y() + dialog->height() / 2, screen.center().y(), 2);
        dialog->setDirectory(folder.path());
        dialog->selectFile(folder.path());
        checked = true;
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(QDir(ChooseExistingFolder(&owner, "Pick one")).canonicalPath(),
              QDir(folder.path()).canonicalPath());
    EXPECT_TRUE(checked);
}

}  // namespace

namespace {

// The presets set all three colours at once, in the record, the display colours and the boxes;
// the cursor and separator follow the background's lightness.
TEST_F(SettingsDialog, DarkAndLightPresetsSetTheWaveformsColours) {
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    int redraws = 0;
    form.OnColorsChanged = [&] { ++redraws; };
    struct TCase {
        QPushButton* button;
        int32_t back, scale, wave;
        QColor cursor;
    } cases[] = {
        {form.LightPreset, 0xFFFFFF, 0xD8D8D8, 0x8C4A00, QColor(190, 0, 0)},
        {form.DarkPreset, 0x000000, 0xDCDCDC, 0xABF01C, QColor(255, 255, 0)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        c.button->click();
        EXPECT_EQ(Settings.backcolor, c.back);
        EXPECT_EQ(Settings.scalecolor, c.scale);
        EXPECT_EQ(Settings.wavecolor, c.wave);
        EXPECT_EQ(DisplayColors.BackColor, ColorFromSetting(c.back));
        EXPECT_EQ(DisplayColors.WaveColor, ColorFromSetting(c.wave));
        EXPECT_EQ(form.backColor->Selected(), ColorFromSetting(c.back));
        EXPECT_EQ(DisplayColors.CursorColor, c.cursor);
    }
    EXPECT_GT(redraws, 0);
    // The dark preset is the built-in default.
    EXPECT_EQ(TSettings{}.backcolor, kDarkWavePreset.backcolor);
    EXPECT_EQ(TSettings{}.wavecolor, kDarkWavePreset.wavecolor);
}

TEST_F(SettingsDialog, PlainWheelZoomIsASetting) {
    Settings.wheelzoom = 0;
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    EXPECT_FALSE(form.WheelZoomBox->isChecked());
    form.WheelZoomBox->setChecked(true);
    EXPECT_EQ(Settings.wheelzoom, 1);
    SaveSettings(Settings);
    EXPECT_EQ(LoadSettings().wheelzoom, 1);
}

}  // namespace

// The Recording tab: the default entry first, then the devices as the sound system lists them,
// a chosen device that is not plugged in kept as the choice; each choice set at once.
TEST_F(SettingsDialog, RecordingTabListsTheDevicesAndKeepsTheChoice) {
    struct TCase {
        const char* name;
        std::vector<std::string> devices;
        QString chosen;
        QStringList items;
        int current;
    };
    const TCase cases[] = {
        {"no device", {}, "", {"Default"}, 0},
        {"the default chosen", {"Built-in", "USB"}, "", {"Default", "Built-in", "USB"}, 0},
        {"one chosen", {"Built-in", "USB"}, "USB", {"Default", "Built-in", "USB"}, 2},
        {"one unplugged", {"Built-in"}, "USB", {"Default", "Built-in", "USB"}, 2},
    };
    for (const TCase& k : cases) {
        SCOPED_TRACE(k.name);
        Settings.recdevice = k.chosen;
        TLanguageManager manager;
        TsettingsForm form(nullptr, &manager, &prompts);
        form.ListDevices = [&] { return k.devices; };
        form.FillDevices();
        QStringList items;
        for (int i = 0; i < form.DeviceBox->count(); ++i) items.append(form.DeviceBox->itemText(i));
        EXPECT_EQ(items, k.items);
        EXPECT_EQ(form.DeviceBox->currentIndex(), k.current);
        emit form.DeviceBox->activated(1);
        EXPECT_EQ(Settings.recdevice, QString::fromStdString(k.devices.empty() ? "" : k.devices[0]));
    }
    Settings.recrate = 44100;
    Settings.recchannels = 2;
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager, &prompts);
    EXPECT_EQ(form.RateBox->currentText(), "44100 Hz");
    EXPECT_EQ(form.ChannelsBox->currentText(), "Stereo");
    emit form.RateBox->activated(form.RateBox->findData(48000));
    emit form.ChannelsBox->activated(form.ChannelsBox->findData(1));
    EXPECT_EQ(Settings.recrate, 48000);
    EXPECT_EQ(Settings.recchannels, 1);
}
