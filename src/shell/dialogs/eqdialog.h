#pragma once
// TEqDialog: the equalizer's bands (frequency, gain, Q), a few of them, and a preset that fills
// them. Bands left at 0 dB do nothing and are not passed on. Created once and kept.
// User-interface thread only.

#include <QDialog>
#include <array>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class TEffectPreview;

class TEqDialog : public QDialog {
public:
    static constexpr int kBands = 4;
    explicit TEqDialog(QWidget* parent = nullptr);

    // Texts from the catalogue again, the bands as they were.
    void Prepare();
    // The bands with a gain, as (Hz, dB, Q) triples; empty when every gain is 0.
    std::vector<double> Values() const;
    // Fills the bands from preset `index` of EqPresets(); the bands it does not name go flat.
    void ApplyPreset(int index);
    // Shows the Preview button for `preview` (hidden with null, as Prepare leaves it).
    void SetPreview(TEffectPreview* preview);

    QComboBox* Presets() const { return presets_; }
    QDoubleSpinBox* Field(int band, int param) const { return fields_[size_t(band)][size_t(param)]; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* PreviewButton() const { return previewButton_; }

private:
    QComboBox* presets_;
    std::array<std::array<QDoubleSpinBox*, 3>, kBands> fields_{};
    std::vector<class QLabel*> labels_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QPushButton* previewButton_;
};
