// whoisd's upstream side on its own: what a fetch reports, the gate and the cache on a
// hand-moved clock, and the binary refusing bad settings and loopback destinations.
#include "service_rows.h"
#include "service/engine/lookup_cache.h"
#include "service/engine/lookup_service.h"
#include "service/front/reply_cache.h"
#include "core/net/http_get_text.h"
#include "support/whoisd_process.h"
#include "support/fake_whois_server.h"
#include "support/loopback_listener.h"
#include "support/manual_clock.h"
#include "support/test_files.h"
#include "support/test_https_server.h"
#include "service/engine/upstream_fetch.h"

#include <QNetworkAccessManager>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using Response = TestHttpsServer::Response;

class TestUpstream final : public QObject {
    Q_OBJECT
private slots:
    void upstreamErrors();
    void cacheHonoursTimeAndSize();
    void refusesBadSettings();
    void binaryKeepsOutOfLoopback();
};

void TestUpstream::upstreamErrors()
{
    TestHttpsServer::trustTestAuthority();
    TestHttpsServer server;
    const QByteArray big(2 * 1024 * 1024, 'x');
    server.setHandler([&big](const TestHttpsServer::Request& request) {
        if (request.path == "/big")
            return Response{200, big};
        if (request.path == "/streamed")
            return Response{200, big, "application/json", 0, false, {}, false};
        if (request.path == "/slow")
            return Response{200, "{}", "application/json", 3000};
        return Response{200, "{}"};
    });
    FakeWhoisServer whois;
    whois.answer("big.example", big);
    whois.answer("small.example", "small\r\n");
    QNetworkAccessManager network;
    const UpstreamLimits limits{std::chrono::milliseconds(2000), std::chrono::milliseconds(500), 64 * 1024};
    const OutboundPolicy trusted = OutboundPolicy().trusting(QUrl(server.baseUrl()));

    const auto http = [&](const QString& url, const OutboundPolicy& policy) {
        std::optional<HttpAnswer> answer;
        FetchHttp(network, QUrl(url.startsWith(u'/') ? server.baseUrl() + url : url), policy, limits,
                  [&](HttpAnswer got) { answer = got; });
        if (!QTest::qWaitFor([&] { return answer.has_value(); }, 10000))
            return std::pair{-1, UpstreamError::None};
        return std::pair{answer->status, answer->error};
    };
    QCOMPARE(http(u"/ok"_s, trusted), std::pair(200, UpstreamError::None));
    // Connected to the address checked, the request still names the host.
    const QUrl named(u"https://localhost:%1/named"_s.arg(server.port()));
    QCOMPARE(http(named.toString(), OutboundPolicy({named})), std::pair(200, UpstreamError::None));
    QCOMPARE(server.requests().last().header("Host"), "localhost:" + QByteArray::number(server.port()));
    QCOMPARE(http(u"/big"_s, trusted), std::pair(0, UpstreamError::TooLarge));
    QCOMPARE(http(u"/streamed"_s, trusted), std::pair(0, UpstreamError::TooLarge));
    QCOMPARE(http(u"/slow"_s, trusted), std::pair(0, UpstreamError::Timeout));
    const qsizetype asked = server.requests().size();
    // Refused before anything is sent: reported as no connection.
    QCOMPARE(http(u"/ok"_s, OutboundPolicy({}, server.port())), std::pair(0, UpstreamError::CannotConnect));
    QCOMPARE(server.requests().size(), asked);
    {
        std::optional<HttpAnswer> answer;
        FetchHttp(network, QUrl(u"https://127.0.0.1:1/"_s), OutboundPolicy({QUrl(u"https://127.0.0.1:1/"_s)}),
                  limits, [&](HttpAnswer got) { answer = got; });
        QTRY_VERIFY(answer);
        QCOMPARE(answer->error, UpstreamError::CannotConnect);
    }

    const auto port43 = [&](const QString& host, const QString& query) {
        std::optional<WhoisAnswer> answer;
        FetchWhois(network, host, whois.port(), query, host != u"127.0.0.1"_s, limits,
                   [&](WhoisAnswer got) { answer = got; });
        if (!QTest::qWaitFor([&] { return answer.has_value(); }, 10000))
            return std::pair{QByteArray("no answer"), UpstreamError::None};
        return std::pair{answer->text, answer->error};
    };
    QCOMPARE(port43(u"127.0.0.1"_s, u"small.example"_s),
             std::pair(QByteArray("small\r\n"), UpstreamError::None));
    QCOMPARE(port43(u"127.0.0.1"_s, u"big.example"_s), std::pair(QByteArray(), UpstreamError::TooLarge));
    // A referral into loopback is not connected to.
    QCOMPARE(port43(u"localhost"_s, u"small.example"_s),
             std::pair(QByteArray(), UpstreamError::CannotConnect));
    QCOMPARE(whois.queries().size(), 2);

    // An owner that goes mid-exchange takes it along and is not called back as it goes.
    whois.setDelay(5000);
    bool called = false;
    auto owner = std::make_unique<QObject>();
    FetchWhois(*owner, u"127.0.0.1"_s, whois.port(), u"small.example"_s, false, limits,
               [&called](WhoisAnswer) { called = true; });
    QTRY_COMPARE(whois.queries().size(), 3);
    owner.reset();
    QVERIFY(!called);
}

