// The update check: version arithmetic, and the whole check against a local web server.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include "apperror.h"
#include "fakeprompts.h"
#include "testutil.h"
#include "updatecheck.h"

namespace {

struct TCompareCase {
    const char* name;
    const char* remote;
    const char* local;
    bool newer;
};

void PrintTo(const TCompareCase& c, std::ostream* out) {
    *out << c.name;
}

class VersionCompare : public ::testing::TestWithParam<TCompareCase> {};

TEST_P(VersionCompare, Answers) {
    const TCompareCase& c = GetParam();
    EXPECT_EQ(IsNewerVersion(QString::fromLatin1(c.remote), QString::fromLatin1(c.local)), c.newer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionCompare,
    ::testing::Values(TCompareCase{"Newer", "2.1.0.0", "2.0.9.9", true},
                      TCompareCase{"Equal", "2.1.0.0", "2.1.0.0", false},
                      TCompareCase{"Older", "2.0.9.9", "2.1.0.0", false},
                      // A field of 100 spills into the next weight: the same value.
                      TCompareCase{"SpillEqual", "1.2.100.0", "1.3.0.0", false},
                      TCompareCase{"SpillNewer", "1.2.100.1", "1.3.0.0", true},
                      TCompareCase{"RemoteWithoutDot", "2", "1.0.0.0", false},
                      TCompareCase{"LocalWithoutDot", "2.0.0.0", "n/a", false},
                      TCompareCase{"Signed", "-1.0.0.0", "0.0.0.0", false},
                      TCompareCase{"PlusSign", "+2.0.0.0", "1.0.0.0", true},
                      // Beyond 32 bits the value must not wrap into a negative number.
                      TCompareCase{"LargeField", "3000.0.0.0", "1.0.0.0", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VersionValue, WeightsTheFourFields) {
    EXPECT_EQ(VersionValue("1.2.3.4"), 1020304);
    EXPECT_EQ(VersionValue("0.0.0.0"), 0);
}

struct TBadCase {
    const char* name;
    const char* text;
    const char* message;
};

void PrintTo(const TBadCase& c, std::ostream* out) {
    *out << c.name;
}

class VersionErrors : public ::testing::TestWithParam<TBadCase> {};

TEST_P(VersionErrors, NameTheOffendingText) {
    try {
        VersionValue(QString::fromLatin1(GetParam().text));
        FAIL() << "no error";
    } catch (const EAppError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionErrors,
    ::testing::Values(TBadCase{"Letters", "2.1.a.0", "'a' is not a valid integer value"},
                      TBadCase{"EmptyField", "2..0.0", "'' is not a valid integer value"},
                      TBadCase{"Blank", "2.1. 3.0", "' 3' is not a valid integer value"},
                      TBadCase{"TooBig", "2.1.99999999999.0",
                               "'99999999999' is not a valid integer value"},
                      TBadCase{"ThreeFields", "2.1.0", "'2.1.0' is not a valid version"},
                      TBadCase{"FiveFields", "2.1.0.0.7", "'2.1.0.0.7' is not a valid version"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VersionReply, TrimsBlanksAndControlCharacters) {
    EXPECT_EQ(TrimVersionReply(QString::fromLatin1("\t 2.1.0.0\r\n\0", 12)),
              QStringLiteral("2.1.0.0"));
    EXPECT_EQ(TrimVersionReply(QStringLiteral(" \n")), QString());
}

TEST(VersionQuery, AddressesTheHostAndOverride) {
    EXPECT_EQ(
        UpdateQueryUrl("example.org:8080").toString(),
        QStringLiteral("https://example.org:8080/pad/getpad.php?pad=orvane.xml&field=version"));
    TEnv host("ORVANE_UPDATE_HOST", "127.0.0.1:1234");
    EXPECT_EQ(UpdateHost(), QStringLiteral("127.0.0.1:1234"));
}

struct TSchemeCase {
    const char* host;
    const char* url;
};

class QueryScheme : public ::testing::TestWithParam<TSchemeCase> {};

TEST_P(QueryScheme, IsHttpsUnlessTheHostNamesItsOwn) {
    EXPECT_EQ(UpdateQueryUrl(QString::fromLatin1(GetParam().host)).toString(),
              QString::fromLatin1(GetParam().url) + "/pad/getpad.php?pad=orvane.xml&field=version");
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, QueryScheme,
    ::testing::Values(TSchemeCase{"www.quillfen.example", "https://www.quillfen.example"},
                      TSchemeCase{"10.0.0.1:8443", "https://10.0.0.1:8443"},
                      TSchemeCase{"http://127.0.0.1:1234", "http://127.0.0.1:1234"},
                      TSchemeCase{"HTTPS://mirror.example", "https://mirror.example"}));

TEST(VersionQuery, TheDefaultHostIsAskedOverHttps) {
    TEnv host("ORVANE_UPDATE_HOST", "");
    EXPECT_EQ(UpdateQueryUrl(UpdateHost()).scheme(), QStringLiteral("https"));
}

// A web server on the loopback that answers every request with one prepared response, or
// never answers at all.
class TVersionServer {
public:
    explicit TVersionServer(QByteArray response, bool silent = false)
        : response_(std::move(response)), silent_(silent) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    request += socket->readAll();
                    if (silent_ || !request.contains("\r\n\r\n")) return;
                    socket->write(response_);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    static QByteArray Ok(const QByteArray& body) {
        return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
    // The loopback server speaks plain http, so it names its scheme.
    QString host() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }

    QByteArray request;
    int connections = 0;

private:
    QTcpServer server_;
    QByteArray response_;
    bool silent_;
};

struct TCheckRun {
    TFakePrompts prompts;
    TUrlCatcher urls;
    std::vector<bool> busy;
    bool finished = false;
    qint64 elapsedMs = 0;

    void run(const QString& host, const QString& local, int timeoutMs = 5000) {
        TEnv env("ORVANE_UPDATE_HOST", host.toStdString());
        TEnv direct("no_proxy", "127.0.0.1,localhost");
        TUpdateCheck check(&prompts);
        check.SetLocalVersion(local);
        check.SetTimeout(timeoutMs);
        check.OnBusy = [this](bool b) { busy.push_back(b); };
        check.OnFinished = [this] { finished = true; };
        QElapsedTimer clock;
        clock.start();
        check.Start();
        EXPECT_TRUE(check.Running());
        check.Start();  // ignored while the first runs
        WaitFor([this] { return finished; }, 15000);
        elapsedMs = clock.elapsed();
        EXPECT_TRUE(finished);
        EXPECT_FALSE(check.Running());
        EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    }
    QString only(const char* kind) const {
        EXPECT_EQ(prompts.shown.size(), 1u);
        if (prompts.shown.size() != 1) return {};
        EXPECT_EQ(prompts.shown[0].kind, QString::fromLatin1(kind));
        return prompts.shown[0].text;
    }
};

const QString kNewer = QStringLiteral(
    "There's a new version of this program%1\navaliable at www.quillfen.example\n"
    "Do you wan't to download it now ?");

TEST(UpdateCheck, NewerVersionOffersTheDownloadAndOpensTheInstallerOnYes) {
    TVersionServer server(TVersionServer::Ok("2.1.0.0\r\n"));
    TCheckRun check;
    check.prompts.answerYes = true;
    check.run(server.host(), "2.0.9.9");
    // The reply appears as received, line break included.
    EXPECT_EQ(check.only("yesno"), kNewer.arg("2.1.0.0\r\n"));
    ASSERT_EQ(check.urls.opened.size(), 1u);
    EXPECT_EQ(check.urls.opened[0], InstallerUrl());
    EXPECT_TRUE(
        server.request.startsWith("GET /pad/getpad.php?pad=orvane.xml&field=version HTTP/1.1\r\n"));
    EXPECT_EQ(server.connections, 1);
}

TEST(UpdateCheck, NoOpensNothing) {
    TVersionServer server(TVersionServer::Ok("2.1.0.0"));
    TCheckRun check;
    check.run(server.host(), "2.0.9.9");
    EXPECT_EQ(check.only("yesno"), kNewer.arg("2.1.0.0"));
    EXPECT_TRUE(check.urls.opened.empty());
}

struct TReplyCase {
    const char* name;
    QByteArray response;
    const char* local;
    const char* kind;
    const char* text;  // %1 is the server's host
};

void PrintTo(const TReplyCase& c, std::ostream* out) {
    *out << c.name;
}

class UpdateReplies : public ::testing::TestWithParam<TReplyCase> {};

TEST_P(UpdateReplies, EndInTheirMessage) {
    const TReplyCase& c = GetParam();
    TVersionServer server(c.response);
    TCheckRun check;
    check.run(server.host(), c.local);
    EXPECT_EQ(check.only(c.kind), QString::fromLatin1(c.text).replace("%1", server.host()));
    EXPECT_TRUE(check.urls.opened.empty());
}

const QByteArray kLongReply = "9.0.0.0" + QByteArray(1100 - 7, ' ') + "x";

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateReplies,
    ::testing::Values(
        TReplyCase{"Equal", TVersionServer::Ok("2.1.0.0"), "2.1.0.0", "question",
                   "You already have the latest version of this program: 2.1.0.0"},
        TReplyCase{"SpillEqual", TVersionServer::Ok("1.2.100.0"), "1.3.0.0", "question",
                   "You already have the latest version of this program: 1.3.0.0"},
        TReplyCase{"NoDot", TVersionServer::Ok("latest"), "1.3.0.0", "question",
                   "You already have the latest version of this program: 1.3.0.0"},
        TReplyCase{"EmptyReply", TVersionServer::Ok(""), "1.3.0.0", "information",
                   "Unable to connect to %1"},
        TReplyCase{"NotFound",
                   "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\nConnection: close\r\n\r\n4.0",
                   "1.3.0.0", "information", "Unable to connect to %1"},
        TReplyCase{"NotANumber", TVersionServer::Ok("2.1.a.0"), "1.3.0.0", "error",
                   "'a' is not a valid integer value"},
        TReplyCase{"ThreeFields", TVersionServer::Ok("2.1.0"), "1.3.0.0", "error",
                   "'2.1.0' is not a valid version"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateCheck, OnlyTheFirst1024BytesCount) {
    // Past byte 1024 the reply holds an "x" that would spoil the version if it were read.
    TVersionServer server(TVersionServer::Ok(kLongReply));
    TCheckRun check;
    check.run(server.host(), "1.0.0.0");
    EXPECT_EQ(check.only("yesno"), kNewer.arg(QString::fromLatin1(kLongReply.left(1024))));
}

TEST(UpdateCheck, NoServerIsUnableToConnect) {
    QString host;
    {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        host = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
    }
    TCheckRun check;
    check.run(host, "1.0.0.0");
    EXPECT_EQ(check.only("information"), "Unable to connect to " + host);
}

TEST(UpdateCheck, SilentServerTimesOut) {
    TVersionServer server("", true);
    TCheckRun check;
    check.run(server.host(), "1.0.0.0", 300);
    EXPECT_EQ(check.only("information"), "Unable to connect to " + server.host());
    EXPECT_GE(check.elapsedMs, 250);  // a coarse timer may fire a little early
    EXPECT_EQ(server.connections, 1);
}

}  // namespace
