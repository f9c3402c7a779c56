#include "noisedialog.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "denoise.h"
#include "effectdialog.h"
#include "effectpreview.h"
#include "shelltexts.h"

TNoiseDialog::TNoiseDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("noisedialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    strength_ = MakeParamBox({"noisestrength", 1, 100, kDefaultDenoiseDb}, kDefaultDenoiseDb, this);
    sensitivity_ = MakeParamBox({"noisesensitivity", 0, 1, kDefaultDenoiseSensitivity},
                                kDefaultDenoiseSensitivity, this);
    strengthLabel_ = new QLabel(this);
    strengthLabel_->setBuddy(strength_);
    sensitivityLabel_ = new QLabel(this);
    sensitivityLabel_->setBuddy(sensitivity_);
    auto* grid = new QGridLayout;
    grid->addWidget(strengthLabel_, 0, 0);
    grid->addWidget(strength_, 0, 1);
    grid->addWidget(sensitivityLabel_, 1, 0);
    grid->addWidget(sensitivity_, 1, 1);
    QHBoxLayout* buttons = MakeOkCancelRow(this, okButton_, cancelButton_);
    previewButton_ = AddPreviewButton(this, buttons);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);
    Prepare();
}

void TNoiseDialog::Prepare() {
    setWindowTitle(MsgText("noisetitle"));
    strengthLabel_->setText(MsgText("noisestrength"));
    sensitivityLabel_->setText(MsgText("noisesensitivity"));
    okButton_->setText(MsgText("effectok"));
    cancelButton_->setText(MsgText("effectcancel"));
    previewButton_->setText(MsgText("effectpreview"));
    SetPreview(nullptr);
    strength_->selectAll();
    strength_->setFocus();
}

void TNoiseDialog::SetPreview(TEffectPreview* preview) {
    AttachPreview(*this, *previewButton_, preview);
    if (!preview) return;
    for (QDoubleSpinBox* box : {strength_, sensitivity_})
        connect(box, &QDoubleSpinBox::valueChanged, preview, [preview] { preview->Changed(); });
}

double TNoiseDialog::Strength() const {
    strength_->interpretText();
    return strength_->value();
}

double TNoiseDialog::Sensitivity() const {
    sensitivity_->interpretText();
    return sensitivity_->value();
}
