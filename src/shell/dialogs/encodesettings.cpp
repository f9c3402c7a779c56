#include "encodesettings.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "languagecontroller.h"

namespace {

// Section "encodesettings".
const std::vector<TTranslatable> kTexts = {
    {1, "", "windowTitle"},
    {2, "FlacLevelLabel", "text"},
    {3, "FlacFast", "text"},
    {4, "FlacSmall", "text"},
    {5, "VorbisQualityLabel", "text"},
    {6, "VorbisSmall", "text"},
    {7, "VorbisBest", "text"},
    {8, "OpusBitrateLabel", "text"},
    {9, "OpusNote", "text"},
    {10, "OkButton", "text"},
    {11, "CancelButton", "text"},
    {12, "FlacTitle", "text"},
    {13, "VorbisTitle", "text"},
    {14, "OpusTitle", "text"},
};

QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QSlider* NamedSlider(const char* name, int min, int max, QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QLatin1String(name));
    slider->setRange(min, max);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);
    return slider;
}

// A page: its title in bold, then a label and a slider with its value beside it and the names of
// its two ends below.
QWidget* SliderPage(QStackedWidget* pages, const char* title, const QString& titleText,
                    QLabel* label, QSlider* slider, QLabel* low, QLabel* high) {
    auto* page = new QWidget(pages);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 0, 0, 0);
    QLabel* heading = NamedLabel(title, titleText, page);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    grid->addWidget(heading, 0, 0, 1, 3);
    grid->addWidget(label, 1, 0);
    grid->addWidget(slider, 1, 1, 1, 2);
    auto* value = new QLabel(page);
    value->setObjectName(slider->objectName() + QStringLiteral("Value"));
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("-10")));
    value->setNum(slider->value());
    QObject::connect(slider, &QSlider::valueChanged, value, qOverload<int>(&QLabel::setNum));
    grid->addWidget(value, 1, 3);
    grid->addWidget(low, 2, 1, Qt::AlignLeft);
    grid->addWidget(high, 2, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(3, 1);
    pages->addWidget(page);
    return page;
}

constexpr int kDesignWidth = 360;

}  // namespace

Tencodesettings::Tencodesettings(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("encodesettings"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("Encoder Settings"));
    const TEncodeSettings defaults;

    pages_ = new QStackedWidget(this);
    pages_->setObjectName(QStringLiteral("Pages"));
    flacLevel_ = NamedSlider("flacLevel", kMinFlacLevel, kMaxFlacLevel, pages_);
    flacLevel_->setValue(defaults.flacLevel);
    SliderPage(pages_, "FlacTitle", QStringLiteral("FLAC"),
               NamedLabel("FlacLevelLabel", QStringLiteral("Compression level:"), pages_),
               flacLevel_, NamedLabel("FlacFast", QStringLiteral("Fastest"), pages_),
               NamedLabel("FlacSmall", QStringLiteral("Smallest file"), pages_));
    vorbisQuality_ = NamedSlider("vorbisQuality", kMinVorbisQuality, kMaxVorbisQuality, pages_);
    vorbisQuality_->setValue(defaults.vorbisQuality);
    SliderPage(pages_, "VorbisTitle", QStringLiteral("Ogg Vorbis"),
               NamedLabel("VorbisQualityLabel", QStringLiteral("Quality:"), pages_),
               vorbisQuality_, NamedLabel("VorbisSmall", QStringLiteral("Smallest file"), pages_),
               NamedLabel("VorbisBest", QStringLiteral("Best sound"), pages_));

    auto* opus = new QWidget(pages_);
    auto* opusGrid = new QGridLayout(opus);
    opusGrid->setContentsMargins(0, 0, 0, 0);
    QLabel* opusTitle = NamedLabel("OpusTitle", QStringLiteral("Opus"), opus);
    QFont bold = opusTitle->font();
    bold.setBold(true);
    opusTitle->setFont(bold);
    opusGrid->addWidget(opusTitle, 0, 0, 1, 2);
    opusGrid->addWidget(NamedLabel("OpusBitrateLabel", QStringLiteral("Bitrate (kbit/s):"), opus),
                        1, 0);
    opusBitrate_ = new QSpinBox(opus);
    opusBitrate_->setObjectName(QStringLiteral("opusBitrate"));
    opusBitrate_->setRange(kMinOpusBitrate, kMaxOpusBitrate);
    opusBitrate_->setSingleStep(8);
    opusBitrate_->setValue(defaults.opusBitrate);
    opusGrid->addWidget(opusBitrate_, 1, 1);
    QLabel* note = NamedLabel(
        "OpusNote", QStringLiteral("Opus files are always saved at 48,000 Hz: the sound is "
                                   "converted to that rate on saving."),
        opus);
    note->setWordWrap(true);
    opusGrid->addWidget(note, 2, 0, 1, 2);
    opusGrid->setColumnStretch(1, 1);
    opusGrid->setRowStretch(3, 1);
    pages_->addWidget(opus);

    okButton_ = new QPushButton(QStringLiteral("&Ok"), this);
    okButton_->setObjectName(QStringLiteral("OkButton"));
    okButton_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addLayout(buttons);
    // The design width as a start, not as a minimum: an explicit minimum would keep the layout
    // from growing the dialog to what the texts of another language need.
    resize(kDesignWidth, sizeHint().height());

    translation_ = std::make_unique<TLanguageController>(
        this, kTexts, QStringList{"*Value.text", "opusBitrate.*"});
    translation_->Bind();
}

Tencodesettings::~Tencodesettings() = default;

void Tencodesettings::FormActivate(TEncodeFormat format) {
    format_ = format;
    pages_->setCurrentIndex(static_cast<int>(format));
    // The dialog takes the size of the page shown, not of the largest one.
    for (int i = 0; i < pages_->count(); ++i) {
        const QSizePolicy::Policy p =
            i == pages_->currentIndex() ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        pages_->widget(i)->setSizePolicy(p, p);
    }
    adjustSize();
}

TEncodeSettings Tencodesettings::Settings() const {
    TEncodeSettings s;
    s.format = format_;
    s.flacLevel = flacLevel_->value();
    s.vorbisQuality = vorbisQuality_->value();
    s.opusBitrate = opusBitrate_->value();
    return s;
}

void Tencodesettings::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    okButton_->setFocus();
}
