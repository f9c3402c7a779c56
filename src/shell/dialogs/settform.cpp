#include "settform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "apperror.h"
#include "capture.h"
#include "colorbox.h"
#include "displaycolors.h"
#include "languagecontroller.h"
#include "languagemanager.h"
#include "messages.h"
#include "prompts.h"
#include "settings.h"

namespace {

// The rates offered for a take that makes a new sound.
constexpr int kRecordRates[] = {44100, 48000};

// Identifiers of the dialog's texts in language files: fixed forever, only ever added to.
std::vector<TTranslatable> TranslationTable() {
    std::vector<TTranslatable> table{
        {1, "", "windowTitle"},          {2, "LanguageTab", "windowTitle"},
        {3, "SystemTab", "windowTitle"}, {4, "ColorsTab", "windowTitle"},
        {5, "GroupBox1", "title"},       {6, "Label1", "text"},
        {7, "Label2", "text"},           {8, "Label3", "text"},
        {9, "Button1", "text"},          {10, "Button2", "text"},
        {11, "SpeedButton1", "toolTip"},
        {12, "EditingTab", "windowTitle"},
        {13, "JoinsBox", "text"},        {14, "JoinLabel", "text"},
        {15, "SnapBox", "text"},
        {16, "HistoryLabel", "text"},    {17, "HistoryLimit", "specialValueText"},
        {18, "DarkPreset", "text"},      {19, "LightPreset", "text"},
        {42, "WheelZoomBox", "text"},
        {43, "RecordingTab", "windowTitle"},
        {44, "DeviceLabel", "text"},     {45, "RateLabel", "text"},
        {46, "ChannelsLabel", "text"},
        {47, "ChannelsBox", "items[0]"}, {48, "ChannelsBox", "items[1]"},
    };
    // The colour names, once: the other two boxes copy them from the first.
    static const char* const kItems[] = {
        "items[0]",  "items[1]",  "items[2]",  "items[3]",  "items[4]",  "items[5]",
        "items[6]",  "items[7]",  "items[8]",  "items[9]",  "items[10]", "items[11]",
        "items[12]", "items[13]", "items[14]", "items[15]", "items[16]", "items[17]",
        "items[18]", "items[19]", "items[20]", "items[21]"};
    for (int i = 0; i < int(std::size(kItems)); ++i)
        table.push_back({20 + i, "backColor", kItems[i]});
    return table;
}

QWidget* MakePage(QTabWidget* tabs, const char* name, const char* title, QObject* filter) {
    auto* page = new QWidget(tabs);
    page->setObjectName(QString::fromLatin1(name));
    page->setWindowTitle(QString::fromLatin1(title));
    page->installEventFilter(filter);
    tabs->addTab(page, page->windowTitle());
    return page;
}

}  // namespace

