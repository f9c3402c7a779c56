// The German and Russian files shipped with the program translate every dialog text.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLocale>
#include <QTabWidget>

#include "about.h"
#include "catalogue.h"
#include "colorbox.h"
#include "datapaths.h"
#include "fileinfo.h"
#include "languagecontroller.h"
#include "languagefile.h"
#include "languagemanager.h"
#include "settform.h"
#include "settings.h"
#include "tools.h"
#include "wavfile.h"

namespace {

struct TShipped {
    const char* name;
    const char* file;
    uint16_t langId;
    const char* locale;
    // File Properties for 3 minutes of 44.1 kHz stereo, and 1.5 MB of history, in the language.
    const char* dataSize;
    const char* stereo;
    const char* rate;
    const char* history;
};

void PrintTo(const TShipped& c, std::ostream* out) {
    *out << c.name;
}

class ShippedLanguage : public ::testing::TestWithParam<TShipped> {
protected:
    TLanguageFile Load() const {
        return LoadLanguageFile(ProgramDataFolder() + "/languages/" +
                                QString::fromLatin1(GetParam().file));
    }
    static void ExpectComplete(const TLanguageFile& file, const TLanguageController& controller) {
        for (const TTranslatable& t : controller.Table())
            EXPECT_FALSE(file.Text(controller.Section(), t.id).isEmpty())
                << controller.Section().toStdString() << " " << t.id << " " << t.object << "."
                << t.property;
    }
};

TEST_P(ShippedLanguage, TranslatesEveryDialogText) {
    const TLanguageFile file = Load();
    ASSERT_EQ(file.langId, GetParam().langId);
    TLanguageManager manager;
    ExpectComplete(file, TsettingsForm(nullptr, &manager).LanguageController());
    ExpectComplete(file, Tfileinfo().LanguageController());
    ExpectComplete(file, TAboutBox().LanguageController());
    for (int id = 1; id <= kCompanionToolCount; ++id)
        EXPECT_FALSE(file.Text("tools", id).isEmpty()) << id;
}

// Every named message the program shows (units and channel names in the dialogs included).
TEST_P(ShippedLanguage, TranslatesEveryMessage) {
    const TLanguageFile file = Load();
    QFile resource(QStringLiteral(":/LANG_CONSTS"));
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    const std::vector<TCatalogueEntry> english = ReadCatalogue(resource.readAll(), 1252);
    ASSERT_GT(english.size(), 50u);
    for (const TCatalogueEntry& e : english) {
        const QString text = file.Constant(e.key);
        EXPECT_FALSE(text.isEmpty()) << e.key.toStdString();
        // The same placeholders, so no number goes missing from the translated text.
        for (const char* mark : {"%1", "%2", "%3"})
            EXPECT_EQ(text.contains(QLatin1String(mark)), e.text.contains(QLatin1String(mark)))
                << e.key.toStdString() << " " << mark;
    }
}

// The values File Properties composes: units, channel names and the decimal sign.
TEST_P(ShippedLanguage, WritesUnitsAndChannelsInTheLanguage) {
    TLanguageManager& languages = TLanguageManager::Instance();
    languages.Scan(ProgramDataFolder() + "/languages");
    languages.SetActiveLanguage(GetParam().langId);
    const QLocale saved;
    QLocale::setDefault(QLocale(QLatin1String(GetParam().locale)));
    const TFileInfoTexts t = FileInfoTexts(sfWav, 180.0, 31752000, 2, 44100, 7938000);
    const QString history = DiskSizeText(1572864);
    QLocale::setDefault(saved);
    languages.SetActiveLanguage(1033);
    EXPECT_EQ(t.dataSize, QString::fromUtf8(GetParam().dataSize));
    EXPECT_EQ(t.channels, QString::fromUtf8(GetParam().stereo));
    EXPECT_EQ(t.sampleRate, QString::fromUtf8(GetParam().rate));
    EXPECT_EQ(history, QString::fromUtf8(GetParam().history));
}

TEST_P(ShippedLanguage, SwitchesTheSettingsDialogIncludingEveryColourList) {
    const TSettings saved = Settings;
    Settings.lang = GetParam().langId;
    TLanguageManager manager;
    TsettingsForm form(nullptr, &manager);
    Settings = saved;
    ASSERT_EQ(manager.ActiveLanguage(), GetParam().langId);
    const TLanguageFile file = Load();
    EXPECT_EQ(form.windowTitle(), file.Text("settingsForm", 1));
    EXPECT_EQ(form.pageControl->tabText(2), file.Text("settingsForm", 4));
    for (TColorBox* box : {form.backColor, form.waveColor})
        EXPECT_EQ(box->itemText(2), file.Text("settingsForm", 22));  // black
    // A new sound's rates in the words File Properties uses for a sound's rate.
    EXPECT_EQ(form.RateBox->itemText(0), QString::fromUtf8(GetParam().rate));
    EXPECT_EQ(form.RateBox->itemText(1),
              QString::fromUtf8(GetParam().rate).replace("44100", "48000"));
    EXPECT_EQ(form.DeviceBox->itemText(0), file.Constant(QStringLiteral("recdefaultdevice")));
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguage,
                         ::testing::Values(TShipped{"German", "de.lng", 1031, "de",
                                                    "31752000 Bytes", "Stereo", "44100 Hz",
                                                    "1,5 MB"},
                                           TShipped{"Russian", "ru.lng", 1049, "ru",
                                                    "31752000 байт", "Стерео", "44100 Гц",
                                                    "1,5 МБ"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
