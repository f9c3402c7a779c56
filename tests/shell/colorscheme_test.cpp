// The desktop's colour scheme as the desktop says it, and the dark palette used for it.
#include <gtest/gtest.h>
#include <QApplication>
#include <QStyle>

#include "colorscheme.h"

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

}  // namespace
