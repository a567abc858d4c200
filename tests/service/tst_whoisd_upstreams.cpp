// whoisd and its upstreams: server tables, the bootstrap, caching, rate limits,
// time-outs and the checks on links and redirects.
#include "whoisd_stack.h"
#include "service/front/http_front.h"
#include "service/engine/lookup_service.h"
#include "core/net/http_get_text.h"
#include "support/fake_whois_server.h"
#include "support/loopback_listener.h"
#include "support/test_files.h"
#include "support/test_https_server.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using Response = TestHttpsServer::Response;

class TestWhoisdUpstreams final : public QObject {
    Q_OBJECT
private slots:
    void shippedServerTables();
    void bootstrapIsRefreshed();
    void refreshedBootstrapIsKept();
    void answersAreCached();
    void rateLimitIsHonoured();
    void slowUpstreamTimesOut();
    void clientLeavingDuringALookup();
    void registrarLinksAreChecked_data();
    void registrarLinksAreChecked();
    void redirectsAreChecked();
};

void TestWhoisdUpstreams::shippedServerTables()
{
    ServerDirectory directory;
    const QByteArray table = ReadTestFile(QStringLiteral(WHOIS_SERVICE_DATA "/whois-servers.txt"));
    const qsizetype lines = table.count('\n') - table.count('#');
    QCOMPARE(directory.loadWhoisTable(table), lines); // every line a pair
    QVERIFY(lines > 1100);
    QVERIFY(
        directory.loadBootstrap(ReadTestFile(QStringLiteral(WHOIS_SERVICE_DATA "/rdap-dns-bootstrap.json"))));
    QVERIFY(directory.rdapCount() > 1100);
    // The RDAP table fills only the bootstrap file's gaps, among them TLDs whose port 43 is gone.
    const QByteArray rdapTable = ReadTestFile(QStringLiteral(WHOIS_SERVICE_DATA "/rdap-servers.txt"));
    for (const QByteArray& line : rdapTable.split('\n'))
        if (!line.startsWith('#') && !line.isEmpty())
            QVERIFY2(directory.rdapBase(QString::fromLatin1(line.split(' ').first())).isEmpty(),
                     line.constData());
    QCOMPARE(directory.loadRdapTable(rdapTable), rdapTable.count('\n') - rdapTable.count('#'));
    QCOMPARE(directory.rdapBase(u"IO"_s), u"https://rdap.identitydigital.services/rdap/"_s);
    QCOMPARE(directory.whoisServer(u"io"_s), QString());
    QCOMPARE(directory.whoisServer(u"cc"_s), u"ccwhois.verisign-grs.com"_s);
    QCOMPARE(directory.whoisServer(u"cn"_s), u"whois.cnnic.cn"_s);

    // The operator's overrides come first; an empty RDAP override means port 43 only.
    directory.addWhoisOverride(u"cn"_s, u"whois.mirror.example"_s);
    directory.addWhoisServer(u"cn"_s, u"whois.learnt.example"_s);
    QCOMPARE(directory.whoisServer(u"cn"_s), u"whois.mirror.example"_s);
    QVERIFY(!directory.rdapBase(u"com"_s).isEmpty());
    directory.addRdapOverride(u"com"_s, QString());
    QCOMPARE(directory.rdapBase(u"com"_s), QString());
}

void TestWhoisdUpstreams::bootstrapIsRefreshed()
{
    Stack stack;
    stack.settings.bootstrapUrl = stack.rdap.baseUrl() + u"/bootstrap/dns.json"_s;
    stack.rdap.setHandler([&stack](const TestHttpsServer::Request& request) {
        if (request.path == "/bootstrap/dns.json")
            return Response{200, "{\"services\":[[[\"org\",\"xyz\"],[\"" + stack.rdap.baseUrl().toLatin1() +
                                     "/fresh/\"]]]}"};
        if (request.path == "/fresh/domain/example.xyz")
            return Response{200, Fixture("rdap_thick.json"), "application/rdap+json"};
        return stack.answerRdap(request);
    });
    stack.start();
    // Until the refresh arrives the snapshot serves; afterwards the fresh file does.
    QTRY_VERIFY(stack.lookUp(u"example.xyz"_s).startsWith(u"example.xyz|Example Registrar"_s));
}

