#include "service_rows.h"
#include "core/digest/md5_hex.h"
#include "core/protocol/wire_protocol.h"
#include "http_front.h"
#include "lookup_service.h"
#include "core/net/http_get_text.h"
#include "core/net/reply_wait.h"
#include "support/whoisd_process.h"
#include "support/fake_whois_server.h"
#include "support/loopback_listener.h"
#include "support/test_files.h"
#include "support/test_https_server.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QSslSocket>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using Response = TestHttpsServer::Response;

namespace {

// The service in this process, between the program's own helpers and fake upstreams:
// an HTTPS RDAP server and two port-43 servers (a registry's and a registrar's).
struct Stack {
    Stack()
    {
        TestHttpsServer::trustTestAuthority();
        rdap.setHandler([this](const TestHttpsServer::Request& request) { return answerRdap(request); });
        const QByteArray bootstrapJson =
            "{\"services\":[[[\"org\",\"com\",\"info\"],[\"" + rdap.baseUrl().toLatin1() + "/rdap/\"]]]}";
        bootstrap.open();
        bootstrap.write(bootstrapJson);
        bootstrap.close();

        registry.answer("example.cn", QStringEncoder("GBK").encode(QString::fromUtf8(Fixture("whois_cn.txt"))));
        registry.answer("example.hk", Fixture("whois_hk.txt"));
        registry.answer("example.net", Fixture("whois_com_registry.txt"));
        registry.answer("nosuch.net", Fixture("whois_not_found.txt"));
        registry.answer("garbage.net", QByteArray("\x01\x02\xff\xfe", 4));
        registry.answer("exampletld", Fixture("whois_iana_tld.txt"));
        registry.answer("example.exampletld", Fixture("whois_cn.txt"));
        registry.answer("nowhere", "% no such TLD\r\n");
        registry.answer("busy.net", "WHOIS LIMIT EXCEEDED - SEE WWW.PIR.ORG/WHOIS FOR DETAILS\r\n");
        for (const char* name : {"example.io", "example.me", "example.cc"})
            registry.answer(name, Fixture("whois_cn.txt"));
        registrar.answer("example.net", Fixture("whois_com_registrar.txt"));

        settings.port = 0;
        settings.bootstrapFile = bootstrap.fileName();
        settings.bootstrapUrl.clear();
        settings.ianaWhois = u"whois.iana.org"_s;
        // RDAP answers .io and .cc badly and .me not at all; port 43 answers all three.
        settings.rdapOverrides = {{u"io"_s, rdap.baseUrl() + u"/rdap/"_s},
                                  {u"cc"_s, rdap.baseUrl() + u"/rdap/"_s},
                                  {u"me"_s, u"https://127.0.0.1:1/"_s}};
        settings.whoisServers = {{u"cn"_s, u"whois.cnnic.cn"_s},       {u"hk"_s, u"whois.hkirc.hk"_s},
                                 {u"net"_s, u"whois.verisign-grs.com"_s}, {u"io"_s, u"whois.nic.io"_s},
                                 {u"me"_s, u"whois.nic.me"_s},           {u"cc"_s, u"ccwhois.verisign-grs.com"_s},
                                 {u"biz"_s, u"whois.down.example"_s}};
        for (const char* host : {"whois.cnnic.cn", "whois.hkirc.hk", "whois.verisign-grs.com", "whois.iana.org",
                                 "whois.nic.example-tld", "whois.nic.io", "whois.nic.me", "ccwhois.verisign-grs.com"})
            settings.whoisAddresses.insert(QString::fromLatin1(host), registry.address());
        settings.whoisAddresses.insert(u"whois.down.example"_s, u"127.0.0.1:1"_s);
        settings.whoisAddresses.insert(u"whois.registrar.example"_s, registrar.address());
        settings.totalTimeout = std::chrono::milliseconds(1000);
        settings.minSpacing = std::chrono::milliseconds(0);
    }

