#pragma once
// The desktop's light or dark colour scheme, followed by the whole window. Qt from 6.5 says it
// itself (QStyleHints::colorScheme); Qt 6.4, as Debian 12 has it, does not, so the scheme is
// read from the desktop portal's appearance setting, then from GTK_THEME ("Adwaita:dark").
// Where the platform already gives a dark palette nothing is changed; where the desktop is dark
// but the palette light, Fusion with a dark palette is used.
//
// Thread: user-interface thread only.

#include <QPalette>
#include <QString>

class QApplication;

enum class TColorScheme { Unknown, Light, Dark };

// "Adwaita:dark", "Yaru-dark", "Arc-Dark" are dark; any other name is light; empty is unknown.
TColorScheme SchemeFromGtkTheme(const QString& theme);
// The freedesktop appearance value: 1 prefers dark, 2 prefers light, anything else unknown.
TColorScheme SchemeFromPortalValue(uint value);
// What the desktop asks for, by the order above; Unknown when nothing says.
TColorScheme DesktopColorScheme();

// Window text lighter than the window itself.
bool IsDarkPalette(const QPalette& palette);
// The dark palette used when the platform has none.
QPalette DarkPalette();

// Applies the desktop's scheme now and again whenever the portal says it changed.
void FollowDesktopColorScheme(QApplication& app);
