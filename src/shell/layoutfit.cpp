#include "layoutfit.h"

#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QStatusBar>
#include <QStyle>
#include <algorithm>

#include "mainform.h"
#include "shelltexts.h"

namespace {

// Room the status bar keeps around each panel (its frame and spacing).
constexpr int kPanelPadding = 12;

// The widest thing each panel shows, with the longest numbers of its kind.
QStringList WidestPanelTexts(int panel) {
    switch (panel) {
        case 0:
            return {MsgText("formatstring") + ' ' + MsgText("formatvalue").arg(192000).arg(8)};
        case 1:
            return {MsgText("cursorpositionstring") + QStringLiteral(" 000:00.000"),
                    MsgText("cursorpositionstring") + QStringLiteral(" 4294967295")};
        case 2:
            return {MsgText("amplitudestring") + QStringLiteral(" -100 dB")};
        default:
            return {MsgText("durationstring") + QStringLiteral(" 00:00:00.000")};
    }
}

}  // namespace

void FitToTexts(Tmainform& form) {
    int panelsWidth = 0;
    for (int i = 0; i < 4; ++i) {
        QLabel* panel = form.Panel(i);
        const QFontMetrics metrics = panel->fontMetrics();
        int widest = 0;
        for (const QString& text : WidestPanelTexts(i))
            widest = std::max(widest, metrics.horizontalAdvance(text));
        const int width = widest + 2 * panel->margin() + 2 * panel->frameWidth() + 4;
        panel->setMinimumWidth(width);
        panelsWidth += width + kPanelPadding;
    }
    // The group boxes keep their design widths unless a title or contents need more.
    for (const char* name : {"SelectionBox", "VolumeBox"}) {
        auto* box = form.findChild<QGroupBox*>(QLatin1String(name));
        if (!box) continue;
        if (!box->property("designWidth").isValid()) box->setProperty("designWidth", box->width());
        const int design = box->property("designWidth").toInt();
        const int title = box->fontMetrics().horizontalAdvance(box->title()) +
                          2 * box->style()->pixelMetric(QStyle::PM_LayoutLeftMargin) + 8;
        box->setMinimumWidth(0);
        box->setMaximumWidth(QWIDGETSIZE_MAX);
        const int needed = std::max({design, title, box->layout()->minimumSize().width()});
        box->setFixedWidth(needed);
    }
    // Wide enough for every panel, and for the bottom row.
    const int needed = std::max(panelsWidth + 16, form.minimumSizeHint().width());
    if (form.width() < needed) form.resize(needed, form.height());
}