void TestWhoisdUpstreams::refreshedBootstrapIsKept()
{
    QTemporaryDir state;
    const QString kept = state.filePath(u"rdap-dns-bootstrap.json"_s);
    {
        Stack stack;
        stack.settings.stateDirectory = state.path();
        stack.settings.bootstrapUrl = stack.rdap.baseUrl() + u"/bootstrap/dns.json"_s;
        stack.rdap.setHandler([&stack](const TestHttpsServer::Request& request) {
            if (request.path == "/bootstrap/dns.json")
                return Response{200, "{\"services\":[[[\"xyz\"],[\"https://fresh.example/\"]]]}"};
            return stack.answerRdap(request);
        });
        stack.start();
        QTRY_VERIFY(QFile::exists(kept));
    }
    // The next start reads the kept file before the snapshot, even with no refresh.
    Stack restarted;
    restarted.settings.stateDirectory = state.path();
    restarted.start();
    QCOMPARE(restarted.service->directory().rdapBase(u"xyz"_s), u"https://fresh.example/"_s);
    QVERIFY(restarted.service->directory().rdapBase(u"org"_s).isEmpty());

    // A damaged kept file falls back to the snapshot.
    QFile damaged(kept);
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("{\"services\":");
    damaged.close();
    Stack fallback;
    fallback.settings.stateDirectory = state.path();
    fallback.start();
    QVERIFY(!fallback.service->directory().rdapBase(u"org"_s).isEmpty());
}

void TestWhoisdUpstreams::answersAreCached()
{
    Stack stack;
    stack.start();
    const QString first = stack.lookUp(u"example.org"_s);
    QCOMPARE(stack.lookUp(u"EXAMPLE.ORG"_s), first);
    QCOMPARE(stack.rdapRequests("/rdap/domain/example.org"), 1);
    stack.lookUp(u"nosuch.org"_s);
    stack.lookUp(u"nosuch.org"_s);
    QCOMPARE(stack.rdapRequests("/rdap/domain/nosuch.org"), 1);
    // Failures are asked again.
    stack.lookUp(u"garbage.org"_s);
    stack.lookUp(u"garbage.org"_s);
    QCOMPARE(stack.rdapRequests("/rdap/domain/garbage.org"), 2);
    QCOMPARE(stack.service->cache().size(), 2);
}

void TestWhoisdUpstreams::rateLimitIsHonoured()
{
    Stack stack;
    stack.start();
    QCOMPARE(stack.lookUp(u"busy.org"_s), u"busy.org||||||127.0.0.1||查询过于频繁,请稍后重试"_s);
    // The server asked for a minute: nothing more goes to it meanwhile.
    QCOMPARE(stack.lookUp(u"example.org"_s), u"example.org||||||127.0.0.1||查询过于频繁,请稍后重试"_s);
    QCOMPARE(stack.rdap.requests().size(), 1);
}

void TestWhoisdUpstreams::slowUpstreamTimesOut()
{
    Stack stack;
    stack.settings.totalTimeout = std::chrono::milliseconds(300);
    stack.start();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(stack.lookUp(u"slow.org"_s), u"slow.org||||||127.0.0.1||查询失败:超时"_s);
    QVERIFY(clock.elapsed() < 2500);
    stack.registry.setDelay(2000);
    QCOMPARE(stack.lookUp(u"example.hk"_s), u"example.hk||||||whois.hkirc.hk||查询失败:超时"_s);

    // However long the upstreams take in all, the answer comes before the program gives up.
    Stack patient;
    patient.settings.totalTimeout = std::chrono::milliseconds(10000);
    patient.settings.answerWithin = std::chrono::milliseconds(100);
    patient.start();
    QCOMPARE(patient.lookUp(u"slow.org"_s), u"slow.org||||||127.0.0.1||查询失败:超时"_s);
}

void TestWhoisdUpstreams::clientLeavingDuringALookup()
{
    Stack stack;
    stack.start();
    {
        // The service runs on this thread: wait with the event loop running.
        QSslSocket impatient;
        QSignalSpy encrypted(&impatient, &QSslSocket::encrypted);
        impatient.connectToHostEncrypted(u"127.0.0.1"_s, static_cast<quint16>(QUrl(stack.baseUrl).port()));
        QTRY_COMPARE(encrypted.count(), 1);
        const QByteArray target = QUrl(LookupUrl(stack.baseUrl, u"slow.org"_s))
                                      .toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
        impatient.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QTRY_COMPARE(stack.rdapRequests("/rdap/domain/slow.org"), 1);
        impatient.abort();
    }
    // This one ends after the abandoned lookup, whose answer has nowhere to go.
    QCOMPARE(stack.lookUp(u"slow.org"_s), u"slow.org||||||127.0.0.1||查询失败:超时"_s);
    QVERIFY(stack.lookUp(u"example.org"_s).startsWith(u"example.org|Example Registrar"_s));
}

