#include "filterform.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "effectpreview.h"
#include "languagecontroller.h"
#include "shelltexts.h"

namespace {
// The design's spin box range and value until the window sets them.
constexpr int kDesignMinimum = 1;
constexpr int kDesignMaximum = 200;
constexpr int kDesignValue = 1;
}  // namespace

Tfilterform::Tfilterform(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("filterform"));
    // A fixed dialog border without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("Effect"));

    valueName_ = new QGroupBox(QStringLiteral(" Param Name"), this);
    valueName_->setObjectName(QStringLiteral("ValueName"));
    valueEdit_ = new QSpinBox(valueName_);
    valueEdit_->setObjectName(QStringLiteral("ValueEdit"));
    valueEdit_->setRange(kDesignMinimum, kDesignMaximum);
    valueEdit_->setValue(kDesignValue);
    valueEdit_->setMinimumWidth(85);
    auto* group = new QHBoxLayout(valueName_);
    group->addWidget(valueEdit_);
    group->addStretch();

    okButton_ = new QPushButton(QStringLiteral("&Ok"), this);
    okButton_->setObjectName(QStringLiteral("OkButton"));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("CancelButton"));
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout(this);
    row->addWidget(valueName_, 1);
    previewButton_ = new QPushButton(QStringLiteral("&Preview"), this);
    previewButton_->setObjectName(QStringLiteral("PreviewButton"));
    previewButton_->setAutoDefault(false);
    previewButton_->hide();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(previewButton_);
    auto* right = new QVBoxLayout;
    right->addStretch();
    right->addLayout(buttons);
    right->addStretch();
    row->addLayout(right);
    row->setSizeConstraint(QLayout::SetFixedSize);
    translation_ = MakeFilterFormTranslation(*this);
}

Tfilterform::~Tfilterform() = default;

void Tfilterform::setproperties(const QString& title, const QString& label, int minimum,
                                int maximum, int value) {
    setWindowTitle(title);
    valueName_->setTitle(label);
    if (minimum == maximum) {
        valueEdit_->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    } else {
        valueEdit_->setRange(minimum, maximum);
    }
    valueEdit_->setValue(value);
    valueEdit_->selectAll();
    valueEdit_->setFocus();
    SetPreview(nullptr);
}

void Tfilterform::SetPreview(TEffectPreview* preview) {
    AttachPreview(*this, *previewButton_, preview);
    if (!preview) return;
    connect(valueEdit_, &QSpinBox::valueChanged, preview, [preview] { preview->Changed(); });
}

int Tfilterform::Value() const {
    // A value typed and confirmed with Enter before the box has taken it.
    valueEdit_->interpretText();
    return valueEdit_->value();
}

void Tfilterform::SetValue(int value) {
    valueEdit_->setValue(value);
}
