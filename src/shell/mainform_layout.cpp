// The main window's layout: the menus and tool bar, the waveform over the bottom panel of
// selection, cursor, levels and volume, the status bar, and where the window opens.
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "commands.h"
#include "jobcontrol.h"
#include "keys.h"
#include "layoutfit.h"
#include "mainform.h"
#include "settings.h"
#include "timetext.h"
#include "vumeter.h"
#include "waveview.h"

namespace {

// Design sizes of the layout, in logical pixels.
constexpr int kMinimumWidth = 510;
constexpr int kMinimumHeight = 320;
constexpr int kDesignWidth = 646;
constexpr int kDesignHeight = 490;
constexpr int kPanelWidth = 150;
constexpr int kSelectionBoxWidth = 241;
constexpr int kVolumeBoxWidth = 64;
constexpr int kEditWidth = 86;
constexpr int kMeterWidth = 270;
constexpr int kMeterHeight = 24;
constexpr int kTimeDisplayPixels = 32;
constexpr int kVolumeTickInterval = 500;
// The level meter's bar colour (red 0x63, green 0xC5, blue 0x54).
const QColor kMeterBarColor(0x63, 0xC5, 0x54);

// Selection edit shapes. Qt's mask letters: "0" an optional digit, "9" a required one.
// Milliseconds: up to five minute digits (2^32 ms are 71,582 minutes, so every time the
// positions can hold fits), up to two second digits, exactly three millisecond digits.
// Samples: up to 15 digits.
const QString kMsMask = QStringLiteral("00000:00.999");
const QString kSamplesMask = QStringLiteral("000000000000000");

}  // namespace

// --- layout ------------------------------------------------------------------------------------

void Tmainform::BuildLayout() {
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kDesignWidth, kDesignHeight);
    commands_->BuildMenus(menuBar());
    QToolBar* bar = commands_->BuildToolBar(this);
    addToolBar(bar);
    // The button that opens the commands a narrow window has no room for.
    if (auto* more = bar->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("More commands"));
    commands_->BuildContextMenu(view_);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Client"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* clientPanel = new QFrame(central);
    clientPanel->setObjectName(QStringLiteral("ClientPanel"));
    clientPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* clientLayout = new QVBoxLayout(clientPanel);
    clientLayout->setContentsMargins(1, 1, 1, 1);
    view_->setParent(clientPanel);
    clientLayout->addWidget(view_);
    column->addWidget(clientPanel, 1);

    scroll_ = new QScrollBar(Qt::Horizontal, central);
    scroll_->setObjectName(QStringLiteral("Scroll"));
    scroll_->setEnabled(false);
    scroll_->setPageStep(1);
    scroll_->setAccessibleName(QStringLiteral("Scroll position"));
    // The view follows the bar's moves itself (ScrollToBar).
    column->addWidget(scroll_);

    auto* bevel = new QFrame(central);
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    column->addWidget(bevel);
    column->addWidget(BuildBottomPanel());
    setCentralWidget(central);

    for (size_t i = 0; i < panels_.size(); ++i) {
        panels_[i] = new QLabel(statusBar());
        panels_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panels_[i]->setMinimumWidth(kPanelWidth);
        statusBar()->addWidget(panels_[i]);
    }
    statusBar()->setSizeGripEnabled(true);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setAccessibleName(QStringLiteral("Status"));
}

