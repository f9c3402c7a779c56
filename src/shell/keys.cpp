#include "keys.h"

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QWheelEvent>
#include <algorithm>

#include "commands.h"
#include "mainform.h"
#include "recorder.h"
#include "settings.h"
#include "waveview.h"

namespace {

constexpr int kWheelNotch = 120;
// Scroll bar small steps per wheel notch.
constexpr int kStepsPerNotch = 3;

}  // namespace

void InstallKeys(Tmainform& form) {
    TCommands& c = form.Commands();
    // Ctrl+= as well: on many layouts plus is a shifted key.
    c.ZoomInAction->setShortcuts({QKeySequence::ZoomIn, QKeySequence(QStringLiteral("Ctrl+="))});
    c.ZoomOutAction->setShortcuts({QKeySequence::ZoomOut});
    c.ZoomFullAction->setShortcuts({QKeySequence(QStringLiteral("Ctrl+0"))});

    // Enter in a time edit selects what was typed.
    for (QLineEdit* edit : {form.selstart(), form.selstop()}) {
        QObject::connect(edit, &QLineEdit::returnPressed, &form, [&form] {
            form.sel()->setChecked(true);
            form.selClick();
        });
    }

    // Screen readers name an edit by the label whose buddy it is (the group's title otherwise).
    auto* begin = form.findChild<QLabel*>(QStringLiteral("BeginLabel"));
    auto* end = form.findChild<QLabel*>(QStringLiteral("EndLabel"));
    if (begin) begin->setBuddy(form.selstart());
    if (end) end->setBuddy(form.selstop());

    // Tab order as laid out: waveform, then the selection box row by row, then the volume.
    auto* pickStart = form.findChild<QPushButton*>(QStringLiteral("PickStartMS"));
    auto* pickStop = form.findChild<QPushButton*>(QStringLiteral("PickStopMS"));
    // Both buttons say "Pick": a reader needs which end they take (translated by the window).
    if (pickStart) pickStart->setAccessibleName(QStringLiteral("Pick begin from cursor"));
    if (pickStop) pickStop->setAccessibleName(QStringLiteral("Pick end from cursor"));
    QWidget* chain[] = {&form.View(), form.selstart(), pickStart, form.selstop(),
                        pickStop,     form.sel(),      form.VolumeBar()};
    for (size_t i = 1; i < std::size(chain); ++i)
        if (chain[i - 1] && chain[i]) QWidget::setTabOrder(chain[i - 1], chain[i]);
    form.View().setFocus(Qt::OtherFocusReason);
}

bool WaveKey(Tmainform& form, QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier) return false;
    TCommands& c = form.Commands();
    QAction* action = form.Playing() || form.Recorder().Active() ? c.StopAction : c.PlayAction;
    if (action->isEnabled()) action->trigger();
    return true;
}

void WindowWheel(Tmainform& form, QWheelEvent* event, int& remainder) {
    const bool zoom = Settings.wheelzoom != 0 || (event->modifiers() & Qt::ControlModifier);
    remainder += event->angleDelta().y();
    TCommands& c = form.Commands();
    QScrollBar& bar = form.Scroll();
    while (remainder >= kWheelNotch || remainder <= -kWheelNotch) {
        const bool forward = remainder > 0;
        remainder += forward ? -kWheelNotch : kWheelNotch;
        if (zoom) {
            (forward ? c.ZoomInAction : c.ZoomOutAction)->trigger();
        } else if (bar.isEnabled()) {
            // Away from the user goes back in time, as in every horizontal list.
            for (int i = 0; i < kStepsPerNotch; ++i)
                bar.triggerAction(forward ? QAbstractSlider::SliderSingleStepSub
                                          : QAbstractSlider::SliderSingleStepAdd);
        }
    }
    event->accept();
}

QRect KeepInside(QRect window, const QRect& area) {
    if (!area.isValid()) return window;
    window.setWidth(std::min(window.width(), area.width()));
    window.setHeight(std::min(window.height(), area.height()));
    window.moveLeft(std::clamp(window.left(), area.left(), area.right() - window.width() + 1));
    window.moveTop(std::clamp(window.top(), area.top(), area.bottom() - window.height() + 1));
    return window;
}