    void start()
    {
        service = std::make_unique<LookupService>(settings, upstreamNetwork);
        service->startBootstrap();
        front = std::make_unique<HttpFront>(settings, *service);
        QString error;
        const quint16 port = front->listen(
            ReadTestFile(QStringLiteral(WHOIS_TEST_CERT_DIR "/server.crt")),
            ReadTestFile(QStringLiteral(WHOIS_TEST_CERT_DIR "/server.key")), &error);
        if (port == 0)
            qFatal("%s", qPrintable(error));
        baseUrl = u"https://127.0.0.1:%1"_s.arg(port);
    }

    Response answerRdap(const TestHttpsServer::Request& request)
    {
        const QByteArray path = request.path;
        if (path == "/rdap/domain/example.org")
            return {200, Fixture("rdap_thick.json"), "application/rdap+json"};
        if (path == "/rdap/domain/example.com")
            return {200, Fixture("rdap_thin_com.json").replace("REGISTRAR_LINK", rdap.baseUrl().toLatin1() + "/registrar/domain/example.com"),
                    "application/rdap+json"};
        if (path == "/registrar/domain/example.com")
            return {200, Fixture("rdap_registrar_com.json"), "application/rdap+json"};
        if (path == "/rdap/domain/xn--fiq228c.info")
            return {200, Fixture("rdap_redacted.json"), "application/rdap+json"};
        if (path == "/rdap/domain/busy.org")
            return {429, "{}", "application/rdap+json", 0, false, {{"Retry-After", "60"}}};
        if (path == "/rdap/domain/slow.org")
            return {200, Fixture("rdap_thick.json"), "application/rdap+json", 3000};
        if (path == "/rdap/domain/garbage.org" || path == "/rdap/domain/example.cc")
            return {200, "<html>maintenance</html>", "text/html"};
        if (path == "/rdap/domain/example.io")
            return {503, "{}", "application/rdap+json"};
        if (path == "/rdap/domain/refused.org")
            return {403, "{}", "application/rdap+json"};
        return {404, R"({"errorCode":404})", "application/rdap+json"};
    }

    // A lookup as the program makes it.
    QString lookUp(const QString& name) { return Row(MapLookupReply(HttpGetText(client, LookupUrl(baseUrl, name)))); }

    int rdapRequests(const QByteArray& path) const
    {
        int count = 0;
        for (const auto& request : rdap.requests())
            count += request.path == path ? 1 : 0;
        return count;
    }

    TestHttpsServer rdap;
    FakeWhoisServer registry;
    FakeWhoisServer registrar;
    QTemporaryFile bootstrap;
    ServiceSettings settings;
    QNetworkAccessManager upstreamNetwork;
    QNetworkAccessManager client;
    std::unique_ptr<LookupService> service;
    std::unique_ptr<HttpFront> front;
    QString baseUrl;
};

} // namespace

class TestWhoisd final : public QObject {
    Q_OBJECT
private slots:
    void lookups_data();
    void lookups();
    void tokenIsCheckedFirst();
    void rowReplyCarriesAllMembers();
    void shippedServerTables();
    void bootstrapIsRefreshed();
    void refreshedBootstrapIsKept();
    void answersAreCached();
    void rateLimitIsHonoured();
    void slowUpstreamTimesOut();
    void clientLeavingDuringALookup();
    void updateEndpoint();
    void registrarLinksAreChecked_data();
    void registrarLinksAreChecked();
    void redirectsAreChecked();
    void stopsCleanlyOnTerm();
};

