#pragma once
// Every question the main window puts to the user, behind one interface: message boxes, the
// open and save file dialogs and the modal runs of its own dialogs. The desktop implementation
// shows real widgets; tests put in a fake that answers from a script. User-interface thread only.

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "notifier.h"

class QDialog;
class QWidget;

// The save dialog's answer: the typed name, the chosen type (1-based, as the filter lists
// them) and the default extension in force when it was confirmed (without the dot).
struct TSaveChoice {
    QString fileName;
    int typeIndex = 1;
    QString defaultSuffix;
};

class TUserDialogs {
public:
    virtual ~TUserDialogs() = default;

    // A plain information box with an OK button.
    virtual void Message(const QString& text) = 0;
    // The general error report: an error box with an OK button.
    virtual void Error(const QString& text) = 0;
    // A warning box with its own caption.
    virtual void Warning(const QString& text, const QString& caption) = 0;
    // A box with an icon and the given buttons; answers the button pressed (Cancel or No when
    // the box is closed otherwise).
    virtual QMessageBox::StandardButton Ask(QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons) = 0;
    // The open dialog, starting in `folder` (empty: the dialog's choice): the chosen path, or
    // empty when cancelled. filters: "Name (*.a *.b)".
    virtual QString OpenFileName(const QStringList& filters, const QString& folder) = 0;
    // The save dialog with its types (filters; type n has suffix suffixes[n - 1]), preselecting
    // typeIndex (0 counts as the first), proposing `proposal` (a file to propose, or a folder to
    // start in; empty: the dialog's choice). Nothing when cancelled.
    virtual std::optional<TSaveChoice> SaveFileName(const QStringList& filters,
                                                    const QStringList& suffixes, int typeIndex,
                                                    const QString& proposal) = 0;
    // Shows a dialog modally; true when it was confirmed.
    virtual bool Run(QDialog& dialog) = 0;
};

// The real thing: Qt's message boxes (their texts shown as plain text) and file dialogs,
// parented to `parent`.
class TDesktopDialogs : public TUserDialogs {
public:
    explicit TDesktopDialogs(QWidget* parent) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Message(const QString& text) override;
    void Error(const QString& text) override;
    void Warning(const QString& text, const QString& caption) override;
    QMessageBox::StandardButton Ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) override;
    QString OpenFileName(const QStringList& filters, const QString& folder) override;
    std::optional<TSaveChoice> SaveFileName(const QStringList& filters,
                                            const QStringList& suffixes, int typeIndex,
                                            const QString& proposal) override;
    bool Run(QDialog& dialog) override;

private:
    QWidget* parent_;
};

// The document's error and warning boxes, through the window's dialogs.
class TDesktopNotifier : public TNotifier {
public:
    explicit TDesktopNotifier(TUserDialogs* dialogs) : dialogs_(dialogs) {}
    void ShowError(const QString& message) override { dialogs_->Error(message); }
    void ShowWarning(const QString& message, const QString& caption) override {
        dialogs_->Warning(message, caption);
    }
    // Status words go to whoever shows them (the main window's status bar).
    void ShowStatus(const QString& message) override {
        if (onStatus) onStatus(message);
    }
    std::function<void(const QString&)> onStatus;

private:
    TUserDialogs* dialogs_;
};
