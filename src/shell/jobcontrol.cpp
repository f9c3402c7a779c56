#include "jobcontrol.h"

#include <QPushButton>
#include <QShortcut>

#include "wavfile.h"

TJobControl::TJobControl(Twavefile& document, QWidget* parent, QWidget* window)
    : QObject(parent), document_(document) {
    button_ = new QPushButton(QStringLiteral("Cancel"), parent);
    button_->setObjectName(QStringLiteral("CancelJob"));
    button_->setToolTip(QStringLiteral("Stop the running operation and leave the sound as it was (Esc)"));
    // A click must not take the focus from the view or an edit: the job's end gives it back.
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setEnabled(false);
    connect(button_, &QPushButton::clicked, this, [this] { CancelJob(); });
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    escape_->setContext(Qt::WindowShortcut);
    connect(escape_, &QShortcut::activated, this, [this] { CancelJob(); });
}

bool TJobControl::Cancellable() const {
    return document_.Busy() && document_.Operation() != opRebuild && !document_.Cancelled();
}

void TJobControl::Update() {
    const bool on = Cancellable();
    if (button_->isEnabled() != on) button_->setEnabled(on);
}

void TJobControl::CancelJob() {
    if (!Cancellable()) return;
    document_.Cancel();
    // One press is enough; the job's end comes a moment later.
    Update();
}
