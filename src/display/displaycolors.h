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

// Takes backcolor, scalecolor and wavecolor from the record into DisplayColors.
void LoadDisplayColors(const TSettings& record);
