#include "effectdialog.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "effectpreview.h"
#include "shelltexts.h"

QDoubleSpinBox* MakeParamBox(const TFilterParam& param, double value, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QString::fromLatin1(param.key));
    // Small ranges in hundredths, wide ones in whole units.
    const double span = param.max - param.min;
    box->setDecimals(span <= 2 ? 2 : span <= 40 ? 1 : 0);
    box->setSingleStep(span <= 2 ? 0.05 : span <= 40 ? 0.5 : span <= 500 ? 1 : 10);
    box->setRange(param.min, param.max);
    box->setValue(value);
    box->setMinimumWidth(100);
    return box;
}

QHBoxLayout* MakeOkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton(MsgText("effectok"), dialog);
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setDefault(true);
    cancel = new QPushButton(MsgText("effectcancel"), dialog);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

QPushButton* AddPreviewButton(QDialog* dialog, QHBoxLayout* row) {
    auto* button = new QPushButton(MsgText("effectpreview"), dialog);
    button->setObjectName(QStringLiteral("PreviewButton"));
    button->setAutoDefault(false);
    button->hide();
    row->insertWidget(0, button);
    return button;
}

TEffectDialog::TEffectDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("effectdialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    form_ = new QFormLayout;
    QHBoxLayout* buttons = MakeOkCancelRow(this, okButton_, cancelButton_);
    previewButton_ = AddPreviewButton(this, buttons);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form_);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

void TEffectDialog::SetEffect(const TFilterEffect& effect, const QString& title,
                              const std::vector<double>& values) {
    setWindowTitle(title);
    effectName_ = effect.name;
    while (form_->rowCount() > 0) form_->removeRow(0);
    fields_.clear();
    for (size_t i = 0; i < effect.params.size(); ++i) {
        const TFilterParam& p = effect.params[i];
        QDoubleSpinBox* box = MakeParamBox(p, i < values.size() ? values[i] : p.def, this);
        form_->addRow(MsgText(p.key), box);
        fields_.push_back(box);
    }
    if (!fields_.empty()) {
        fields_.front()->selectAll();
        fields_.front()->setFocus();
    }
    okButton_->setText(MsgText("effectok"));
    cancelButton_->setText(MsgText("effectcancel"));
    previewButton_->setText(MsgText("effectpreview"));
    SetPreview(nullptr);
}

void TEffectDialog::SetPreview(TEffectPreview* preview) {
    AttachPreview(*this, *previewButton_, preview);
    if (!preview) return;
    for (QDoubleSpinBox* box : fields_)
        connect(box, &QDoubleSpinBox::valueChanged, preview, [preview] { preview->Changed(); });
    // A few steps of the arrows up and down from each value, the nearest first.
    preview->SetNearby([this] {
        std::vector<TPreviewEffect> out;
        const std::vector<double> now = Values();
        for (const double d : {-1.0, 1.0, -2.0, 2.0, -5.0, 5.0, -10.0, 10.0}) {
            for (size_t i = 0; i < fields_.size(); ++i) {
                const QDoubleSpinBox* box = fields_[i];
                // As the box keeps it: rounded to its decimals.
                const double scale = std::pow(10.0, box->decimals());
                const double v = std::round((now[i] + d * box->singleStep()) * scale) / scale;
                if (v < box->minimum() || v > box->maximum()) continue;
                TPreviewEffect p;
                p.filter = {effectName_, now};
                p.filter.values[i] = v;
                out.push_back(p);
            }
        }
        return out;
    });
}

std::vector<double> TEffectDialog::Values() const {
    std::vector<double> v;
    for (QDoubleSpinBox* box : fields_) {
        // A value typed and confirmed with Enter before the box has taken it.
        box->interpretText();
        v.push_back(box->value());
    }
    return v;
}
