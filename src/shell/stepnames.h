#pragma once
// Which command made each version of the sound, so Undo and Redo can say what they take back
// ("Undo Fade In"). States are known by Twavefile::StateKey (a version's path, with the marker
// step that made it): the current state is what Undo takes back, the redo top what Redo does
// again. A version whose command is not known (the
// loaded sound, a recovered history) leaves the plain caption.
//
// Thread: user-interface thread only.

#include <QAction>
#include <QHash>
#include <QPointer>
#include <QString>

class Twavefile;

class TStepNames {
public:
    // A command that makes a new state was started on the state `from` (StateKey()).
    void Begin(QAction* command, const QString& from);
    // Undo, Redo or a command that makes no version: nothing is pending.
    void Forget() { pending_ = nullptr; }
    // After the document reported a change: a finished edit names its new version.
    void Update(const Twavefile& document);
    // A new document: no version is known.
    void Clear();

    QAction* UndoStep(const Twavefile& document) const;
    QAction* RedoStep(const Twavefile& document) const;

private:
    QHash<QString, QPointer<QAction>> made_;
    QPointer<QAction> pending_;
    QString from_;
};

// "&Undo Fade In" from the message `key` ("&Undo %1") and the command's caption without its
// access key and trailing dots; `plain` when there is no command.
QString StepCaption(const char* key, const QAction* step, const QString& plain);
