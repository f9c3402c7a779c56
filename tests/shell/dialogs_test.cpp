#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <limits>
#include <optional>

#include "dialogs/filterform.h"
#include "dialogs/mpegsettings.h"
#include "languagecontroller.h"

namespace {

QStringList Items(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out.append(list->itemText(i));
    return out;
}

TEST(FilterForm, DesignStateUntilSet) {
    Tfilterform form;
    EXPECT_EQ(form.windowTitle(), "Effect");
    EXPECT_EQ(form.ValueName()->title(), " Param Name");
    EXPECT_EQ(form.ValueEdit()->minimum(), 1);
    EXPECT_EQ(form.ValueEdit()->maximum(), 200);
    EXPECT_EQ(form.Value(), 1);
}

TEST(FilterForm, KeepsValuesWithinBoundsUnlessTheyAreEqual) {
    Tfilterform form;
    form.setproperties("Amplify", "Amplify (%)", 0, 200, 101);
    form.SetValue(500);
    EXPECT_EQ(form.Value(), 200);
    form.setproperties("Silence Duration", "Silence (ms)", 0, 0, 500);
    form.SetValue(3600000);
    EXPECT_EQ(form.Value(), 3600000);
    EXPECT_EQ(form.ValueEdit()->minimum(), std::numeric_limits<int>::min());
}

TEST(MpegSettings, FirstShowingAt44100OffersTheMpeg1Table) {
    Tmpegsettings dialog;
    EXPECT_EQ(Items(dialog.bitrate()).size(), 15);  // the design's items until a rate is known
    dialog.FormActivate(44100);
    EXPECT_EQ(Items(dialog.bitrate()).size(), 14);
    EXPECT_EQ(Items(dialog.bitrate()).first(), "320");
    EXPECT_EQ(Items(dialog.avgbitrate()).last(), "32");
    EXPECT_EQ(dialog.bitrate()->currentIndex(), 0);
}

TEST(MpegSettings, ChoicesFollowTheControlsAndARateChangeResetsOnlyTheBitrates) {
    Tmpegsettings dialog;
    dialog.FormActivate(44100);
    dialog.vbrmode()->setCurrentIndex(1);
    dialog.vbrquality()->setValue(6);
    dialog.crc()->setChecked(true);
    dialog.bitrate()->setCurrentIndex(3);
    EXPECT_EQ(dialog.Choices().bitrateIndex, 3);
    dialog.FormActivate(22050);
    EXPECT_EQ(Items(dialog.bitrate()).first(), "160");
    EXPECT_EQ(dialog.Choices().bitrateIndex, 0);
    EXPECT_EQ(dialog.Choices().modeIndex, 1);
    EXPECT_EQ(dialog.Choices().qualityPosition, 6);
    EXPECT_TRUE(dialog.Choices().crc);
}

TEST(MpegSettings, ModeShowsItsPageAndTheMaximumBitrateOutsideCbr) {
    Tmpegsettings dialog;
    dialog.FormActivate(44100);
    EXPECT_TRUE(dialog.maxbitrate()->isHidden());
    dialog.vbrmode()->setCurrentIndex(1);
    EXPECT_FALSE(dialog.maxbitrate()->isHidden());
    EXPECT_EQ(dialog.Notebook3()->currentIndex(), 1);
    dialog.maxbitrate()->setCurrentIndex(2);
    dialog.vbrmode()->setCurrentIndex(0);
    EXPECT_TRUE(dialog.maxbitLabel()->isHidden());
    // Hidden, the choice still goes into the configuration.
    EXPECT_EQ(dialog.Choices().maxBitrateIndex, 2);
}

// The fields start at one x in every mode, the page's own field included, and the label column
// keeps its width when the maximum bitrate comes and goes.
TEST(MpegSettings, LabelColumnStaysPutBetweenModes) {
    Tmpegsettings dialog;
    dialog.FormActivate(44100);
    dialog.show();
    const auto x = [&](const QWidget* w) { return w->mapTo(&dialog, QPoint(0, 0)).x(); };
    std::optional<int> fieldX;
    for (int mode : {0, 1, 2, 0}) {
        dialog.vbrmode()->setCurrentIndex(mode);
        dialog.adjustSize();
        QWidget* pageField = mode == 1   ? static_cast<QWidget*>(dialog.vbrquality())
                             : mode == 2 ? static_cast<QWidget*>(dialog.avgbitrate())
                                         : dialog.bitrate();
        if (!fieldX) fieldX = x(dialog.vbrmode());
        EXPECT_EQ(x(dialog.vbrmode()), *fieldX) << "mode " << mode;
        EXPECT_EQ(x(dialog.bitrate()), *fieldX) << "mode " << mode;
        EXPECT_EQ(x(pageField), *fieldX) << "mode " << mode;
    }
    dialog.vbrmode()->setCurrentIndex(1);
    const auto* smaller = dialog.findChild<QLabel*>("vbrsmaller");
    const auto* better = dialog.findChild<QLabel*>("vbrbetter");
    ASSERT_TRUE(smaller && better);
    EXPECT_LT(x(smaller), x(better));
}

TEST(MpegSettings, TwelveKilohertzOffersNothingAbove64) {
    Tmpegsettings dialog;
    dialog.FormActivate(12000);
    EXPECT_EQ(Items(dialog.bitrate()).first(), "64");
    EXPECT_EQ(Items(dialog.maxbitrate()).size(), 8);
}

}  // namespace

namespace {

TEST(OwnDialogs, EveryVisibleTextCanBeTranslated) {
    Tfilterform filter;
    Tmpegsettings mpeg;
    ASSERT_NE(filter.Translation(), nullptr);
    EXPECT_TRUE(filter.Translation()->UnboundEntries().isEmpty());
    EXPECT_EQ(filter.Translation()->UntranslatedTexts().join(", ").toStdString(), "");
    EXPECT_TRUE(mpeg.Translation()->UnboundEntries().isEmpty());
    EXPECT_EQ(mpeg.Translation()->UntranslatedTexts().join(", ").toStdString(), "");
}

}  // namespace
