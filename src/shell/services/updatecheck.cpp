#include "updatecheck.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringList>
#include <QTimer>

#include "apperror.h"
#include "messages.h"
#include "prompts.h"
#include "version.h"

namespace {

constexpr const char* kDefaultHost = "www.quillfen.example";
constexpr const char* kQueryPath = "/pad/getpad.php";
constexpr const char* kQuery = "pad=orvane.xml&field=version";
constexpr const char* kInstallerAddress = "https://www.quillfen.example/download/orvane/";

QString MsgText(const char* key) {
    return QString::fromStdString(Msg(key));
}

[[noreturn]] void NotAnInteger(const QString& field) {
    throw EAppError("'" + field.toStdString() + "' is not a valid integer value");
}

// A signed 32-bit decimal integer with nothing around it.
int32_t FieldValue(const QString& field) {
    qsizetype digits = 0;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field[i];
        if (i == 0 && (c == u'+' || c == u'-')) continue;
        if (c < u'0' || c > u'9') NotAnInteger(field);
        ++digits;
    }
    bool ok = false;
    const int32_t value = field.toInt(&ok, 10);
    if (digits == 0 || !ok) NotAnInteger(field);
    return value;
}

}  // namespace

QString UpdateHost() {
    const QString host = qEnvironmentVariable("ORVANE_UPDATE_HOST").trimmed();
    return host.isEmpty() ? QString::fromLatin1(kDefaultHost) : host;
}

QUrl UpdateQueryUrl(const QString& host) {
    // Over https unless the host names its scheme (a local test server speaks plain http).
    const bool schemed = host.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
                         host.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
    QUrl url(schemed ? host : QStringLiteral("https://") + host);
    url.setPath(QString::fromLatin1(kQueryPath));
    url.setQuery(QString::fromLatin1(kQuery));
    return url;
}

QUrl InstallerUrl() {
    return QUrl(QString::fromLatin1(kInstallerAddress));
}

int64_t VersionValue(const QString& text) {
    const QStringList fields = text.split(u'.');
    // A text of more or fewer than four fields is not a version; reading on would mix the
    // fields of the two texts being compared.
    if (fields.size() != 4) throw EAppError("'" + text.toStdString() + "' is not a valid version");
    int64_t value = 0;
    for (const QString& field : fields) value = value * 100 + FieldValue(field);
    // a*100^3 + b*100^2 + c*100 + d is the weighting a*1000000 + b*10000 + c*100 + d.
    return value;
}

bool IsNewerVersion(const QString& remote, const QString& local) {
    if (!remote.contains(u'.') || !local.contains(u'.')) return false;
    const int64_t remoteValue = VersionValue(remote);
    return VersionValue(local) < remoteValue;
}

QString TrimVersionReply(const QString& reply) {
    qsizetype begin = 0;
    qsizetype end = reply.size();
    while (begin < end && reply[begin].unicode() <= u' ') ++begin;
    while (end > begin && reply[end - 1].unicode() <= u' ') --end;
    return reply.mid(begin, end - begin);
}

TUpdateCheck::TUpdateCheck(TPrompts* prompts, QObject* parent)
    : QObject(parent),
      prompts_(prompts),
      network_(new QNetworkAccessManager(this)),
      timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &TUpdateCheck::onTimeout);
}

TUpdateCheck::~TUpdateCheck() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        QGuiApplication::restoreOverrideCursor();
    }
}

void TUpdateCheck::Start() {
    if (reply_) return;
    // The desktop's proxy settings (http_proxy and friends), as a browser would use them.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    host_ = UpdateHost();
    QNetworkRequest request(UpdateQueryUrl(host_));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    reply_ = network_->get(request);
    connect(reply_, &QNetworkReply::readyRead, this, &TUpdateCheck::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &TUpdateCheck::onFinished);
    timer_->start(timeoutMs_);
    QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    if (OnBusy) OnBusy(true);
}

void TUpdateCheck::onReadyRead() {
    // Enough for the one read the check makes: the rest of a long reply is never waited for.
    if (reply_->bytesAvailable() >= kMaxReplyBytes) finish(reply_->read(kMaxReplyBytes), true);
}

void TUpdateCheck::onFinished() {
    const bool ok = reply_->error() == QNetworkReply::NoError;
    finish(ok ? reply_->read(kMaxReplyBytes) : QByteArray(), ok);
}

void TUpdateCheck::onTimeout() {
    finish(QByteArray(), false);
}

void TUpdateCheck::finish(const QByteArray& body, bool connected) {
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    timer_->stop();
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    QGuiApplication::restoreOverrideCursor();
    if (OnBusy) OnBusy(false);
    report(body, connected);
    if (OnFinished) OnFinished();
}

void TUpdateCheck::report(const QByteArray& body, bool connected) {
    TPrompts& prompts = prompts_ ? *prompts_ : DefaultPrompts();
    if (!connected || body.isEmpty()) {
        prompts.Information(MsgText("unableconnect") + u' ' + host_);
        return;
    }
    const QString reply = QString::fromLatin1(body);
    const QString local = localVersion_.isEmpty() ? FourFieldVersion(OwnVersion()) : localVersion_;
    bool newer = false;
    try {
        newer = IsNewerVersion(TrimVersionReply(reply), local);
    } catch (const EAppError& e) {
        prompts.Error(QString::fromStdString(e.what()));
        return;
    }
    if (newer) {
        const QString text = MsgText("newversion") + reply + u'\n' + MsgText("availablefrom") +
                             u'\n' + MsgText("downloadit");
        if (prompts.AskYesNo(text)) QDesktopServices::openUrl(InstallerUrl());
    } else {
        prompts.QuestionOk(MsgText("uptodate") + u' ' + local);
    }
}
