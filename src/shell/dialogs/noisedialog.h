#pragma once
// TNoiseDialog: how far Noise Reduction takes the noise of the profile down (dB) and how much
// near the profile counts as noise. Created once and kept. User-interface thread only.

#include <QDialog>

class QDoubleSpinBox;
class QPushButton;
class TEffectPreview;

class TNoiseDialog : public QDialog {
public:
    explicit TNoiseDialog(QWidget* parent = nullptr);
    // Texts from the catalogue again; the values as last left.
    void Prepare();
    double Strength() const;
    double Sensitivity() const;
    // Shows the Preview button for `preview` (hidden with null, as Prepare leaves it).
    void SetPreview(TEffectPreview* preview);

    QDoubleSpinBox* StrengthBox() const { return strength_; }
    QDoubleSpinBox* SensitivityBox() const { return sensitivity_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* PreviewButton() const { return previewButton_; }

private:
    QDoubleSpinBox* strength_;
    QDoubleSpinBox* sensitivity_;
    class QLabel* strengthLabel_;
    class QLabel* sensitivityLabel_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QPushButton* previewButton_;
};
