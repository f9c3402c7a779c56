// The filter effects and noise reduction from the Operations menu: each dialog shows its
// parameters, what is typed into it reaches the document, and noise reduction asks for a
// profile first.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QTest>

#include "commands.h"
#include "dialogs/effectdialog.h"
#include "dialogs/eqdialog.h"
#include "dialogs/noisedialog.h"
#include "shell_fixture.h"

namespace {

class CleanupDialogs : public ::testing::Test, public TShellFixture {};

// Typed into the first field as a person would, then OK.
std::function<bool(QDialog&)> TypeFirst(const QString& text, QString* title = nullptr) {
    return [text, title](QDialog& d) {
        auto& dialog = static_cast<TEffectDialog&>(d);
        if (title) *title = dialog.windowTitle();
        dialog.Field(0)->selectAll();
        QTest::keyClicks(dialog.Field(0), text);
        return true;
    };
}

TEST_F(CleanupDialogs, EachEffectRunsWithWhatWasTyped) {
    struct TRow {
        QAction* TCommands::*action;
        const char* typed;
        const char* title;
        double lengthRatio;
    };
    for (const TRow& row : {TRow{&TCommands::LowPassAction, "2000", "Low-pass Filter", 1.0},
                            TRow{&TCommands::HighPassAction, "300", "High-pass Filter", 1.0},
                            TRow{&TCommands::LimiterAction, "-6", "Limiter", 1.0},
                            TRow{&TCommands::TempoAction, "50", "Change Tempo", 2.0},
                            TRow{&TCommands::SpeedAction, "200", "Change Speed", 0.5}}) {
        static int n = 0;
        // The sound the row before changed is let go unsaved.
        dialogs.answers = {QMessageBox::No};
        Open(WriteStereo(QString("song%1.wav").arg(++n), 16000));
        ASSERT_EQ(form->Document().Frames(), 16000);
        QString title;
        dialogs.runAnswers = {TypeFirst(row.typed, &title)};
        (Cmd().*row.action)->trigger();
        Wait();
        EXPECT_EQ(title, row.title);
        EXPECT_TRUE(form->Document().CanUndo()) << row.title;
        EXPECT_NEAR(double(form->Document().Frames()), 16000 * row.lengthRatio, 16000 * 0.005)
            << row.title;
    }
}

TEST_F(CleanupDialogs, EqualizerPresetFillsTheBands) {
    Open(WriteStereo("song.wav", 16000));
    std::vector<double> chosen;
    dialogs.runAnswers = {[&](QDialog& d) {
        auto& eq = static_cast<TEqDialog&>(d);
        eq.Presets()->setCurrentIndex(2);
        emit eq.Presets()->activated(2);
        chosen = eq.Values();
        return true;
    }};
    Cmd().EqualizerAction->trigger();
    Wait();
    EXPECT_EQ(chosen, EqPresets()[1].bands);
    EXPECT_TRUE(form->Document().CanUndo());
}

TEST_F(CleanupDialogs, NoiseReductionNeedsAProfileFromASelection) {
    Open(WriteStereo("song.wav", 16000));
    Cmd().NoiseReductionAction->trigger();
    Cmd().NoiseProfileAction->trigger();
    EXPECT_EQ(dialogs.errors.size(), 2);
    EXPECT_FALSE(form->Document().CanUndo());
    form->View().SetSelection(0, 8000, true);
    Cmd().NoiseProfileAction->trigger();
    Wait();
    ASSERT_TRUE(form->Document().HasNoiseProfile());
    double strength = 0;
    dialogs.runAnswers = {[&](QDialog& d) {
        strength = static_cast<TNoiseDialog&>(d).Strength();
        return true;
    }};
    Cmd().NoiseReductionAction->trigger();
    Wait();
    EXPECT_EQ(strength, 12);
    EXPECT_TRUE(form->Document().CanUndo());
    EXPECT_EQ(form->Document().Frames(), 16000);
}

}  // namespace
