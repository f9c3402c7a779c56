// The filter effects and noise reduction from the Operations menu: each dialog shows its
// parameters, what is typed into it reaches the document, and noise reduction asks for a
// profile first.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QTest>

#include "commands.h"
#include "dialogs/effectdialog.h"
#include "dialogs/eqdialog.h"
#include "dialogs/noisedialog.h"
#include "largefile.h"
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

// Every effect dialog of the Operations menu offers Preview; pressing it renders the effect on
// the selection and plays it, and Cancel leaves the sound as it was.
TEST_F(CleanupDialogs, EveryEffectDialogPreviewsWithoutChangingTheSound) {
    struct TRow {
        QAction* TCommands::*action;
        const char* dialog;
        bool profile;  // noise reduction needs one first
    };
    for (const TRow& row : {TRow{&TCommands::NormalizationAction, "filterform", false},
                            TRow{&TCommands::AmplifyIAction, "filterform", false},
                            TRow{&TCommands::LoudnessAction, "filterform", false},
                            TRow{&TCommands::TrimSilenceAction, "filterform", false},
                            TRow{&TCommands::EqualizerAction, "eqdialog", false},
                            TRow{&TCommands::NoiseReductionAction, "noisedialog", true},
                            TRow{&TCommands::LowPassAction, "effectdialog", false}}) {
        SCOPED_TRACE(row.dialog);
        static int n = 0;
        Open(WriteStereo(QString("take%1.wav").arg(++n), 16000));
        Twavefile& doc = form->Document();
        auto samples = [&] {
            std::vector<int16_t> out(size_t(doc.Store()->SampleCount()));
            doc.Store()->ReadSamples(out.data(), 0, int64_t(out.size()) - 1);
            return out;
        };
        form->View().SetSelection(2000, 6000, true);
        if (row.profile) {
            Cmd().NoiseProfileAction->trigger();
            Wait();
        }
        const std::vector<int16_t> before = samples();
        bool previewed = false;
        dialogs.ran.clear();
        dialogs.runAnswers = {[&](QDialog& d) {
            auto* button = d.findChild<QPushButton*>(QStringLiteral("PreviewButton"));
            if (!button || button->isHidden()) return false;
            // The equalizer's bands start flat: one band raised makes an effect.
            if (auto* eq = dynamic_cast<TEqDialog*>(&d)) eq->Field(0, 1)->setValue(6);
            QTest::mouseClick(button, Qt::LeftButton);
            QElapsedTimer t;
            t.start();
            while ((doc.Busy() || doc.PreviewPath().isEmpty()) && t.elapsed() < 20000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            // The range's frames, the effect's result on them.
            previewed = ReadWavSamples(doc.PreviewPath()).size() == size_t(2 * 4000);
            return false;
        }};
        (Cmd().*row.action)->trigger();
        Wait();
        ASSERT_FALSE(dialogs.ran.isEmpty());
        EXPECT_EQ(dialogs.ran.front(), row.dialog);
        EXPECT_TRUE(previewed);
        EXPECT_FALSE(doc.CanUndo());
        EXPECT_FALSE(doc.Modified());
        EXPECT_TRUE(doc.PreviewPath().isEmpty());
        EXPECT_EQ(samples(), before);
    }
}

}  // namespace
