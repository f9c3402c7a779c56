#pragma once
// TColorBox: a drop-down list of colours with readable names: a custom entry that opens the
// colour chooser, a default entry, then the standard and extended named colours.
//
// User-interface thread only.

#include <QColor>
#include <QComboBox>
#include <functional>

class TColorBox : public QComboBox {
public:
    // `defaultColor` is the colour of the "Default" entry.
    explicit TColorBox(QColor defaultColor, QWidget* parent = nullptr);

    // Selects the first entry of that colour; a colour no entry has becomes the custom entry's.
    void SetSelected(const QColor& color);
    QColor Selected() const;

    // Called when the user has chosen a colour (not when SetSelected changes it).
    std::function<void(const QColor&)> OnChange;

    // Asks the user for the custom colour, starting from `initial`; an invalid colour means
    // cancelled. The colour chooser unless replaced (tests).
    std::function<QColor(const QColor& initial, QWidget* parent)> ChooseColor;

    static constexpr int kCustomIndex = 0;
    static constexpr int kDefaultIndex = 1;

private:
    void setEntryColor(int index, const QColor& color);
    void onActivated(int index);

    int lastIndex_ = kDefaultIndex;
};
