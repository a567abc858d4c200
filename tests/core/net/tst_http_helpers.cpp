#include "core/net/http_get_text.h"
#include "core/net/http_post_form.h"
#include "core/protocol/wire_protocol.h"
#include "support/test_https_server.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using Response = TestHttpsServer::Response;

class TestHttpHelpers final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestHttpsServer::trustTestAuthority(); }

    void getReturnsBodyWhateverTheStatus();
    void getSendsTheUrlUnchangedWithItsOneHeader();
    void getGivesEmptyTextWithoutReply_data();
    void getGivesEmptyTextWithoutReply();
    void nestedGetsReturnTheirOwnBodies();

    void postSendsHeaderAndEscapedBody_data();
    void postSendsHeaderAndEscapedBody();
    void postBlocksTheCallersEvents();
    void postGivesEmptyTextWithoutReply_data();
    void postGivesEmptyTextWithoutReply();

private:
    static QString UnusedPortUrl();
};

QString TestHttpHelpers::UnusedPortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("https://127.0.0.1:%1/x").arg(port);
}

void TestHttpHelpers::getReturnsBodyWhateverTheStatus()
{
    TestHttpsServer server;
    QNetworkAccessManager network;
    server.respondWith(Response{404, "<html>not here</html>", "text/html"});
    QCOMPARE(HttpGetText(network, server.baseUrl() + QStringLiteral("/missing")),
             QStringLiteral("<html>not here</html>"));
    server.respondWith(Response{500, "{\"e\":1}"});
    QCOMPARE(HttpGetText(network, server.baseUrl()), QStringLiteral("{\"e\":1}"));
    server.respondWith(Response{200, "\xE4\xB8\xAD"});
    QCOMPARE(HttpGetText(network, server.baseUrl()), QStringLiteral("中"));
    server.respondWith(Response{200, QByteArray()});
    QCOMPARE(HttpGetText(network, server.baseUrl()), QString());
}

void TestHttpHelpers::getSendsTheUrlUnchangedWithItsOneHeader()
{
    TestHttpsServer server;
    QNetworkAccessManager network;
    const QByteArray target =
        wire::LookupTarget(QStringLiteral("example.com"), QStringLiteral("ABC123")).toLatin1();
    HttpGetText(network, server.baseUrl() + QString::fromLatin1(target));
    const auto requests = server.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].method, QByteArray("GET"));
    QCOMPARE(requests[0].target, target);
    QCOMPARE(requests[0].headerCount("If-Modified-Since"), 1);
    QCOMPARE(requests[0].header("If-Modified-Since"), QByteArray("0"));
    QVERIFY(requests[0].body.isEmpty());
}

void TestHttpHelpers::getGivesEmptyTextWithoutReply_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("unreachable port") << 0;
    QTest::newRow("certificate from an unknown authority") << 1;
    QTest::newRow("connection closed without answer") << 2;
    QTest::newRow("time limit") << 3;
}

void TestHttpHelpers::getGivesEmptyTextWithoutReply()
{
    QFETCH(int, mode);
    QNetworkAccessManager network;
    TestHttpsServer trusted;
    TestHttpsServer untrusted(TestHttpsServer::Certificate::UnknownAuthority);
    untrusted.respondWithBody("secret");
    QString url = trusted.baseUrl();
    auto limit = std::chrono::milliseconds(30s);
    switch (mode) {
    case 0: url = UnusedPortUrl(); break;
    case 1: url = untrusted.baseUrl(); break;
    case 2: trusted.respondWith(Response{200, "x", "text/plain", 0, true}); break;
    case 3:
        trusted.respondWith(Response{200, "late", "text/plain", 3000});
        limit = 300ms;
        break;
    }
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(HttpGetText(network, url, limit), QString());
    QVERIFY(clock.elapsed() < 2500);
}

void TestHttpHelpers::nestedGetsReturnTheirOwnBodies()
{
    TestHttpsServer server;
    server.setHandler([](const TestHttpsServer::Request& request) {
        if (request.path == "/slow")
            return Response{200, "outer", "text/plain", 600};
        return Response{200, "inner", "text/plain"};
    });
    QNetworkAccessManager network;
    QString inner;
    QTimer::singleShot(50, &network,
                       [&] { inner = HttpGetText(network, server.baseUrl() + QStringLiteral("/fast")); });
    const QString outer = HttpGetText(network, server.baseUrl() + QStringLiteral("/slow"));
    QCOMPARE(outer, QStringLiteral("outer"));
    QCOMPARE(inner, QStringLiteral("inner"));
}

void TestHttpHelpers::postSendsHeaderAndEscapedBody_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("version check") << wire::VersionForm() << wire::VersionForm().toLatin1();
    QTest::newRow("space and ampersand as they are") << QStringLiteral("a=b c&d") << QByteArray("a=b c&d");
    QTest::newRow("double-byte escaped") << QStringLiteral("中文") << QByteArray("%D6%D0%CE%C4");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestHttpHelpers::postSendsHeaderAndEscapedBody()
{
    QFETCH(QString, body);
    QFETCH(QByteArray, wire);
    TestHttpsServer server;
    server.respondWithBody("{\"result\":1}");
    const QString reply = HttpPostForm(server.baseUrl() + QLatin1StringView(wire::kVersionPath), body);
    QCOMPARE(reply, QStringLiteral("{\"result\":1}"));
    const auto requests = server.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].method, QByteArray("POST"));
    QCOMPARE(requests[0].target, QByteArray(wire::kVersionPath));
    QCOMPARE(requests[0].body, wire);
    QCOMPARE(requests[0].headerCount("Content-Type"), 1);
    QCOMPARE(requests[0].header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    // Written in capitals, as the service has always received it.
    bool capitals = false;
    for (const auto& header : requests[0].headers)
        capitals = capitals || header.first == "CONTENT-TYPE";
    QVERIFY(capitals);
}

void TestHttpHelpers::postBlocksTheCallersEvents()
{
    TestHttpsServer server;
    server.respondWith(Response{200, "done", "text/plain", 400});
    QTimer ticker;
    ticker.setInterval(10);
    QSignalSpy ticks(&ticker, &QTimer::timeout);
    ticker.start();
    QString reply;
    bool inside = true;
    connect(&ticker, &QTimer::timeout, this, [&] { QVERIFY2(!inside, "a tick ran during the POST"); });
    reply = HttpPostForm(server.baseUrl(), wire::VersionForm());
    const int ticksDuring = static_cast<int>(ticks.count());
    inside = false;
    QCOMPARE(reply, QStringLiteral("done"));
    QCOMPARE(ticksDuring, 0);
    QTRY_VERIFY(ticks.count() > 0); // the timer itself still works afterwards
}

void TestHttpHelpers::postGivesEmptyTextWithoutReply_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("unreachable port") << 0;
    QTest::newRow("certificate from an unknown authority") << 1;
    QTest::newRow("time limit") << 2;
}

void TestHttpHelpers::postGivesEmptyTextWithoutReply()
{
    QFETCH(int, mode);
    TestHttpsServer trusted;
    TestHttpsServer untrusted(TestHttpsServer::Certificate::UnknownAuthority);
    untrusted.respondWithBody("secret");
    trusted.respondWith(Response{200, "late", "text/plain", 3000});
    const QString url = mode == 0 ? UnusedPortUrl() : mode == 1 ? untrusted.baseUrl() : trusted.baseUrl();
    QCOMPARE(HttpPostForm(url, wire::VersionForm(), 300ms), QString());
}

QTEST_GUILESS_MAIN(TestHttpHelpers)
#include "tst_http_helpers.moc"
