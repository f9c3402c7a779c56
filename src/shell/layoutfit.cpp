#include "layoutfit.h"

#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <algorithm>
#include <array>

#include "keys.h"
#include "mainform.h"
#include "shelltexts.h"

namespace {

// Room the status bar keeps around each panel (its frame and spacing).
constexpr int kPanelPadding = 12;
// Room left beside the panels for the status bar's size grip and its margins.
constexpr int kStatusSlack = 24;

// The widest thing each panel shows, with the longest numbers of its kind.
QStringList WidestPanelTexts(int panel) {
    switch (panel) {
        case 0:
            return {MsgText("formatstring") + ' ' + MsgText("formatvalue").arg(192000).arg(8)};
        case 1:
            return {MsgText("cursorpositionstring") + QStringLiteral(" 000:00.000"),
                    MsgText("cursorpositionstring") + QStringLiteral(" 4294967295")};
        case 2:
            return {MsgText("amplitudestring") + ' ' + MsgText("unitdb").arg(-100)};
        default:
            return {MsgText("durationstring") + QStringLiteral(" 00:00:00.000")};
    }
}

}  // namespace

void FitToTexts(Tmainform& form) {
    // Sizes as they will be shown: before its first show nothing is polished by the style yet.
    form.ensurePolished();
    const QScreen* screen = form.screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    // The frame the window manager adds (none until the window is shown).
    const int frame = form.frameGeometry().width() - form.width();
    std::array<int, 4> widths{};
    int panelsWidth = 0;
    for (int i = 0; i < 4; ++i) {
        QLabel* panel = form.Panel(i);
        const QFontMetrics metrics = panel->fontMetrics();
        int widest = 0;
        for (const QString& text : WidestPanelTexts(i))
            widest = std::max(widest, metrics.horizontalAdvance(text));
        widths[i] = widest + 2 * panel->margin() + 2 * panel->frameWidth() + 4;
        panelsWidth += widths[i] + kPanelPadding;
    }
    // On a screen too narrow for every panel at its widest (a large scale, a long language) the
    // panels give up room in proportion, so the window still fits; their texts are cut at the
    // end rather than the window at the screen's edge.
    const int room = area.isValid() ? area.width() - frame - kStatusSlack : panelsWidth;
    const double share = panelsWidth > room ? double(room) / panelsWidth : 1.0;
    int fitted = 0;
    for (int i = 0; i < 4; ++i) {
        const int width = int(widths[i] * share);
        form.Panel(i)->setMinimumWidth(width);
        fitted += width + kPanelPadding;
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
    // Wide enough for every panel, and for the bottom row; no wider than the screen.
    if (form.layout()) form.layout()->activate();
    int needed = std::max(fitted + 16, form.minimumSizeHint().width());
    if (area.isValid()) needed = std::min(needed, area.width() - frame);
    if (form.width() < needed) form.resize(needed, form.height());
    // Grown past the screen's edge (a language with longer words, chosen after the window was
    // placed): back inside.
    if (area.isValid()) {
        const QRect placed = KeepInside(form.frameGeometry(), area);
        if (placed.topLeft() != form.frameGeometry().topLeft()) form.move(placed.topLeft());
    }
}
