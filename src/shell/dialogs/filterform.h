#pragma once
// Tfilterform: the effect parameter dialog. One integer value in a spin box under a group whose
// caption names it; "&Ok" and "&Cancel". The main window fills it with setproperties before each
// use (caption, label, bounds, initial value) and reads the value after a confirmed run. Created
// once at start and kept. User-interface thread only.

#include <QDialog>
#include <memory>

class QGroupBox;
class TLanguageController;
class QPushButton;
class QSpinBox;
class TEffectPreview;

class Tfilterform : public QDialog {
public:
    explicit Tfilterform(QWidget* parent = nullptr);
    ~Tfilterform() override;
    TLanguageController* Translation() const { return translation_.get(); }

    // Caption := title, the group's caption := label, then the bounds and the value. Equal
    // bounds mean no bounds at all (any 32-bit value is accepted).
    void setproperties(const QString& title, const QString& label, int minimum, int maximum,
                       int value);
    int Value() const;
    void SetValue(int value);
    // Shows the Preview button for `preview` (hidden with null, as setproperties leaves it).
    void SetPreview(TEffectPreview* preview);

    QGroupBox* ValueName() const { return valueName_; }
    QSpinBox* ValueEdit() const { return valueEdit_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }
    QPushButton* PreviewButton() const { return previewButton_; }

private:
    std::unique_ptr<TLanguageController> translation_;
    QGroupBox* valueName_;
    QSpinBox* valueEdit_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QPushButton* previewButton_;
};
