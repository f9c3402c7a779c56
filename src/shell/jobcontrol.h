#pragma once
// TJobControl: the Cancel button beside the progress bar and the Esc key of the main window.
// Both cancel the document's running load, save, edit or effect (the document then stays
// exactly as it was before the request); the button is enabled only while such a job runs.
// Undo and Redo switch at once and are not jobs the user can cancel.
//
// The document must outlive this object. User-interface thread only.

#include <QObject>

class QPushButton;
class QShortcut;
class QWidget;
class Twavefile;

class TJobControl : public QObject {
public:
    // The button is made as a child of `parent`; Esc works anywhere in `window`.
    TJobControl(Twavefile& document, QWidget* parent, QWidget* window);

    // Whether the document runs a job that Cancel would stop.
    bool Cancellable() const;
    // Brings the button's enabled state in line with the document (the window's progress
    // timer calls it; tests call it after a request).
    void Update();
    // Cancels the running job, if any; what the button and Esc do.
    void CancelJob();

    QPushButton* Button() const { return button_; }

private:
    Twavefile& document_;
    QPushButton* button_;
    QShortcut* escape_;
};
