#pragma once
// File -> Export Regions: the folder, the file names' pattern and the format of the files that
// Export Regions writes (one per region, or per stretch between markers).
//
// Thread: user-interface thread only.

#include <QDialog>

class QComboBox;
class QLineEdit;

class TExportRegionsDialog : public QDialog {
public:
    explicit TExportRegionsDialog(QWidget* parent, const QString& folder);
    QString Folder() const;
    QString Pattern() const;
    QString Extension() const;  // wav, mp3, flac, ogg or opus

private:
    QLineEdit *folder_, *pattern_;
    QComboBox* format_;
};
