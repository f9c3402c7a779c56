#include "mpegsettings.h"

#include <algorithm>
#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "languagecontroller.h"
#include "shelltexts.h"

namespace {

QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QComboBox* NamedList(const char* name, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    return list;
}

void Fill(QComboBox* list, const std::vector<std::string>& items, int selected) {
    list->clear();
    for (const std::string& item : items) list->addItem(QString::fromStdString(item));
    list->setCurrentIndex(selected);
}

}  // namespace

Tmpegsettings::Tmpegsettings(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("mpegsettings"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("MPEG Layer3 Settings"));

    auto* box = new QGroupBox(QStringLiteral("  MP3 Settings  "), this);
    box->setObjectName(QStringLiteral("GroupBox1"));
    auto* form = new QFormLayout(box);

    vbrmode_ = NamedList("vbrmode", box);
    // Its items are translated after it is made: it follows them rather than the first ones.
    vbrmode_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    vbrmode_->addItems({QStringLiteral("Constant Bitrate (CBR)"),
                        QStringLiteral("Variable Bitrate (VBR)"),
                        QStringLiteral("Average Bitrate (ABR)")});
    modeLabel_ = NamedLabel("Label1", QStringLiteral("Encoding Mode:"), box);
    form->addRow(modeLabel_, vbrmode_);

    bitrate_ = NamedList("bitrate", box);
    bitrateLabel_ = NamedLabel("Bitratelabel", QStringLiteral("Bitrate:"), box);
    form->addRow(bitrateLabel_, bitrate_);

    maxbitLabel_ = NamedLabel("maxbitLabel", QStringLiteral("Maximum Bitrate:"), box);
    maxbitrate_ = NamedList("maxbitrate", box);
    form->addRow(maxbitLabel_, maxbitrate_);

    notebook_ = new QStackedWidget(box);
    notebook_->setObjectName(QStringLiteral("Notebook3"));
    auto* cbrPage = new QWidget(notebook_);
    cbrPage->setObjectName(QStringLiteral("CBR"));
    auto* vbrPage = new QWidget(notebook_);
    vbrPage->setObjectName(QStringLiteral("VBR"));
    // The slider's ends are labelled: its right end is the best quality, not the highest number.
    auto* vbrGrid = new QGridLayout(vbrPage);
    vbrGrid->setContentsMargins(0, 0, 0, 0);
    vbrGrid->setVerticalSpacing(0);
    qualityLabel_ = NamedLabel("Label37", QStringLiteral("Quality:"), vbrPage);
    vbrGrid->addWidget(qualityLabel_, 0, 0);
    vbrquality_ = new QSlider(Qt::Horizontal, vbrPage);
    vbrquality_->setObjectName(QStringLiteral("vbrquality"));
    vbrquality_->setRange(0, kMaxQualityPosition);
    vbrquality_->setPageStep(1);
    vbrquality_->setTickPosition(QSlider::TicksBelow);
    vbrGrid->addWidget(vbrquality_, 0, 1, 1, 2);
    auto* smaller = NamedLabel("vbrsmaller", QStringLiteral("Smaller file"), vbrPage);
    auto* better = NamedLabel("vbrbetter", QStringLiteral("Better quality"), vbrPage);
    better->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    vbrGrid->addWidget(smaller, 1, 1);
    vbrGrid->addWidget(better, 1, 2);
    vbrGrid->setColumnStretch(1, 1);
    vbrGrid->setColumnStretch(2, 1);
    auto* abrPage = new QWidget(notebook_);
    abrPage->setObjectName(QStringLiteral("ABR"));
    auto* abrRow = new QHBoxLayout(abrPage);
    abrRow->setContentsMargins(0, 0, 0, 0);
    targetLabel_ = NamedLabel("Label40", QStringLiteral("Targeted Bitrate:"), abrPage);
    abrRow->addWidget(targetLabel_);
    avgbitrate_ = NamedList("avgbitrate", abrPage);
    abrRow->addWidget(avgbitrate_, 1);
    notebook_->addWidget(cbrPage);
    notebook_->addWidget(vbrPage);
    notebook_->addWidget(abrPage);
    form->addRow(notebook_);

    crc_ = new QCheckBox(QStringLiteral("Checksum"), box);
    crc_->setObjectName(QStringLiteral("crc"));
    form->addRow(crc_);

    okButton_ = new QPushButton(QStringLiteral("&Ok"), this);
    okButton_->setObjectName(QStringLiteral("Button1"));
    okButton_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("Button2"));
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(vbrmode_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (refreshing_ || i < 0) return;
        model_.SetMode(i);
        vbrmodeChange();
    });
    connect(bitrate_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!refreshing_ && i >= 0) model_.SetBitrateIndex(i);
    });
    connect(maxbitrate_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!refreshing_ && i >= 0) model_.SetMaxBitrateIndex(i);
    });
    connect(avgbitrate_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!refreshing_ && i >= 0) model_.SetAvgBitrateIndex(i);
    });
    connect(vbrquality_, &QSlider::valueChanged, this, [this](int v) {
        if (!refreshing_) model_.SetQualityPosition(v);
    });
    connect(crc_, &QCheckBox::toggled, this, [this](bool on) {
        if (!refreshing_) model_.SetCrc(on);
    });
    // The pages' labels line up with the form's own label column.
    vbrGrid->setHorizontalSpacing(form->horizontalSpacing());
    abrRow->setSpacing(form->horizontalSpacing());
    Refresh();
    translation_ = MakeMpegSettingsTranslation(*this);
    translation_->SetRetranslateHook([this] { AlignLabels(); });
    AlignLabels();
}

void Tmpegsettings::AlignLabels() {
    // One width for the label column, hidden labels included, so that changing the mode moves
    // neither the labels nor the fields beside them.
    const std::array<QLabel*, 5> labels = {modeLabel_, bitrateLabel_, maxbitLabel_,
                                           qualityLabel_, targetLabel_};
    int width = 0;
    for (QLabel* label : labels) {
        label->setMinimumWidth(0);
        width = std::max(width, label->sizeHint().width());
    }
    for (QLabel* label : labels) label->setMinimumWidth(width);
}

Tmpegsettings::~Tmpegsettings() = default;

void Tmpegsettings::FormActivate(uint32_t sampleRate) {
    model_.FormActivate(sampleRate);
    Refresh();
}

void Tmpegsettings::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    okButton_->setFocus();
}

void Tmpegsettings::vbrmodeChange() {
    notebook_->setCurrentIndex(model_.PageIndex());
    maxbitLabel_->setVisible(model_.MaxBitrateVisible());
    maxbitrate_->setVisible(model_.MaxBitrateVisible());
}

void Tmpegsettings::Refresh() {
    refreshing_ = true;
    const TMp3Choices& c = model_.Choices();
    vbrmode_->setCurrentIndex(c.modeIndex);
    Fill(bitrate_, model_.BitrateItems(), c.bitrateIndex);
    Fill(maxbitrate_, model_.MaxBitrateItems(), c.maxBitrateIndex);
    Fill(avgbitrate_, model_.AvgBitrateItems(), c.avgBitrateIndex);
    vbrquality_->setValue(c.qualityPosition);
    crc_->setChecked(c.crc);
    refreshing_ = false;
    vbrmodeChange();
}