void TestWhoisd::lookups_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("row");
    QTest::newRow("thick RDAP record")
        << u"example.org"_s
        << u"example.org|Example Registrar, Inc.|holder@example.org|+86.1085000000|1995-08-31|2027-08-31|"
           u"whois.publicinterestregistry.org|a.iana-servers.net,b.iana-servers.net|"
           u"clientTransferProhibited,clientDeleteProhibited,ok"_s;
    QTest::newRow("thin RDAP record, registrar link followed")
        << u"EXAMPLE.com"_s
        << u"example.com|RESERVED-Internet Assigned Numbers Authority|abuse@ror.example|+1.3105551212|"
           u"1995-08-14|2026-08-13|whois.verisign-grs.com|a.iana-servers.net,b.iana-servers.net|"
           u"clientDeleteProhibited,clientTransferProhibited,clientUpdateProhibited"_s;
    QTest::newRow("redacted record, internationalised name")
        << u"中文.info"_s << u"中文.info|Redacted Registrar Ltd|||2020-01-02||127.0.0.1||serverHold,redemptionPeriod"_s;
    QTest::newRow(".cn over port 43 in GBK")
        << u"example.cn"_s
        << u"example.cn|阿里云计算有限公司（万网）|admin@example.cn||2003-03-12|2028-03-12|whois.cnnic.cn|"
           u"ns1.example.cn,ns2.example.cn|clientDeleteProhibited,clientTransferProhibited"_s;
    QTest::newRow(".hk over port 43")
        << u"example.hk"_s
        << u"example.hk|Hong Kong Domain Name Registration Company Limited|holder@example.hk||1997-09-15|"
           u"2027-09-14|whois.hkirc.hk|ns1.example.hk,ns2.example.net|ok"_s;
    QTest::newRow("registrar referral followed")
        << u"example.net"_s
        << u"example.net|Example Registrar, Inc.|owner@example.com|+1.4155550123|1995-08-14|2026-08-13|"
           u"whois.registrar.example|a.iana-servers.net,b.iana-servers.net|"
           u"clientDeleteProhibited,clientTransferProhibited"_s;
    QTest::newRow("unknown TLD found through IANA")
        << u"example.exampletld"_s
        << u"example.exampletld|阿里云计算有限公司（万网）|admin@example.cn||2003-03-12|2028-03-12|"
           u"whois.nic.example-tld|ns1.example.cn,ns2.example.cn|"
           u"clientDeleteProhibited,clientTransferProhibited"_s;
    // When RDAP cannot answer, port 43 does.
    for (const QString& name : {u"example.io"_s, u"example.me"_s, u"example.cc"_s}) {
        const QString server = name.endsWith(u"cc"_s) ? u"ccwhois.verisign-grs.com"_s : u"whois.nic."_s + name.right(2);
        QTest::addRow("%s over port 43 when RDAP fails", qPrintable(name))
            << name << name + u"|阿里云计算有限公司（万网）|admin@example.cn||2003-03-12|2028-03-12|"_s + server +
                           u"|ns1.example.cn,ns2.example.cn|clientDeleteProhibited,clientTransferProhibited"_s;
    }
    // Every other answer about a name is a row too, its status column saying why.
    QTest::newRow("not registered over RDAP") << u"nosuch.org"_s << u"nosuch.org||||||||未注册"_s;
    QTest::newRow("not registered over port 43") << u"nosuch.net"_s << u"nosuch.net||||||||未注册"_s;
    QTest::newRow("garbage from RDAP, no port 43")
        << u"garbage.org"_s << u"garbage.org||||||127.0.0.1||查询失败:应答无法识别"_s;
    QTest::newRow("garbage from port 43")
        << u"garbage.net"_s << u"garbage.net||||||whois.verisign-grs.com||查询失败:应答无法识别"_s;
    QTest::newRow("RDAP refuses") << u"refused.org"_s << u"refused.org||||||127.0.0.1||查询失败:注册局拒绝"_s;
    QTest::newRow("port 43 rate limited")
        << u"busy.net"_s << u"busy.net||||||whois.verisign-grs.com||查询过于频繁,请稍后重试"_s;
    QTest::newRow("port 43 unreachable")
        << u"example.biz"_s << u"example.biz||||||whois.down.example||查询失败:无法连接"_s;
    QTest::newRow("TLD nobody serves") << u"a.nowhere"_s << u"a.nowhere||||||||域名格式不正确或暂不支持该后缀"_s;
    QTest::newRow("not a domain name") << u"a..com"_s << u"a..com||||||||域名格式不正确或暂不支持该后缀"_s;
    QTest::newRow("query characters")
        << u"a.com&token=x"_s << u"a.com&token=x||||||||域名格式不正确或暂不支持该后缀"_s;
}

