// The FLAC, Vorbis and Opus settings dialog, and the Save As types that lead to it.
#include <gtest/gtest.h>

#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>

#include "languagecontroller.h"
#include "languagefile.h"
#include "shell_fixture.h"

namespace {

class EncodeSave : public ::testing::Test, public TShellFixture {};

struct TTypeCase {
    const char* name;
    int typeIndex;
    const char* written;  // what a name without an extension becomes
    TEncodeFormat format;
};

void PrintTo(const TTypeCase& c, std::ostream* os) {
    *os << c.name;
}

class EncodeSaveType : public ::testing::TestWithParam<TTypeCase>, public TShellFixture {};

// Each type appends its extension, shows its page of the dialog, and saves with what was set.
TEST_P(EncodeSaveType, ShowsItsPageAndSavesWithIt) {
    const TTypeCase c = GetParam();
    Open(WriteStereo("song.wav", 8000));
    dialogs.saveAnswers = {TSaveChoice{dir.path("out"), c.typeIndex, {}}};
    int page = -1;
    dialogs.runAnswers = {[&](QDialog& d) {
        auto& settings = static_cast<Tencodesettings&>(d);
        page = settings.Pages()->currentIndex();
        settings.flacLevel()->setValue(8);
        settings.vorbisQuality()->setValue(-1);
        settings.opusBitrate()->setValue(32);
        return true;
    }};
    Cmd().SaveAsAction->trigger();
    Wait();
    EXPECT_EQ(dialogs.ran, QStringList{"encodesettings"});
    EXPECT_EQ(page, static_cast<int>(c.format));
    EXPECT_TRUE(QFileInfo::exists(dir.path(c.written)));
    EXPECT_EQ(form->windowTitle(), QString(c.written) + " - Orvane");
    EXPECT_FALSE(form->Document().Modified());
    EXPECT_EQ(form->EncodeSettings()->Settings(),
              (TEncodeSettings{c.format, 8, -1, 32}));
}

INSTANTIATE_TEST_SUITE_P(Types, EncodeSaveType,
                         ::testing::Values(TTypeCase{"Flac", 3, "out.flac", TEncodeFormat::kFlac},
                                           TTypeCase{"Vorbis", 4, "out.ogg", TEncodeFormat::kVorbis},
                                           TTypeCase{"Opus", 5, "out.opus", TEncodeFormat::kOpus}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EncodeSave, ASourceThatCannotBeWrittenIsOfferedFlacAndACancelSavesNothing) {
    Open(WriteStereo("voice.wma", 800));
    Cmd().ReverseAction->trigger();
    Wait();
    dialogs.saveAnswers = {TSaveChoice{dir.path("voice.flac"), 3, {}}};
    dialogs.runAnswers = {[](QDialog&) { return false; }};
    Cmd().SaveAction->trigger();
    Wait();
    EXPECT_EQ(dialogs.saveTypesOffered, QList<int>{3});
    EXPECT_FALSE(QFileInfo::exists(dir.path("voice.flac")));
    EXPECT_TRUE(form->Document().Modified());
    EXPECT_EQ(form->Document().FileName(), dir.path("voice.wma"));
}

TEST_F(EncodeSave, APasteAtAnotherRateSaysSoOnTheStatusBar) {
    Open(WriteStereo("song.wav", 8000));
    const QString other = WriteStereo("other.wav", 4000, 16000);
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray image = f.readAll();
    auto* notifier = form->findChild<QStatusBar*>();
    ASSERT_NE(notifier, nullptr);
    ASSERT_TRUE(form->Document().Clipboard()->SetWave(image));
    form->Document().Paste(0);
    Wait();
    EXPECT_EQ(form->Document().Frames(), 8000u + 2000u);
    EXPECT_EQ(notifier->currentMessage(), "The pasted audio was converted from 16000 Hz to 8000 Hz.");
}

struct TShipped {
    const char* file;
    const char* title;
};

// The shipped languages translate every text of the dialog.
TEST(EncodeSettingsDialog, EveryTextIsTranslatedInTheShippedLanguages) {
    Tencodesettings dialog;
    ASSERT_NE(dialog.Translation(), nullptr);
    EXPECT_TRUE(dialog.Translation()->UnboundEntries().isEmpty());
    EXPECT_EQ(dialog.Translation()->UntranslatedTexts().join(", ").toStdString(), "");
    for (const TShipped& s : {TShipped{"de.lng", "Kodierer-Einstellungen"},
                              TShipped{"ru.lng", "Параметры кодировщика"}}) {
        const TLanguageFile file =
            LoadLanguageFile(QStringLiteral(ORVANE_LANGUAGES_DIR "/") + s.file);
        for (const TTranslatable& t : dialog.Translation()->Table())
            EXPECT_FALSE(file.Text("encodesettings", t.id).isEmpty()) << s.file << " " << t.id;
        EXPECT_EQ(file.Text("encodesettings", 1), QString::fromUtf8(s.title));
    }
}

}  // namespace