void TestWhoisdUpstreams::registrarLinksAreChecked_data()
{
    QTest::addColumn<QString>("link"); // %1: the port of a second loopback server
    QTest::addColumn<bool>("configured");
    QTest::newRow("configured upstream") << u"https://127.0.0.1:%1/r"_s << true;
    QTest::newRow("loopback address") << u"https://127.0.0.1:%1/r"_s << false;
    QTest::newRow("name of loopback") << u"https://localhost:%1/r"_s << false;
    QTest::newRow("IPv6 loopback") << u"https://[::1]:%1/r"_s << false;
    QTest::newRow("IPv4-mapped loopback") << u"https://[::ffff:127.0.0.1]:%1/r"_s << false;
    QTest::newRow("loopback as a number") << u"https://2130706433:%1/r"_s << false;
}

void TestWhoisdUpstreams::registrarLinksAreChecked()
{
    QFETCH(QString, link);
    QFETCH(bool, configured);
    Stack stack;
    LoopbackListener registrar;
    // Registrar links may use this port here, so only the address can refuse them.
    stack.settings.httpsPort = registrar.port();
    if (configured)
        stack.settings.rdapOverrides.insert(u"zz"_s, u"https://127.0.0.1:%1/"_s.arg(registrar.port()));
    const QByteArray target = link.arg(registrar.port()).toLatin1();
    stack.rdap.setHandler([&stack, target](const TestHttpsServer::Request& request) {
        if (request.path == "/rdap/domain/example.com")
            return Response{200, Fixture("rdap_thin_com.json").replace("REGISTRAR_LINK", target),
                            "application/rdap+json"};
        return stack.answerRdap(request);
    });
    stack.start();
    // The registry's own record answers either way.
    const QString row = stack.lookUp(u"example.com"_s);
    QVERIFY2(row.startsWith(u"example.com|RESERVED-Internet Assigned Numbers Authority||"_s),
             qPrintable(row));
    QCOMPARE(registrar.reached(), configured);
}

void TestWhoisdUpstreams::redirectsAreChecked()
{
    Stack stack;
    LoopbackListener elsewhere;
    stack.settings.httpsPort = elsewhere.port();
    const auto redirect = [](const QByteArray& location) {
        return Response{302, {}, "text/plain", 0, false, {{"Location", location}}};
    };
    const QByteArray port = QByteArray::number(elsewhere.port());
    stack.rdap.setHandler([&](const TestHttpsServer::Request& request) {
        if (request.path == "/rdap/domain/moved.org")
            return redirect("/rdap/domain/example.org");
        if (request.path == "/rdap/domain/away.org")
            return redirect("https://127.0.0.1:" + port + "/x");
        if (request.path == "/rdap/domain/mapped.org")
            return redirect("https://[::ffff:127.0.0.1]:" + port + "/x");
        if (request.path == "/rdap/domain/named.org")
            return redirect("https://localhost:" + port + "/x");
        if (request.path == "/rdap/domain/loop.org")
            return redirect("/rdap/domain/loop.org");
        return stack.answerRdap(request);
    });
    stack.start();
    // Within the configured upstream a redirect is followed, a bounded number of times.
    const QString moved = stack.lookUp(u"moved.org"_s);
    QVERIFY2(moved.startsWith(u"moved.org|Example Registrar"_s), qPrintable(moved));
    QCOMPARE(stack.lookUp(u"loop.org"_s), u"loop.org||||||127.0.0.1||查询失败:无法连接"_s);
    QCOMPARE(stack.rdapRequests("/rdap/domain/loop.org"), 6);
    // Away from it, only to the addresses the policy allows.
    for (const QString& name : {u"away.org"_s, u"mapped.org"_s, u"named.org"_s})
        QCOMPARE(stack.lookUp(name), name + u"||||||127.0.0.1||查询失败:无法连接"_s);
    QVERIFY(!elsewhere.reached());
}

QTEST_GUILESS_MAIN(TestWhoisdUpstreams)
#include "tst_whoisd_upstreams.moc"
