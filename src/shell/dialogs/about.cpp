#include "about.h"

#include "messages.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "languagecontroller.h"
#include "version.h"

namespace {

constexpr int kBannerWidth = 300;
constexpr int kBannerHeight = 101;
constexpr const char* kHomePage = "https://www.quillfen.example/orvane/";
constexpr const char* kSupportAddress = "support@quillfen.example";

QString LinkText(const QString& href, const QString& text) {
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(href.toHtmlEscaped(), text.toHtmlEscaped());
}

}  // namespace

QUrl HomePageUrl() {
    return QUrl(QString::fromLatin1(kHomePage));
}

QUrl SupportMailUrl() {
    return QUrl(QStringLiteral("mailto:") + QString::fromLatin1(kSupportAddress));
}

QPixmap DrawBanner(qreal devicePixelRatio) {
    QPixmap pixmap(QSize(kBannerWidth, kBannerHeight) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, kBannerWidth, kBannerHeight);
    sky.setColorAt(0, QColor(12, 24, 40));
    sky.setColorAt(1, QColor(18, 62, 74));
    p.fillRect(QRectF(0, 0, kBannerWidth, kBannerHeight), sky);

    // A waveform across the banner in the view's default wave colour: a decaying tone burst.
    const qreal mid = 64;
    QPainterPath wave;
    for (int x = 0; x <= kBannerWidth; ++x) {
        const qreal t = x / qreal(kBannerWidth);
        const qreal envelope = 26 * std::exp(-3.0 * t) * (0.55 + 0.45 * std::sin(t * 19));
        const qreal y = mid - envelope * std::sin(x * 0.55);
        if (x == 0)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.setPen(QPen(QColor(28, 240, 171, 200), 1.2));
    p.drawPath(wave);
    p.setPen(QPen(QColor(28, 240, 171, 70), 1));
    p.drawLine(QPointF(0, mid), QPointF(kBannerWidth, mid));

    QFont title = p.font();
    title.setPixelSize(34);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRectF(0, 8, kBannerWidth - 14, 42), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Orvane"));
    QFont tag = p.font();
    tag.setPixelSize(12);
    tag.setBold(false);
    p.setFont(tag);
    p.setPen(QColor(190, 214, 222));
    p.drawText(QRectF(0, 78, kBannerWidth - 14, 18), Qt::AlignRight | Qt::AlignVCenter,
               QString::fromStdString(Msg("abouttagline")));
    return pixmap;
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutbox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);

    banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("banner"));
    banner->setFixedSize(kBannerWidth, kBannerHeight);
    banner->setPixmap(DrawBanner(devicePixelRatioF()));

    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    auto* grid = new QGridLayout(group);
    versionLabel = new QLabel(QStringLiteral("Version: "), group);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    version = new QLabel(OwnVersion(), group);
    version->setObjectName(QStringLiteral("version"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice = new QLabel(QStringLiteral("Copyright \u00A9 2026 Quillfen. Free to use and to share."),
                        group);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setWordWrap(true);

    homeLabel = new QLabel(QStringLiteral("Home Page: "), group);
    homeLabel->setObjectName(QStringLiteral("homeLabel"));
    homeLink = new QLabel(LinkText(HomePageUrl().toString(), HomePageUrl().host()), group);
    homeLink->setObjectName(QStringLiteral("homeLink"));
    supportLabel = new QLabel(QStringLiteral("Support: "), group);
    supportLabel->setObjectName(QStringLiteral("supportLabel"));
    supportLink = new QLabel(
        LinkText(SupportMailUrl().toString(), QString::fromLatin1(kSupportAddress)), group);
    supportLink->setObjectName(QStringLiteral("supportLink"));
    for (QLabel* link : {homeLink, supportLink}) {
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        link->setCursor(Qt::PointingHandCursor);
        connect(link, &QLabel::linkActivated, this,
                [](const QString& href) { QDesktopServices::openUrl(QUrl(href)); });
    }

    grid->addWidget(versionLabel, 0, 0);
    grid->addWidget(version, 0, 1);
    grid->addWidget(notice, 1, 0, 1, 2);
    grid->addWidget(homeLabel, 2, 0);
    grid->addWidget(homeLink, 2, 1);
    grid->addWidget(supportLabel, 3, 0);
    grid->addWidget(supportLink, 3, 1);
    grid->setColumnStretch(1, 1);

    closeButton = new QPushButton(QStringLiteral("&Close"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::hide);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addWidget(banner);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(10, 0, 10, 0);
    body->addWidget(group);
    body->addStretch(1);
    body->addLayout(buttons);
    layout->addLayout(body);
    setFixedWidth(kBannerWidth);
    resize(kBannerWidth, 291);

    // Identifiers of the box's texts in language files: fixed forever, only ever added to. The
    // addresses and the version stay as they are in every language.
    translator_ = std::make_unique<TLanguageController>(
        this,
        std::vector<TTranslatable>{{1, "", "windowTitle"},
                                   {2, "versionLabel", "text"},
                                   {3, "homeLabel", "text"},
                                   {4, "supportLabel", "text"},
                                   {5, "closeButton", "text"},
                                   {6, "notice", "text"}},
        QStringList{"homeLink.text", "supportLink.text", "version.text"});
    translator_->Bind();
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::changeEvent(QEvent* event) {
    // Moved to a screen of another scale: draw the banner again at its pixel density.
    if (event->type() == QEvent::ScreenChangeInternal)
        banner->setPixmap(DrawBanner(devicePixelRatioF()));
    QDialog::changeEvent(event);
}

void TAboutBox::showEvent(QShowEvent* event) {
    banner->setPixmap(DrawBanner(devicePixelRatioF()));
    closeButton->setFocus();
    QDialog::showEvent(event);
}
