#include "eqdialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "effectdialog.h"
#include "effectpreview.h"
#include "filtereffects.h"
#include "shelltexts.h"

namespace {
// Where the bands start: spread over the range a voice or an instrument lives in.
constexpr double kBandHz[TEqDialog::kBands] = {100, 500, 2000, 8000};
}  // namespace

TEqDialog::TEqDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("eqdialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    const TFilterEffect& eq = *FindFilterEffect("eq");
    presets_ = new QComboBox(this);
    presets_->setObjectName(QStringLiteral("Presets"));
    auto* grid = new QGridLayout;
    for (int p = 0; p < 3; ++p) {
        auto* head = new QLabel(this);
        grid->addWidget(head, 0, p + 1);
        labels_.push_back(head);
    }
    for (int b = 0; b < kBands; ++b) {
        auto* name = new QLabel(this);
        grid->addWidget(name, b + 1, 0);
        labels_.push_back(name);
        for (int p = 0; p < 3; ++p) {
            const double start = p == 0 ? kBandHz[b] : eq.params[size_t(p)].def;
            fields_[size_t(b)][size_t(p)] = MakeParamBox(eq.params[size_t(p)], start, this);
            fields_[size_t(b)][size_t(p)]->setObjectName(QStringLiteral("Band%1_%2").arg(b).arg(p));
            grid->addWidget(fields_[size_t(b)][size_t(p)], b + 1, p + 1);
        }
    }
    connect(presets_, &QComboBox::activated, this, [this](int i) {
        if (i > 0) ApplyPreset(i - 1);
    });
    QHBoxLayout* buttons = MakeOkCancelRow(this, okButton_, cancelButton_);
    previewButton_ = AddPreviewButton(this, buttons);
    auto* column = new QVBoxLayout(this);
    column->addWidget(presets_);
    column->addLayout(grid);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);
    Prepare();
}

void TEqDialog::Prepare() {
    setWindowTitle(MsgText("eqtitle"));
    const TFilterEffect& eq = *FindFilterEffect("eq");
    for (int p = 0; p < 3; ++p) labels_[size_t(p)]->setText(MsgText(eq.params[size_t(p)].key));
    for (int b = 0; b < kBands; ++b)
        labels_[size_t(3 + b)]->setText(MsgText("eqband").arg(b + 1));
    const int current = presets_->currentIndex();
    presets_->clear();
    presets_->addItem(MsgText("eqcustom"));
    for (const TEqPreset& p : EqPresets()) presets_->addItem(MsgText(p.key));
    presets_->setCurrentIndex(std::max(0, current));
    okButton_->setText(MsgText("effectok"));
    cancelButton_->setText(MsgText("effectcancel"));
    previewButton_->setText(MsgText("effectpreview"));
    SetPreview(nullptr);
}

void TEqDialog::SetPreview(TEffectPreview* preview) {
    AttachPreview(*this, *previewButton_, preview);
    if (!preview) return;
    for (const auto& band : fields_)
        for (QDoubleSpinBox* box : band)
            connect(box, &QDoubleSpinBox::valueChanged, preview, [preview] { preview->Changed(); });
}

void TEqDialog::ApplyPreset(int index) {
    const std::vector<double>& bands = EqPresets().at(size_t(index)).bands;
    for (int b = 0; b < kBands; ++b) {
        const size_t at = size_t(b) * 3;
        const bool named = at + 2 < bands.size();
        fields_[size_t(b)][0]->setValue(named ? bands[at] : kBandHz[b]);
        fields_[size_t(b)][1]->setValue(named ? bands[at + 1] : 0);
        fields_[size_t(b)][2]->setValue(named ? bands[at + 2] : 1);
    }
    presets_->setCurrentIndex(index + 1);
}

std::vector<double> TEqDialog::Values() const {
    std::vector<double> v;
    for (const auto& band : fields_) {
        for (QDoubleSpinBox* box : band) box->interpretText();
        if (band[1]->value() == 0) continue;
        for (QDoubleSpinBox* box : band) v.push_back(box->value());
    }
    return v;
}