void TestUpstream::cacheHonoursTimeAndSize()
{
    ManualClock clock;
    LookupCache cache(2, std::chrono::seconds(3600), std::chrono::seconds(300), clock);
    WhoisRecord record;
    record.registrar = u"R"_s;
    cache.store(u"a.com"_s, LookupResult::found(record, u"up"_s));
    cache.store(u"b.com"_s, LookupResult::failed(LookupStatus::NotRegistered, u"up"_s));
    cache.store(u"c.com"_s, LookupResult::failed(LookupStatus::UpstreamFailed, u"up"_s));
    QVERIFY(!cache.find(u"c.com"_s));
    clock.advance(std::chrono::seconds(299));
    QVERIFY(cache.find(u"b.com"_s));
    clock.advance(std::chrono::seconds(1));
    QVERIFY(!cache.find(u"b.com"_s));
    QCOMPARE(cache.find(u"a.com"_s)->record.registrar, u"R"_s);
    clock.advance(std::chrono::seconds(3300));
    QVERIFY(!cache.find(u"a.com"_s));

    // Full, the least recently used answer goes first.
    cache.store(u"a.com"_s, LookupResult::found(record, u"up"_s));
    cache.store(u"b.com"_s, LookupResult::found(record, u"up"_s));
    QVERIFY(cache.find(u"a.com"_s));
    cache.store(u"d.com"_s, LookupResult::found(record, u"up"_s));
    QVERIFY(cache.find(u"a.com"_s));
    QVERIFY(!cache.find(u"b.com"_s));
    QVERIFY(cache.find(u"d.com"_s));

    // Expired answers go as time passes, asked for or not: the service sweeps its cache.
    QNetworkAccessManager network;
    LookupService service(ServiceSettings{}, network, clock);
    service.cache().store(u"a.com"_s, LookupResult::found(record, u"up"_s));
    service.cache().store(u"b.com"_s, LookupResult::failed(LookupStatus::NotRegistered, u"up"_s));
    clock.advance(std::chrono::minutes(6));
    QCOMPARE(service.cache().size(), 1);
    clock.advance(std::chrono::hours(1));
    QCOMPARE(service.cache().size(), 0);
    ReplyCache replies(10);
    const auto now = ReplyCache::Clock::now();
    replies.store("a", {{}, {}, {}, {}, now + std::chrono::seconds(1)});
    replies.store("b", {{}, {}, {}, {}, now + std::chrono::seconds(2)});
    replies.sweep(now + std::chrono::seconds(1));
    QCOMPARE(replies.size(), std::size_t(1));
    QVERIFY(replies.find("b", now));
}

void TestUpstream::refusesBadSettings()
{
    // Once, 70000 silently became port 4464.
    QProcess service;
    service.start(QStringLiteral(WHOISD_PATH), {u"--port"_s, u"70000"_s});
    QVERIFY(service.waitForFinished(10000));
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 2);
    QVERIFY(service.readAllStandardError().contains("--port 70000: out of range"));
}

void TestUpstream::binaryKeepsOutOfLoopback()
{
    // The service as shipped: links and redirects from a configured registry (plain
    // HTTP on loopback here) into loopback are neither followed nor connected to.
    LoopbackListener inside;
    const QByteArray port = QByteArray::number(inside.port());
    const auto thin = [](const QByteArray& link) {
        const QByteArray body = Fixture("rdap_thin_com.json").replace("REGISTRAR_LINK", link);
        return "HTTP/1.1 200 OK\r\nContent-Type: application/rdap+json\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    };
    const QHash<QByteArray, QByteArray> answers{
        {"/rdap/domain/one.test", thin("https://127.0.0.1:" + port + "/r")},
        {"/rdap/domain/two.test", thin("https://localhost:" + port + "/r")},
        {"/rdap/domain/three.test", thin("https://[::1]:" + port + "/r")},
        {"/rdap/domain/moved.test", "HTTP/1.1 302 Found\r\nLocation: https://[::ffff:127.0.0.1]:" + port +
                                        "/x\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}};
    QTcpServer registry;
    QVERIFY(registry.listen(QHostAddress::LocalHost));
    connect(&registry, &QTcpServer::newConnection, &registry, [&registry, &answers] {
        while (QTcpSocket* socket = registry.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, socket, [socket, &answers] {
                socket->setProperty("request", socket->property("request").toByteArray() + socket->readAll());
                const QByteArray request = socket->property("request").toByteArray();
                if (!request.contains("\r\n\r\n"))
                    return;
                socket->write(answers.value(request.split(' ').value(1), "HTTP/1.1 404 Not Found\r\n\r\n"));
                socket->disconnectFromHost();
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });

    TestHttpsServer::trustTestAuthority();
    WhoisdProcess service({u"--bootstrap-url"_s, QString(), u"--rdap"_s,
                           u"test=http://127.0.0.1:%1/rdap/"_s.arg(registry.serverPort()),
                           // The port-43 fall-back finds nobody there, on loopback.
                           u"--whois-address"_s, u"whois.iana.org=127.0.0.1:1"_s});
    const QString baseUrl = service.baseUrl;
    QVERIFY(!baseUrl.isEmpty());
    QNetworkAccessManager client;
    const auto lookUp = [&](const QString& name) {
        return Row(MapLookupReply(HttpGetText(client, LookupUrl(baseUrl, name))));
    };
    for (const QString& name : {u"one.test"_s, u"two.test"_s, u"three.test"_s}) {
        const QString row = lookUp(name);
        QVERIFY2(row.startsWith(name + u"|RESERVED-Internet Assigned Numbers Authority||"_s),
                 qPrintable(row));
    }
    QVERIFY(lookUp(u"moved.test"_s).endsWith(u"查询失败:无法连接"_s));
    QVERIFY(!inside.reached());
    service.process.terminate();
    QVERIFY(service.process.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(TestUpstream)
#include "tst_upstream.moc"