void TestWhoisd::lookups()
{
    QFETCH(QString, name);
    QFETCH(QString, row);
    Stack stack;
    stack.start();
    QCOMPARE(stack.lookUp(name), row);
}

void TestWhoisd::tokenIsCheckedFirst()
{
    Stack stack;
    stack.start();
    const QString name = u"example.org"_s;
    const QString refused = u"refused: "_s + wire::kBadToken.toString();
    for (const QString& token : {QString(), u"0"_s, Md5Hex(name, 32), Md5Hex(name + wire::kTokenSalt.toString(), 16)})
        QCOMPARE(Row(MapLookupReply(HttpGetText(stack.client, stack.baseUrl + wire::LookupTarget(name, token)))),
                 refused);
    QCOMPARE(Row(MapLookupReply(HttpGetText(stack.client, stack.baseUrl + QLatin1StringView(wire::kLookupPath)))),
             refused);
    QVERIFY(stack.rdap.requests().isEmpty());
    QVERIFY(stack.registry.queries().isEmpty());
}

void TestWhoisd::rowReplyCarriesAllMembers()
{
    Stack stack;
    stack.start();
    // Every member, the empty ones too.
    QCOMPARE(HttpGetText(stack.client, LookupUrl(stack.baseUrl, u"nosuch.org"_s)),
             QString::fromUtf8(wire::ReplyBody(
                 wire::RowAnswer({u"nosuch.org"_s, {}, {}, {}, {}, {}, {}, {}, wire::kNotRegistered.toString()}))));
}

