#include "colorbox.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

namespace {

struct TNamedColor {
    const char* name;
    QRgb rgb;
};

// The sixteen standard colours, then the four extended ones.
constexpr TNamedColor kNamedColors[] = {
    {"Black", 0x000000}, {"Maroon", 0x800000},      {"Green", 0x008000},
    {"Olive", 0x808000}, {"Navy", 0x000080},        {"Purple", 0x800080},
    {"Teal", 0x008080},  {"Gray", 0x808080},        {"Silver", 0xC0C0C0},
    {"Red", 0xFF0000},   {"Lime", 0x00FF00},        {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},  {"Fuchsia", 0xFF00FF},     {"Aqua", 0x00FFFF},
    {"White", 0xFFFFFF}, {"Money Green", 0xC0DCC0}, {"Sky Blue", 0xA6CAF0},
    {"Cream", 0xFFFBF0}, {"Medium Gray", 0xA0A0A4},
};

QIcon Swatch(const QColor& color, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(0, 0, 0));
    p.setBrush(color.isValid() ? color : QColor(Qt::transparent));
    p.drawRect(0, 0, size - 1, size - 1);
    return QIcon(pixmap);
}

}  // namespace

TColorBox::TColorBox(QColor defaultColor, QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    addItem(QStringLiteral("Custom..."));
    addItem(QStringLiteral("Default"));
    setEntryColor(kDefaultIndex, defaultColor);
    for (const TNamedColor& named : kNamedColors) {
        addItem(QString::fromLatin1(named.name));
        setEntryColor(count() - 1, QColor(named.rgb));
    }
    setCurrentIndex(kDefaultIndex);
    ChooseColor = [](const QColor& initial, QWidget* owner) {
        return QColorDialog::getColor(initial, owner);
    };
    connect(this, &QComboBox::activated, this, [this](int index) { onActivated(index); });
}

void TColorBox::setEntryColor(int index, const QColor& color) {
    setItemData(index, color, Qt::UserRole);
    setItemIcon(index, Swatch(color, iconSize().height()));
}

void TColorBox::SetSelected(const QColor& color) {
    for (int i = kDefaultIndex; i < count(); ++i) {
        if (itemData(i, Qt::UserRole).value<QColor>().rgb() == color.rgb()) {
            setCurrentIndex(i);
            lastIndex_ = i;
            return;
        }
    }
    setEntryColor(kCustomIndex, color);
    setCurrentIndex(kCustomIndex);
    lastIndex_ = kCustomIndex;
}

QColor TColorBox::Selected() const {
    return itemData(currentIndex(), Qt::UserRole).value<QColor>();
}

void TColorBox::onActivated(int index) {
    if (index == kCustomIndex) {
        const QColor start = itemData(lastIndex_, Qt::UserRole).value<QColor>();
        const QColor chosen = ChooseColor ? ChooseColor(start, this) : QColor();
        if (!chosen.isValid()) {  // cancelled: the previous choice stays
            setCurrentIndex(lastIndex_);
            return;
        }
        setEntryColor(kCustomIndex, chosen);
    }
    lastIndex_ = index;
    if (OnChange) OnChange(Selected());
}
