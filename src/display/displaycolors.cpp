#include "displaycolors.h"

#include "settings.h"

TDisplayColors DisplayColors;

QColor ColorFromSetting(int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

int32_t SettingFromColor(const QColor& color) {
    return int32_t(uint32_t(color.red()) | uint32_t(color.green()) << 8 |
                   uint32_t(color.blue()) << 16);
}

void LoadDisplayColors(const TSettings& record) {
    DisplayColors.BackColor = ColorFromSetting(record.backcolor);
    DisplayColors.ScaleColor = ColorFromSetting(record.scalecolor);
    DisplayColors.WaveColor = ColorFromSetting(record.wavecolor);
    FitContrastColors(DisplayColors);
}

void FitContrastColors(TDisplayColors& colors) {
    const bool light = colors.BackColor.lightness() >= 128;
    colors.CursorColor = light ? QColor(190, 0, 0) : QColor(255, 255, 0);
    colors.SeparatorColor = light ? QColor(0, 0, 0) : QColor(255, 255, 255);
}
