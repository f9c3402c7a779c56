#pragma once
// The update check: one HTTPS GET of the newest version's text from the product's web host,
// compared with the program's own version, ending in one of three messages. The server's reply
// is outside text: the messages show it as plain text, never as markup.
//
// It runs without blocking the window: Start() sends the request and returns; the reply, or
// the time-out, is handled later on the user-interface thread. While it runs the cursor shows
// busy and OnBusy lets the caller disable the command.

#include <QObject>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class TPrompts;

// The product's web host (host or host:port, or an address with its scheme):
// ORVANE_UPDATE_HOST when set and not empty, otherwise the build's default.
QString UpdateHost();

// The address of the version query on `host`: https, unless `host` begins with its own
// "http://" or "https://".
QUrl UpdateQueryUrl(const QString& host);

// The web address of the installer offered when a newer version exists.
QUrl InstallerUrl();

// The value of a version text of four dot-separated signed decimal fields a.b.c.d:
// a * 1000000 + b * 10000 + c * 100 + d, so a field of 100 or more spills into the next weight.
// Raises EAppError "'%s' is not a valid integer value" for a field that is not a decimal
// integer, and "'%s' is not a valid version" for a text without exactly four fields.
int64_t VersionValue(const QString& text);

// Whether `remote` is newer than `local`. False when either text has no "."; otherwise both
// must be valid versions (VersionValue's errors).
bool IsNewerVersion(const QString& remote, const QString& local);

// Trims blanks and control characters at both ends, as the reply is compared.
QString TrimVersionReply(const QString& reply);

class TUpdateCheck : public QObject {
public:
    // The reply is read up to this many bytes; the rest is ignored.
    static constexpr int kMaxReplyBytes = 1024;
    static constexpr int kDefaultTimeoutMs = 10000;

    // `prompts` must outlive the check; null means DefaultPrompts().
    explicit TUpdateCheck(TPrompts* prompts = nullptr, QObject* parent = nullptr);
    ~TUpdateCheck() override;

    // Sends the query; ignored while one runs. The outcome is shown through the prompts.
    void Start();
    bool Running() const { return reply_ != nullptr; }

    // Gives up on a server that has not answered within this many milliseconds.
    void SetTimeout(int ms) { timeoutMs_ = ms; }
    // The version compared with the reply; OwnVersion() unless set (tests).
    void SetLocalVersion(const QString& version) { localVersion_ = version; }

    // Called with true when a check starts and false when it has ended, before its message.
    std::function<void(bool busy)> OnBusy;
    // Called when a check has ended and its message has been answered (tests, the main window).
    std::function<void()> OnFinished;

private:
    void onReadyRead();
    void onFinished();
    void onTimeout();
    void finish(const QByteArray& body, bool connected);
    void report(const QByteArray& body, bool connected);

    TPrompts* prompts_;
    QNetworkAccessManager* network_;
    QNetworkReply* reply_ = nullptr;
    QTimer* timer_;
    QString host_;
    QString localVersion_;
    int timeoutMs_ = kDefaultTimeoutMs;
};
