#pragma once
// TEffectDialog: the parameters of one filter effect (filtereffects.h), a spin box for each with
// the table's range, unit and default, and "&Ok" and "&Cancel". The window fills it with
// SetEffect before each use and reads Values() after a confirmed run. Created once and kept.
// User-interface thread only.

#include <QDialog>
#include <string>
#include <vector>

#include "filtereffects.h"

class QDoubleSpinBox;
class QHBoxLayout;
class QFormLayout;
class QPushButton;
class TEffectPreview;

class TEffectDialog : public QDialog {
public:
    explicit TEffectDialog(QWidget* parent = nullptr);

    // One row per parameter of `effect` (one group for a repeating one), labelled from the
    // catalogue, at `values` or, where it has none, the defaults.
    void SetEffect(const TFilterEffect& effect, const QString& title,
                   const std::vector<double>& values);
    std::vector<double> Values() const;
    // Shows the Preview button for `preview` (hidden with null); after SetEffect.
    void SetPreview(TEffectPreview* preview);

    QDoubleSpinBox* Field(int index) const { return fields_.at(size_t(index)); }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }
    QPushButton* PreviewButton() const { return previewButton_; }

private:
    QFormLayout* form_;
    std::string effectName_;
    std::vector<QDoubleSpinBox*> fields_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QPushButton* previewButton_;
};

// A spin box for a parameter: its range, its value and a step and precision that suit them.
QDoubleSpinBox* MakeParamBox(const TFilterParam& param, double value, QWidget* parent);
// The OK (the default) and Cancel buttons an effect dialog ends with, right-aligned in the row
// returned, accepting and rejecting the dialog.
QHBoxLayout* MakeOkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);
// The Preview button at the left of that row: hidden until a preview is attached
// (AttachPreview), never the default.
QPushButton* AddPreviewButton(QDialog* dialog, QHBoxLayout* row);