QWidget* Tmainform::BuildBottomPanel() {
    auto* bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("BottomPanel"));
    bottom->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(bottom);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* tabs = new QTabWidget(bottom);
    tabs->setObjectName(QStringLiteral("PageControl1"));
    layout->addWidget(tabs);
    auto* page = new QWidget(tabs);
    page->setObjectName(QStringLiteral("MainSheet"));
    // The tab shows its page's title (translated like any other text).
    page->setWindowTitle(QStringLiteral("Main"));
    tabs->addTab(page, QStringLiteral("Main"));

    // The progress bar sits in the tab row, right of the one tab, and follows the width.
    progressBar_ = new QProgressBar(bottom);
    progressBar_->setObjectName(QStringLiteral("ProgressBar"));
    progressBar_->setRange(0, 100);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(QStringLiteral("Progress"));
    progressBar_->hide();
    jobs_ = new TJobControl(*document_, bottom, this);
    bottom->installEventFilter(this);

    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(6, 6, 6, 6);

    auto* selection = new QGroupBox(QStringLiteral("  Selection  "), page);
    selection->setObjectName(QStringLiteral("SelectionBox"));
    selection->setFixedWidth(kSelectionBoxWidth);
    auto* selGrid = new QGridLayout(selection);
    auto* beginLabel = new QLabel(QStringLiteral("Begin:"), selection);
    beginLabel->setObjectName(QStringLiteral("BeginLabel"));
    auto* endLabel = new QLabel(QStringLiteral("End:"), selection);
    endLabel->setObjectName(QStringLiteral("EndLabel"));
    selstart_ = new QLineEdit(selection);
    selstart_->setObjectName(QStringLiteral("selstart"));
    selstop_ = new QLineEdit(selection);
    selstop_->setObjectName(QStringLiteral("selstop"));
    for (QLineEdit* edit : {selstart_, selstop_}) {
        edit->setMinimumWidth(kEditWidth);
        // A file dropped here opens, like anywhere else on the window.
        edit->setAcceptDrops(false);
    }
    auto* pickStart = new QPushButton(QStringLiteral("Pick"), selection);
    pickStart->setObjectName(QStringLiteral("PickStartMS"));
    auto* pickStop = new QPushButton(QStringLiteral("Pick"), selection);
    pickStop->setObjectName(QStringLiteral("PickStopMS"));
    sel_ = new QCheckBox(QStringLiteral("Selected"), selection);
    sel_->setObjectName(QStringLiteral("sel"));
    selGrid->addWidget(beginLabel, 0, 0);
    selGrid->addWidget(selstart_, 0, 1);
    selGrid->addWidget(pickStart, 0, 2);
    selGrid->addWidget(endLabel, 1, 0);
    selGrid->addWidget(selstop_, 1, 1);
    selGrid->addWidget(pickStop, 1, 2);
    selGrid->addWidget(sel_, 2, 1, 1, 2);
    connect(pickStart, &QPushButton::clicked, this,
            [this] { WritePosition(selstart_, view_->cursor, view_->cursorMs); });
    connect(pickStop, &QPushButton::clicked, this,
            [this] { WritePosition(selstop_, view_->cursor, view_->cursorMs); });
    // clicked, unlike toggled, comes only from the user: onSelect can set the box silently.
    connect(sel_, &QCheckBox::clicked, this, [this] { selClick(); });

    auto* cursorBox = new QGroupBox(QStringLiteral("  Cursor  "), page);
    cursorBox->setObjectName(QStringLiteral("CursorBox"));
    auto* cursorLayout = new QVBoxLayout(cursorBox);
    timedisplay_ = new QLabel(mstotime(0), cursorBox);
    timedisplay_->setObjectName(QStringLiteral("timedisplay"));
    QFont timeFont(QStringLiteral("Arial"));
    timeFont.setBold(true);
    timeFont.setPixelSize(kTimeDisplayPixels);
    timedisplay_->setFont(timeFont);
    timedisplay_->setAlignment(Qt::AlignCenter);
    cursorLayout->setContentsMargins(4, 0, 4, 2);
    cursorLayout->addWidget(timedisplay_);

    auto* levelsBox = new QGroupBox(QStringLiteral("  Levels  "), page);
    levelsBox->setObjectName(QStringLiteral("LevelsBox"));
    auto* levelsLayout = new QVBoxLayout(levelsBox);
    meter_ = new TVUMeter(levelsBox);
    meter_->setObjectName(QStringLiteral("VUMeter1"));
    meter_->backcolor = QColor(0, 0, 0);
    meter_->forecolor = kMeterBarColor;
    meter_->setMinimumSize(kMeterWidth, kMeterHeight);
    meter_->setMaximumHeight(kMeterHeight);
    levelsLayout->addWidget(meter_);

    auto* volumeBox = new QGroupBox(QStringLiteral(" Volume "), page);
    volumeBox->setObjectName(QStringLiteral("VolumeBox"));
    volumeBox->setFixedWidth(kVolumeBoxWidth);
    auto* volumeLayout = new QVBoxLayout(volumeBox);
    volumeBar_ = new QSlider(Qt::Vertical, volumeBox);
    volumeBar_->setObjectName(QStringLiteral("VolumeBar"));
    volumeBar_->setRange(-10000, 0);
    // The loud end (-10000) at the top.
    volumeBar_->setInvertedAppearance(true);
    volumeBar_->setInvertedControls(true);
    volumeBar_->setTickPosition(QSlider::TicksBothSides);
    volumeBar_->setTickInterval(kVolumeTickInterval);
    volumeBar_->setPageStep(kVolumeTickInterval);
    volumeBar_->setSingleStep(100);
    volumeBar_->setToolTip(QStringLiteral("Playback volume level"));
    volumeBar_->setValue(-8000);
    volumeLayout->addWidget(volumeBar_, 0, Qt::AlignHCenter);
    connect(volumeBar_, &QSlider::valueChanged, this, [this] { VolumeBarChange(); });

    grid->addWidget(selection, 0, 0, 2, 1);
    grid->addWidget(cursorBox, 0, 1);
    grid->addWidget(levelsBox, 1, 1);
    grid->addWidget(volumeBox, 0, 2, 2, 1);
    grid->setColumnStretch(1, 1);
    return bottom;
}

void Tmainform::PlaceWindow() {
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    if (Settings.width != -1 && Settings.height != -1) {
        resize(std::max(Settings.width, kMinimumWidth), std::max(Settings.height, kMinimumHeight));
    }
    // A position saved on a screen that is no longer there would hide the window: centre it.
    const bool onScreen =
        QGuiApplication::screenAt(QPoint(Settings.posx, Settings.posy) + QPoint(20, 20));
    if ((Settings.posx == -1 && Settings.posy == -1) || !onScreen) {
        if (screen.isValid()) {
            const QRect placed = KeepInside(QRect(screen.center() - rect().center(), size()), screen);
            resize(placed.size());
            move(placed.topLeft());
        }
    } else {
        // Saved at another scale or screen size, the window may reach past the screen's edge.
        const QRect area =
            QGuiApplication::screenAt(QPoint(Settings.posx, Settings.posy) + QPoint(20, 20))
                ->availableGeometry();
        const QRect placed = KeepInside(QRect(QPoint(Settings.posx, Settings.posy), size()), area);
        resize(placed.size());
        move(placed.topLeft());
    }
}

void Tmainform::SetEditShape() {
    const bool ms = Settings.selectiontype == 0;
    for (QLineEdit* edit : {selstart_, selstop_}) edit->setInputMask(ms ? kMsMask : kSamplesMask);
}
