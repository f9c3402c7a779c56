// The desktop's colour scheme as the desktop says it, and the dark palette used for it.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QStyle>
#include <cmath>

#include "colorscheme.h"
#include "paletteicon.h"

namespace {

TEST(ColorScheme, NamesAndValuesAsTheDesktopGivesThem) {
    const std::pair<const char*, TColorScheme> themes[] = {
        {"", TColorScheme::Unknown},         {"Adwaita", TColorScheme::Light},
        {"Adwaita:dark", TColorScheme::Dark}, {"Yaru-dark", TColorScheme::Dark},
        {"Arc-Dark", TColorScheme::Dark},     {"Breeze", TColorScheme::Light},
    };
    for (const auto& [name, scheme] : themes)
        EXPECT_EQ(SchemeFromGtkTheme(QLatin1String(name)), scheme) << name;
    // org.freedesktop.appearance color-scheme: 0 no preference, 1 dark, 2 light.
    EXPECT_EQ(SchemeFromPortalValue(0), TColorScheme::Unknown);
    EXPECT_EQ(SchemeFromPortalValue(1), TColorScheme::Dark);
    EXPECT_EQ(SchemeFromPortalValue(2), TColorScheme::Light);
    EXPECT_EQ(SchemeFromPortalValue(3), TColorScheme::Unknown);
}

TEST(ColorScheme, TheDarkPaletteIsDarkAndReadable) {
    const QPalette dark = DarkPalette();
    EXPECT_TRUE(IsDarkPalette(dark));
    EXPECT_FALSE(IsDarkPalette(QApplication::style()->standardPalette()));
    // Text stands out from its background in every group a window shows.
    for (auto [text, back] : {std::pair{QPalette::WindowText, QPalette::Window},
                              std::pair{QPalette::Text, QPalette::Base},
                              std::pair{QPalette::ButtonText, QPalette::Button},
                              std::pair{QPalette::HighlightedText, QPalette::Highlight}})
        EXPECT_GT(dark.color(text).lightness() - dark.color(back).lightness(), 100) << text;
}


// Relative luminance as the web's contrast rules define it (sRGB, 0 to 1).
double Luminance(QColor c) {
    auto channel = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
           0.0722 * channel(c.blueF());
}

// Every toolbar picture has a part that stands out from the window by at least 3:1, the
// contrast asked of graphical controls, on the light palette and on the dark one alike.
TEST(PaletteIcons, StandOutFromTheWindowOnLightAndDarkPalettes) {
    const QPalette saved = QApplication::palette();
    const QStringList names = QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")});
    ASSERT_GT(names.size(), 20);
    for (const auto& [label, palette] :
         {std::pair{"light", QApplication::style()->standardPalette()},
          std::pair{"dark", DarkPalette()}}) {
        QApplication::setPalette(palette);
        const double window = Luminance(palette.color(QPalette::Button));
        for (const QString& name : names) {
            const QImage image = PaletteIcon(QStringLiteral(":/icons/") + name)
                                     .pixmap(QSize(32, 32))
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32);
            ASSERT_FALSE(image.isNull()) << name.toStdString();
            double best = 1.0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.alpha() < 250) continue;
                    const double l = Luminance(c);
                    best = std::max(best, (std::max(l, window) + 0.05) / (std::min(l, window) + 0.05));
                }
            EXPECT_GE(best, 3.0) << label << " " << name.toStdString();
        }
    }
    QApplication::setPalette(saved);
}

}  // namespace
