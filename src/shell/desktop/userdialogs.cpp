#include "userdialogs.h"

#include <QDialog>
#include <algorithm>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>

namespace {

QString Title() {
    const QString title = QGuiApplication::applicationDisplayName();
    return title.isEmpty() ? QStringLiteral("Orvane") : title;
}

// Texts name files and carry libraries' and servers' words: shown as they are, never as markup.
QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                 const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void TDesktopDialogs::Message(const QString& text) {
    Show(parent_, QMessageBox::Information, Title(), text, QMessageBox::Ok);
}

void TDesktopDialogs::Error(const QString& text) {
    Show(parent_, QMessageBox::Critical, Title(), text, QMessageBox::Ok);
}

void TDesktopDialogs::Warning(const QString& text, const QString& caption) {
    Show(parent_, QMessageBox::Warning, caption, text, QMessageBox::Ok);
}

QMessageBox::StandardButton TDesktopDialogs::Ask(QMessageBox::Icon icon, const QString& text,
                                                 QMessageBox::StandardButtons buttons) {
    return Show(parent_, icon, Title(), text, buttons);
}

QString TDesktopDialogs::OpenFileName(const QStringList& filters, const QString& folder) {
    return QFileDialog::getOpenFileName(parent_, QString(), folder,
                                        filters.join(QStringLiteral(";;")));
}

std::optional<TSaveChoice> TDesktopDialogs::SaveFileName(const QStringList& filters,
                                                         const QStringList& suffixes,
                                                         int typeIndex,
                                                         const QString& proposal) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The overwrite question is the window's own (with its own text).
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(filters);
    int first = std::clamp(typeIndex, 1, int(filters.size())) - 1;
    const QFileInfo proposed(proposal);
    if (proposed.isDir()) {
        dialog.setDirectory(proposal);
    } else if (!proposal.isEmpty()) {
        dialog.setDirectory(proposed.absolutePath());
        // A name of one of the types proposes that type; another (".wma") the preselected
        // type's extension in its place.
        const int own = int(suffixes.indexOf(proposed.suffix().toLower()));
        if (own >= 0) first = own;
        dialog.selectFile(own >= 0 ? proposed.fileName()
                                   : proposed.completeBaseName() + '.' + suffixes.value(first));
    }
    dialog.selectNameFilter(filters.value(first));
    dialog.setDefaultSuffix(suffixes.value(first));
    // Changing the type makes its extension the default one.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        const int i = int(filters.indexOf(filter));
        if (i >= 0) dialog.setDefaultSuffix(suffixes.value(i));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    TSaveChoice choice;
    choice.fileName = dialog.selectedFiles().constFirst();
    choice.typeIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (choice.typeIndex <= 0) choice.typeIndex = first + 1;
    choice.defaultSuffix = dialog.defaultSuffix();
    return choice;
}

bool TDesktopDialogs::Run(QDialog& dialog) {
    return dialog.exec() == QDialog::Accepted;
}
