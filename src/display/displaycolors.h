#pragma once
// The display colours, shared process-wide by every piece of drawing code. Three of them follow
// the settings record (backcolor, scalecolor, wavecolor) and are changed while the program runs
// by the settings dialog; the view picks a change up at its next full redraw. The rest are fixed.
//
// Thread: user-interface thread only.

#include <QColor>
#include <cstdint>

struct TSettings;

struct TDisplayColors {
    QColor BackColor{0, 0, 0};
    QColor ScaleColor{220, 220, 220};
    QColor WaveColor{28, 240, 171};
    QColor CursorColor{255, 255, 0};
    QColor GridColor{0, 0, 0};
    QColor ScaleTextColor{0, 0, 0};
    QColor ZeroDbColor{111, 135, 159};
    QColor CentreLineColor{140, 23, 23};
    QColor SeparatorColor{255, 255, 255};
    QColor FrameColor{150, 150, 150};
};

extern TDisplayColors DisplayColors;

// A colour value of the settings record (red in the lowest byte, then green, then blue).
QColor ColorFromSetting(int32_t value);
int32_t SettingFromColor(const QColor& color);

// The waveform's three colours as the settings record holds them.
struct TWavePreset {
    int32_t backcolor, scalecolor, wavecolor;
};
// The dark preset is the built-in default; the light one suits a light desktop.
inline constexpr TWavePreset kDarkWavePreset{0x000000, 0xDCDCDC, 0xABF01C};
inline constexpr TWavePreset kLightWavePreset{0xFFFFFF, 0xD8D8D8, 0x8C4A00};

// Takes backcolor, scalecolor and wavecolor from the record into DisplayColors, and sets the
// cursor and the channel separator to stand out on that background.
void LoadDisplayColors(const TSettings& record);
// The cursor and separator colours for a background (yellow and white on dark, dark red and
// black on light).
void FitContrastColors(TDisplayColors& colors);
