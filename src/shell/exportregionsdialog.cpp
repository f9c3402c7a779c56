#include "exportregionsdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "languagecontroller.h"
#include "shelltexts.h"

TExportRegionsDialog::TExportRegionsDialog(QWidget* parent, const QString& folder)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ExportRegionsDialog"));
    setWindowTitle(WithoutAccessKey(MsgText("exporttitle")));
    folder_ = new QLineEdit(folder, this);
    folder_->setObjectName(QStringLiteral("ExportFolder"));
    auto* browse = new QPushButton(MsgText("exportbrowse"), this);
    pattern_ = new QLineEdit(QStringLiteral("%n %name"), this);
    pattern_->setObjectName(QStringLiteral("ExportPattern"));
    format_ = new QComboBox(this);
    format_->setObjectName(QStringLiteral("ExportFormat"));
    for (const char* f : {"wav", "mp3", "flac", "ogg", "opus"}) format_->addItem(QLatin1String(f));
    auto* row = new QHBoxLayout;
    row->addWidget(folder_);
    row->addWidget(browse);
    // A row of a layout gets no buddy from the form: its label is given one, so its access key
    // works and shows as one rather than as a "&".
    auto* folderLabel = new QLabel(MsgText("exportfolder"), this);
    folderLabel->setBuddy(folder_);
    auto* form = new QFormLayout;
    form->addRow(folderLabel, row);
    form->addRow(MsgText("exportpattern"), pattern_);
    form->addRow(MsgText("exportformat"), format_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(this, windowTitle(), Folder());
        if (!chosen.isEmpty()) folder_->setText(chosen);
    });
}

QString TExportRegionsDialog::Folder() const {
    return folder_->text().trimmed();
}

QString TExportRegionsDialog::Pattern() const {
    return pattern_->text();
}

QString TExportRegionsDialog::Extension() const {
    return format_->currentText();
}