void TestWhoisd::shippedServerTables()
{
    ServerDirectory directory;
    const QByteArray table = ReadTestFile(QStringLiteral(WHOIS_SERVICE_DATA "/whois-servers.txt"));
    const qsizetype lines = table.count('\n') - table.count('#');
    QCOMPARE(directory.loadWhoisTable(table), lines); // every line a pair
    QVERIFY(lines > 1100);
    QVERIFY(directory.loadBootstrap(ReadTestFile(QStringLiteral(WHOIS_SERVICE_DATA "/rdap-dns-bootstrap.json"))));
    QVERIFY(directory.rdapCount() > 1100);
    QCOMPARE(directory.whoisServer(u"IO"_s), u"whois.nic.io"_s);
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

void TestWhoisd::bootstrapIsRefreshed()
{
    Stack stack;
    stack.settings.bootstrapUrl = stack.rdap.baseUrl() + u"/bootstrap/dns.json"_s;
    stack.rdap.setHandler([&stack](const TestHttpsServer::Request& request) {
        if (request.path == "/bootstrap/dns.json")
            return Response{200, "{\"services\":[[[\"org\",\"xyz\"],[\"" + stack.rdap.baseUrl().toLatin1() + "/fresh/\"]]]}"};
        if (request.path == "/fresh/domain/example.xyz")
            return Response{200, Fixture("rdap_thick.json"), "application/rdap+json"};
        return stack.answerRdap(request);
    });
    stack.start();
    // Until the refresh arrives the snapshot serves; afterwards the fresh file does.
    QTRY_VERIFY(stack.lookUp(u"example.xyz"_s).startsWith(u"example.xyz|Example Registrar"_s));
}

void TestWhoisd::refreshedBootstrapIsKept()
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

void TestWhoisd::answersAreCached()
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

void TestWhoisd::rateLimitIsHonoured()
{
    Stack stack;
    stack.start();
    QCOMPARE(stack.lookUp(u"busy.org"_s), u"busy.org||||||127.0.0.1||查询过于频繁,请稍后重试"_s);
    // The server asked for a minute: nothing more goes to it meanwhile.
    QCOMPARE(stack.lookUp(u"example.org"_s), u"example.org||||||127.0.0.1||查询过于频繁,请稍后重试"_s);
    QCOMPARE(stack.rdap.requests().size(), 1);
}

void TestWhoisd::slowUpstreamTimesOut()
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

void TestWhoisd::clientLeavingDuringALookup()
{
    Stack stack;
    stack.start();
    {
        // The service runs on this thread: wait with the event loop running.
        QSslSocket impatient;
        QSignalSpy encrypted(&impatient, &QSslSocket::encrypted);
        impatient.connectToHostEncrypted(u"127.0.0.1"_s, static_cast<quint16>(QUrl(stack.baseUrl).port()));
        QTRY_COMPARE(encrypted.count(), 1);
        const QByteArray target = QUrl(LookupUrl(stack.baseUrl, u"slow.org"_s)).toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
        impatient.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QTRY_COMPARE(stack.rdapRequests("/rdap/domain/slow.org"), 1);
        impatient.abort();
    }
    // This one ends after the abandoned lookup, whose answer has nowhere to go.
    QCOMPARE(stack.lookUp(u"slow.org"_s), u"slow.org||||||127.0.0.1||查询失败:超时"_s);
    QVERIFY(stack.lookUp(u"example.org"_s).startsWith(u"example.org|Example Registrar"_s));
}

void TestWhoisd::updateEndpoint()
{
    Stack stack;
    stack.settings.version = u"1.2.0"_s;
    stack.settings.sid = u"88"_s;
    stack.settings.must = u"1"_s;
    stack.start();
    // The program's POST blocks its thread, which here is the service's too: post as it
    // does, but wait with the event loop running.
    const auto post = [&](const QByteArray& body) {
        QNetworkRequest request(QUrl(stack.baseUrl + QLatin1StringView(wire::kVersionPath)));
        request.setRawHeader("CONTENT-TYPE", "application/x-www-form-urlencoded");
        std::unique_ptr<QNetworkReply> reply(stack.client.post(request, body));
        return WaitForReplyText(*reply, std::chrono::seconds(5));
    };
    QCOMPARE(post(wire::VersionForm().toUtf8()),
             QString::fromUtf8(wire::ReplyBody(wire::VersionAnswer(u"1.2.0"_s, u"88"_s, u"1"_s))));
    const QString unknown = QString::fromUtf8(wire::ReplyBody(wire::Refusal(wire::kUnknownProduct.toString())));
    const QString otherProduct = wire::kProductItem.toString() + u"=other"_s;
    const QString otherItem = u"x="_s + wire::kProduct.toString();
    for (const QString& body : {otherProduct, QString(), otherItem})
        QCOMPARE(post(body.toUtf8()), unknown);
}

void TestWhoisd::registrarLinksAreChecked_data()
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

void TestWhoisd::registrarLinksAreChecked()
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
            return Response{200, Fixture("rdap_thin_com.json").replace("REGISTRAR_LINK", target), "application/rdap+json"};
        return stack.answerRdap(request);
    });
    stack.start();
    // The registry's own record answers either way.
    const QString row = stack.lookUp(u"example.com"_s);
    QVERIFY2(row.startsWith(u"example.com|RESERVED-Internet Assigned Numbers Authority||"_s), qPrintable(row));
    QCOMPARE(registrar.reached(), configured);
}

void TestWhoisd::redirectsAreChecked()
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

void TestWhoisd::stopsCleanlyOnTerm()
{
    WhoisdProcess whoisd({u"--bootstrap-url"_s, QString()});
    QVERIFY(!whoisd.baseUrl.isEmpty());
    QProcess& service = whoisd.process;
    service.terminate();
    QVERIFY(service.waitForFinished(5000));
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 0);
    QVERIFY(service.readAllStandardError().contains("stopping"));
}

QTEST_GUILESS_MAIN(TestWhoisd)
#include "tst_whoisd.moc"