QString ChooseExistingFolder(QWidget* owner, const QString& prompt) {
    QFileDialog dialog(owner, prompt);
    dialog.setFileMode(QFileDialog::Directory);
    // Our own chooser, so it can be placed and offers no button for making folders.
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly |
                      QFileDialog::DontUseNativeDialog);
    dialog.setWindowModality(Qt::ApplicationModal);
    QWidget* anchor = owner && owner->parentWidget() ? owner->parentWidget()->window() : owner;
    if (QScreen* screen = anchor ? anchor->screen() : nullptr) {
        const QRect area = screen->geometry();
        const QSize size = dialog.sizeHint().expandedTo(dialog.size());
        dialog.move(area.x() + (area.width() - size.width()) / 2,
                    area.y() + (area.height() - size.height()) / 2);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

TsettingsForm::TsettingsForm(QWidget* parent, TLanguageManager* manager, TPrompts* prompts)
    : QDialog(parent),
      manager_(manager ? *manager : TLanguageManager::Instance()),
      prompts_(prompts) {
    setObjectName(QStringLiteral("settingsForm"));
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);
    ChooseFolder = ChooseExistingFolder;

    pageControl = new QTabWidget(this);
    pageControl->setObjectName(QStringLiteral("pageControl"));
    // Every tab's caption in full, in every language and scale: the dialog grows to them.
    pageControl->setUsesScrollButtons(false);

    QWidget* languagePage = MakePage(pageControl, "LanguageTab", "Language", this);
    LangBox = new QComboBox(languagePage);
    LangBox->setObjectName(QStringLiteral("LangBox"));
    LangBox->setEditable(false);
    auto* languageLayout = new QVBoxLayout(languagePage);
    languageLayout->addWidget(LangBox);
    languageLayout->addStretch(1);

    QWidget* systemPage = MakePage(pageControl, "SystemTab", "System", this);
    auto* folderGroup = new QGroupBox(QStringLiteral("  Temporary Folder  "), systemPage);
    folderGroup->setObjectName(QStringLiteral("GroupBox1"));
    tmpedit = new QLineEdit(folderGroup);
    tmpedit->setObjectName(QStringLiteral("tmpedit"));
    // Only the folder button sets the folder: typing here would change nothing.
    tmpedit->setReadOnly(true);
    SpeedButton1 = new QToolButton(folderGroup);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    SpeedButton1->setToolTip(QStringLiteral("Browse"));
    auto* folderLayout = new QHBoxLayout(folderGroup);
    folderLayout->addWidget(tmpedit, 1);
    folderLayout->addWidget(SpeedButton1);
    auto* systemLayout = new QVBoxLayout(systemPage);
    systemLayout->addWidget(folderGroup);
    systemLayout->addStretch(1);

    QWidget* colorsPage = MakePage(pageControl, "ColorsTab", "Colors", this);
    auto* colorsLayout = new QGridLayout(colorsPage);
    auto colorRow = [&](const char* labelName, const char* caption, const char* boxName,
                        const QColor& byDefault, int row) {
        auto* label = new QLabel(QString::fromLatin1(caption), colorsPage);
        label->setObjectName(QString::fromLatin1(labelName));
        auto* box = new TColorBox(byDefault, colorsPage);
        box->setObjectName(QString::fromLatin1(boxName));
        label->setBuddy(box);
        colorsLayout->addWidget(label, row, 0);
        colorsLayout->addWidget(box, row, 1);
        return box;
    };
    const TDisplayColors defaults;
    backColor = colorRow("Label1", "Background:", "backColor", defaults.BackColor, 0);
    scaleColor = colorRow("Label2", "Scales:", "scaleColor", defaults.ScaleColor, 1);
    waveColor = colorRow("Label3", "Wave Data:", "waveColor", defaults.WaveColor, 2);
    DarkPreset = new QPushButton(QStringLiteral("&Dark"), colorsPage);
    DarkPreset->setObjectName(QStringLiteral("DarkPreset"));
    LightPreset = new QPushButton(QStringLiteral("&Light"), colorsPage);
    LightPreset->setObjectName(QStringLiteral("LightPreset"));
    auto* presets = new QHBoxLayout;
    presets->addWidget(DarkPreset);
    presets->addWidget(LightPreset);
    presets->addStretch(1);
    colorsLayout->addLayout(presets, 3, 1);
    colorsLayout->setColumnStretch(1, 1);
    colorsLayout->setRowStretch(4, 1);

    QWidget* editingPage = MakePage(pageControl, "EditingTab", "Editing", this);
    JoinsBox = new QCheckBox(QStringLiteral("&Smooth edit joins"), editingPage);
    JoinsBox->setObjectName(QStringLiteral("JoinsBox"));
    auto* joinLabel = new QLabel(QStringLiteral("&Join length (ms):"), editingPage);
    joinLabel->setObjectName(QStringLiteral("JoinLabel"));
    JoinLength = new QSpinBox(editingPage);
    JoinLength->setObjectName(QStringLiteral("JoinLength"));
    JoinLength->setRange(1, kMaxJoinFadeMs);
    joinLabel->setBuddy(JoinLength);
    SnapBox = new QCheckBox(QStringLiteral("S&nap selections to zero crossings"), editingPage);
    SnapBox->setObjectName(QStringLiteral("SnapBox"));
    auto* historyLabel = new QLabel(QStringLiteral("&Undo history limit (MB):"), editingPage);
    historyLabel->setObjectName(QStringLiteral("HistoryLabel"));
    HistoryLimit = new QSpinBox(editingPage);
    HistoryLimit->setObjectName(QStringLiteral("HistoryLimit"));
    HistoryLimit->setRange(0, kMaxHistoryLimit);
    HistoryLimit->setSingleStep(100);
    // 0 shows as words: no cap at all.
    HistoryLimit->setSpecialValueText(QStringLiteral("No limit"));
    historyLabel->setBuddy(HistoryLimit);
    WheelZoomBox = new QCheckBox(QStringLiteral("The mouse &wheel zooms without Ctrl"), editingPage);
    WheelZoomBox->setObjectName(QStringLiteral("WheelZoomBox"));
    auto* editingLayout = new QGridLayout(editingPage);
    editingLayout->addWidget(JoinsBox, 0, 0, 1, 2);
    editingLayout->addWidget(joinLabel, 1, 0);
    editingLayout->addWidget(JoinLength, 1, 1);
    editingLayout->addWidget(SnapBox, 2, 0, 1, 2);
    editingLayout->addWidget(historyLabel, 3, 0);
    editingLayout->addWidget(HistoryLimit, 3, 1);
    editingLayout->addWidget(WheelZoomBox, 4, 0, 1, 3);
    editingLayout->setColumnStretch(2, 1);
    editingLayout->setRowStretch(5, 1);

    QWidget* recordingPage = MakePage(pageControl, "RecordingTab", "Recording", this);
    auto* recordingLayout = new QGridLayout(recordingPage);
    auto recordingRow = [&](const char* labelName, const char* caption, const char* boxName,
                            int row) {
        auto* label = new QLabel(QString::fromLatin1(caption), recordingPage);
        label->setObjectName(QString::fromLatin1(labelName));
        auto* box = new QComboBox(recordingPage);
        box->setObjectName(QString::fromLatin1(boxName));
        label->setBuddy(box);
        recordingLayout->addWidget(label, row, 0);
        recordingLayout->addWidget(box, row, 1);
        return box;
    };
    DeviceBox = recordingRow("DeviceLabel", "&Input device:", "DeviceBox", 0);
    DeviceBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    RateBox = recordingRow("RateLabel", "&Rate of a new sound:", "RateBox", 1);
    for (const int rate : kRecordRates) RateBox->addItem(RateText(rate), rate);
    ChannelsBox = recordingRow("ChannelsLabel", "C&hannels of a new sound:", "ChannelsBox", 2);
    ChannelsBox->addItem(QStringLiteral("Stereo"), 2);
    ChannelsBox->addItem(QStringLiteral("Mono"), 1);
    recordingLayout->setColumnStretch(2, 1);
    recordingLayout->setRowStretch(3, 1);

    Button1 = new QPushButton(QStringLiteral("&Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pageControl, 1);
    layout->addLayout(buttons);
    resize(353, 198);

    // Neither button applies or reverts anything: every change has already taken effect.
    connect(Button1, &QPushButton::clicked, this, &QDialog::hide);
    connect(Button2, &QPushButton::clicked, this, &QDialog::hide);
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(LangBox, &QComboBox::activated, this, [this](int index) { LangBoxChange(index); });
    connect(JoinsBox, &QCheckBox::toggled, this, [this](bool on) {
        Settings.smoothjoins = on ? 1 : 0;
        JoinLength->setEnabled(on);
    });
    connect(JoinLength, &QSpinBox::valueChanged, this, [](int ms) { Settings.joinfade = ms; });
    connect(SnapBox, &QCheckBox::toggled, this, [](bool on) { Settings.snapzero = on ? 1 : 0; });
    connect(HistoryLimit, &QSpinBox::valueChanged, this,
            [](int mib) { Settings.historylimit = mib; });
    connect(WheelZoomBox, &QCheckBox::toggled, this,
            [](bool on) { Settings.wheelzoom = on ? 1 : 0; });
    connect(DeviceBox, &QComboBox::activated, this,
            [this](int i) { Settings.recdevice = DeviceBox->itemData(i).toString(); });
    connect(RateBox, &QComboBox::activated, this,
            [this](int i) { Settings.recrate = RateBox->itemData(i).toInt(); });
    connect(ChannelsBox, &QComboBox::activated, this,
            [this](int i) { Settings.recchannels = ChannelsBox->itemData(i).toInt(); });
    backColor->OnChange = [this](const QColor& c) {
        Settings.backcolor = SettingFromColor(c);
        DisplayColors.BackColor = c;
        FitContrastColors(DisplayColors);
        if (OnColorsChanged) OnColorsChanged();
    };
    scaleColor->OnChange = [this](const QColor& c) {
        Settings.scalecolor = SettingFromColor(c);
        DisplayColors.ScaleColor = c;
        if (OnColorsChanged) OnColorsChanged();
    };
    waveColor->OnChange = [this](const QColor& c) {
        Settings.wavecolor = SettingFromColor(c);
        DisplayColors.WaveColor = c;
        if (OnColorsChanged) OnColorsChanged();
    };

    connect(DarkPreset, &QPushButton::clicked, this, [this] { ApplyPreset(kDarkWavePreset); });
    connect(LightPreset, &QPushButton::clicked, this, [this] { ApplyPreset(kLightWavePreset); });

    translator_ = std::make_unique<TLanguageController>(
        this, TranslationTable(),
        QStringList{"tmpedit.text", "LangBox.*", "scaleColor.*", "waveColor.*", "JoinLength.*",
                    "HistoryLimit.text", "HistoryLimit.suffix", "HistoryLimit.prefix",
                    "DeviceBox.*", "RateBox.*"},
        &manager_);
    translator_->SetRetranslateHook([this] {
        copyColorNames();
        // The special text ("No limit") in every language, not cut by the column.
        HistoryLimit->setMinimumWidth(HistoryLimit->sizeHint().width());
        if (DeviceBox->count() > 0)
            DeviceBox->setItemText(0, manager_.MessageText(QStringLiteral("recdefaultdevice")));
        for (int i = 0; i < RateBox->count(); ++i)
            RateBox->setItemText(i, RateText(RateBox->itemData(i).toInt()));
    });
    FormCreate();
    translator_->Bind();
}

TsettingsForm::~TsettingsForm() = default;

QString TsettingsForm::RateText(int rate) const {
    // In the unit and number format File Properties writes a sound's rate in.
    return manager_.MessageText(QStringLiteral("unithz")).arg(rate);
}

void TsettingsForm::FormCreate() {
    tmpedit->setText(Settings.tempfolder);
    backColor->SetSelected(ColorFromSetting(Settings.backcolor));
    scaleColor->SetSelected(ColorFromSetting(Settings.scalecolor));
    waveColor->SetSelected(ColorFromSetting(Settings.wavecolor));
    JoinsBox->setChecked(Settings.smoothjoins != 0);
    JoinLength->setValue(Settings.joinfade);
    JoinLength->setEnabled(Settings.smoothjoins != 0);
    SnapBox->setChecked(Settings.snapzero != 0);
    WheelZoomBox->setChecked(Settings.wheelzoom != 0);
    HistoryLimit->setValue(Settings.historylimit);
    RateBox->setCurrentIndex(std::max(0, RateBox->findData(Settings.recrate)));
    ChannelsBox->setCurrentIndex(std::max(0, ChannelsBox->findData(Settings.recchannels)));
    FillDevices();

    manager_.ScanLanguageFolders();
    const QSignalBlocker quiet(LangBox);
    LangBox->clear();
    for (int i = 0; i < manager_.LanguageCount(); ++i) LangBox->addItem(manager_.LanguageName(i));
    LangBox->setCurrentIndex(0);

    const int saved = Settings.lang == -1 ? int(UserDefaultLanguage()) : Settings.lang;
    for (int i = 0; i < manager_.LanguageCount(); ++i) {
        if (manager_.LanguageID(i) != uint16_t(saved)) continue;
        try {
            manager_.SetActiveLanguage(manager_.LanguageID(i));
            LangBox->setCurrentIndex(i);
        } catch (const EAppError&) {
            // A file that cannot be loaded leaves the built-in language, first in the list.
        }
        break;
    }
}

void TsettingsForm::FillDevices() {
    std::vector<std::string> names;
    try {
        names = ListDevices ? ListDevices() : CaptureDevices();
    } catch (const std::exception&) {
        // No sound system: the default entry alone.
    }
    const QSignalBlocker quiet(DeviceBox);
    DeviceBox->clear();
    DeviceBox->addItem(manager_.MessageText(QStringLiteral("recdefaultdevice")), QString());
    for (const std::string& name : names) {
        const QString device = QString::fromStdString(name);
        DeviceBox->addItem(device, device);
    }
    // A device chosen before and not plugged in now stays the choice.
    if (!Settings.recdevice.isEmpty() && DeviceBox->findData(Settings.recdevice) < 0)
        DeviceBox->addItem(Settings.recdevice, Settings.recdevice);
    DeviceBox->setCurrentIndex(std::max(0, DeviceBox->findData(Settings.recdevice)));
}

void TsettingsForm::LangBoxChange(int index) {
    try {
        manager_.SetActiveLanguage(manager_.LanguageID(index < 0 ? 0 : index));
    } catch (const EAppError& e) {
        (prompts_ ? *prompts_ : DefaultPrompts()).Error(QString::fromStdString(e.what()));
        const QSignalBlocker quiet(LangBox);
        LangBox->setCurrentIndex(std::max(0, manager_.IndexOfLanguage(manager_.ActiveLanguage())));
    }
}

void TsettingsForm::SpeedButton1Click() {
    const QString folder =
        ChooseFolder ? ChooseFolder(this, QString::fromStdString(Msg("selectfolder"))) : QString();
    if (folder.isEmpty()) return;
    tmpedit->setText(folder);
    Settings.tempfolder = folder;
}

void TsettingsForm::ApplyPreset(const TWavePreset& preset) {
    const std::pair<TColorBox*, int32_t> boxes[] = {
        {backColor, preset.backcolor}, {scaleColor, preset.scalecolor}, {waveColor, preset.wavecolor}};
    for (const auto& [box, value] : boxes) {
        box->SetSelected(ColorFromSetting(value));
        if (box->OnChange) box->OnChange(ColorFromSetting(value));
    }
}

void TsettingsForm::copyColorNames() {
    for (TColorBox* box : {scaleColor, waveColor})
        for (int i = 0; i < box->count() && i < backColor->count(); ++i)
            box->setItemText(i, backColor->itemText(i));
}

bool TsettingsForm::eventFilter(QObject* watched, QEvent* event) {
    // A tab's caption is its page's window title, so the language controller can set it.
    if (event->type() == QEvent::WindowTitleChange) {
        if (auto* page = qobject_cast<QWidget*>(watched)) {
            const int index = pageControl->indexOf(page);
            if (index >= 0) pageControl->setTabText(index, page->windowTitle());
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TsettingsForm::showEvent(QShowEvent* event) {
    Button1->setFocus();
    // Devices come and go (a headset plugged in): listed again each time.
    FillDevices();
    QDialog::showEvent(event);
}
