#include "colorscheme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFileInfo>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleHints>
#include <optional>

namespace {

constexpr auto kPortalService = "org.freedesktop.portal.Desktop";
constexpr auto kPortalPath = "/org/freedesktop/portal/desktop";
constexpr auto kPortalSettings = "org.freedesktop.portal.Settings";
constexpr auto kAppearance = "org.freedesktop.appearance";
constexpr auto kColorSchemeKey = "color-scheme";
// Start-up must not wait for a portal that is slow to start.
constexpr int kPortalTimeoutMs = 500;

// Without a session bus of its own Qt would start one (dbus-launch) just to ask.
bool HasSessionBus() {
    return qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") ||
           QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus"));
}

TColorScheme PortalColorScheme() {
    if (!HasSessionBus()) return TColorScheme::Unknown;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return TColorScheme::Unknown;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(kPortalService), QLatin1String(kPortalPath),
        QLatin1String(kPortalSettings), QStringLiteral("Read"));
    call << QLatin1String(kAppearance) << QLatin1String(kColorSchemeKey);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kPortalTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return TColorScheme::Unknown;
    // The value comes wrapped in a variant, in some portal versions twice.
    QVariant value = reply.arguments().constFirst();
    while (value.canConvert<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
    return SchemeFromPortalValue(value.toUInt());
}

// Receives the portal's SettingChanged signal.
class TSchemeWatcher : public QObject {
    Q_OBJECT
public:
    explicit TSchemeWatcher(QApplication& app) : QObject(&app) {}
    void Apply(TColorScheme scheme) {
        if (scheme == TColorScheme::Dark && !IsDarkPalette(QApplication::palette())) {
            if (!original_) original_ = QApplication::style()->name();
            QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            QApplication::setPalette(DarkPalette());
        } else if (scheme == TColorScheme::Light && original_) {
            // Back from a dark palette of our own to what the platform gives.
            QApplication::setStyle(QStyleFactory::create(*original_));
            QApplication::setPalette(QApplication::style()->standardPalette());
            original_.reset();
        }
    }
public slots:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
        if (group != QLatin1String(kAppearance) || key != QLatin1String(kColorSchemeKey)) return;
        Apply(SchemeFromPortalValue(value.variant().toUInt()));
    }

private:
    std::optional<QString> original_;
};

}  // namespace

TColorScheme SchemeFromGtkTheme(const QString& theme) {
    if (theme.isEmpty()) return TColorScheme::Unknown;
    const QString name = theme.toLower();
    return name.endsWith(QLatin1String(":dark")) || name.endsWith(QLatin1String("-dark"))
               ? TColorScheme::Dark
               : TColorScheme::Light;
}

TColorScheme SchemeFromPortalValue(uint value) {
    switch (value) {
        case 1: return TColorScheme::Dark;
        case 2: return TColorScheme::Light;
        default: return TColorScheme::Unknown;
    }
}

TColorScheme DesktopColorScheme() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    switch (QGuiApplication::styleHints()->colorScheme()) {
        case Qt::ColorScheme::Dark: return TColorScheme::Dark;
        case Qt::ColorScheme::Light: return TColorScheme::Light;
        default: break;
    }
#endif
    const TColorScheme portal = PortalColorScheme();
    if (portal != TColorScheme::Unknown) return portal;
    return SchemeFromGtkTheme(qEnvironmentVariable("GTK_THEME"));
}

bool IsDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::WindowText).lightness() >
           palette.color(QPalette::Window).lightness();
}

QPalette DarkPalette() {
    const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230);
    const QColor disabled(128, 128, 128), highlight(42, 130, 218);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 80, 80));
    p.setColor(QPalette::Link, QColor(100, 170, 255));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    p.setColor(QPalette::Light, window.lighter(150));
    p.setColor(QPalette::Midlight, window.lighter(125));
    p.setColor(QPalette::Mid, window.darker(120));
    p.setColor(QPalette::Dark, window.darker(160));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

void FollowDesktopColorScheme(QApplication& app) {
    auto* watcher = new TSchemeWatcher(app);
    watcher->Apply(DesktopColorScheme());
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    QObject::connect(QGuiApplication::styleHints(), &QStyleHints::colorSchemeChanged, watcher,
                     [watcher](Qt::ColorScheme s) {
                         watcher->Apply(s == Qt::ColorScheme::Dark    ? TColorScheme::Dark
                                        : s == Qt::ColorScheme::Light ? TColorScheme::Light
                                                                      : TColorScheme::Unknown);
                     });
#else
    if (!HasSessionBus()) return;
    QDBusConnection::sessionBus().connect(
        QLatin1String(kPortalService), QLatin1String(kPortalPath), QLatin1String(kPortalSettings),
        QStringLiteral("SettingChanged"), watcher,
        SLOT(SettingChanged(QString, QString, QDBusVariant)));
#endif
}

#include "colorscheme.moc"
