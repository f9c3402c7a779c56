#include "stepnames.h"

#include <QAction>

#include "languagecontroller.h"
#include "shelltexts.h"
#include "wavfile.h"

namespace {

QString TopKey(const TStack& stack) {
    return Twavefile::StateKey(stack.Items().front(), stack.Marks().front());
}

}  // namespace

void TStepNames::Begin(QAction* command, const QString& from) {
    pending_ = command;
    from_ = from;
}

void TStepNames::Update(const Twavefile& document) {
    if (!pending_ || !document.Ready()) return;
    const QString current = document.StateKey();
    const TStack& undo = document.UndoStack();
    // Cancelled or refused: the document is back on the state the command started from.
    if (current == from_ || document.TempPath().isEmpty()) {
        pending_ = nullptr;
        return;
    }
    if (!undo.IsEmpty() && TopKey(undo) == from_) made_.insert(current, pending_);
    pending_ = nullptr;
}

void TStepNames::Clear() {
    made_.clear();
    pending_ = nullptr;
}

QAction* TStepNames::UndoStep(const Twavefile& document) const {
    if (!document.CanUndo()) return nullptr;
    return made_.value(document.StateKey());
}

QAction* TStepNames::RedoStep(const Twavefile& document) const {
    if (!document.CanRedo()) return nullptr;
    return made_.value(TopKey(document.RedoStack()));
}

QString StepCaption(const char* key, const QAction* step, const QString& plain) {
    if (!step) return plain;
    QString name = WithoutAccessKey(step->text()).trimmed();
    while (name.endsWith(u'.') || name.endsWith(QChar(0x2026))) name.chop(1);
    return MsgText(key).arg(name);
}
