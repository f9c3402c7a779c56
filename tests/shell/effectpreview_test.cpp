// Hearing an effect from its dialog: Preview plays the effect's result on the range while the
// dialog stays open, a changed value plays the new result, closing the dialog ends it, and
// the document never changes.
#include <gtest/gtest.h>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <cstring>
#include <numbers>

#include "../playback/playback_util.h"
#include "dialogs/effectdialog.h"
#include "doctest_util.h"
#include "effectpreview.h"
#include "manualbackend.h"
#include "player.h"

namespace {

TEST(EffectPreview, PlaysWhileTheDialogIsOpenFollowsItsValuesAndEndsWithIt) {
    TDocFixture f;
    // A 300 Hz tone with a 6 kHz one on top: the low-pass corner decides how much of it stays.
    std::vector<int16_t> s(2 * 44100);
    for (size_t i = 0; i < s.size() / 2; ++i) {
        const double t = double(i) / 44100;
        s[2 * i] = s[2 * i + 1] = int16_t(8000 * std::sin(2 * std::numbers::pi * 300 * t) +
                                          8000 * std::sin(2 * std::numbers::pi * 6000 * t));
    }
    f.LoadSamples(2, s, 44100);
    auto backend = std::make_shared<TManualClockBackend>();
    TEffectDialog dialog;
    dialog.SetEffect(*FindFilterEffect("lowpass"), "Low-pass", {1000, 24});
    TEffectPreview preview(
        f.doc,
        [&]() -> std::optional<TPreviewEffect> {
            TPreviewEffect p;
            p.filter = {"lowpass", dialog.Values()};
            return p;
        },
        4410, 4410 + 8820, backend);
    dialog.SetPreview(&preview);
    dialog.show();
    ASSERT_TRUE(dialog.PreviewButton()->isVisible());

    // What the player sends out is the preview file, which is the effect on the range.
    auto heard = [&] {
        const std::vector<int16_t> file = ReadWavSamples(f.doc.PreviewPath());
        EXPECT_EQ(file.size(), size_t(2 * 8820));
        backend->TakeOutput();
        backend->Advance(4096);
        const std::vector<uint8_t> out = backend->TakeOutput();
        EXPECT_EQ(out.size(), size_t(4096 * 4));
        EXPECT_EQ(std::memcmp(out.data(), file.data(), std::min(out.size(), file.size() * 2)), 0);
        return file;
    };
    QTest::mouseClick(dialog.PreviewButton(), Qt::LeftButton);
    // Playing may start before the render has ended; the file is named once it has.
    ASSERT_TRUE(PumpUntil([&] { return preview.Playing() && !f.doc.Busy(); }));
    const std::vector<int16_t> at1k = heard();

    // A new corner: the preview starts again by itself with the new result.
    dialog.Field(0)->setValue(10000);
    ASSERT_TRUE(PumpUntil([&] {
        return preview.Playing() && ReadWavSamples(f.doc.PreviewPath()) != at1k;
    }));
    const std::vector<int16_t> at10k = heard();
    // The 6 kHz tone passes the higher corner: more is heard.
    double e1 = 0, e10 = 0;
    for (size_t i = 0; i < at1k.size(); ++i) {
        e1 += double(at1k[i]) * at1k[i];
        e10 += double(at10k[i]) * at10k[i];
    }
    EXPECT_GT(e10, 1.5 * e1);

    const QString file = f.doc.PreviewPath();
    dialog.reject();
    EXPECT_FALSE(preview.Playing());
    EXPECT_FALSE(preview.Active());
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_FALSE(f.doc.Busy());
    EXPECT_FALSE(f.doc.CanUndo());
    EXPECT_FALSE(f.doc.Modified());
    EXPECT_EQ(f.Samples(), s);
}

}  // namespace
