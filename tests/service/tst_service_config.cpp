#include "service/engine/bootstrap.h"
#include "service/config/settings.h"
#include "service/engine/upstream_policy.h"

#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// What whoisd reads from its command line, settings file and bootstrap file, and
// which upstream addresses it lets itself reach.
class TestServiceConfig final : public QObject {
    Q_OBJECT
private slots:
    void outboundAddresses_data();
    void outboundAddresses();
    void outboundLinks_data();
    void outboundLinks();
    void bootstrapFile();
    void settings();
    void settingsRefused_data();
    void settingsRefused();
    void optionLists();
};

void TestServiceConfig::outboundAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("open");
    const auto rows = [](std::initializer_list<const char*> addresses, bool open) {
        for (const char* address : addresses)
            QTest::newRow(address) << QString::fromLatin1(address) << open;
    };
    rows({"93.184.216.34", "172.32.0.1", "100.128.0.1", "2001:4860:4860::8888", "::ffff:8.8.8.8",
          "64:ff9b::808:808"},
         true);
    rows({"127.0.0.1", "127.8.9.10", "0.0.0.0", "10.0.0.1", "172.16.0.1", "172.31.255.255", "192.168.1.1",
          "100.64.0.1", "169.254.169.254", "224.0.0.251", "255.255.255.255", "::", "::1", "fe80::1",
          "fd00::1", "fc12::1", "ff02::1",
          // IPv4 addresses in IPv6 clothing: mapped, compatible, NAT64.
          "::ffff:10.0.0.1", "::ffff:127.0.0.1", "::ffff:169.254.169.254", "::10.0.0.1", "::127.0.0.1",
          "64:ff9b::a00:1"},
         false);
}

void TestServiceConfig::outboundAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, open);
    const QHostAddress parsed(address);
    QVERIFY(!parsed.isNull());
    QCOMPARE(IsPublicAddress(parsed), open);
}

void TestServiceConfig::outboundLinks_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("requested");
    QTest::addColumn<bool>("anyAddress"); // connected to a loopback address as well
    QTest::newRow("registrar host") << u"https://rdap.registrar.example/domain/a.com"_s << true << false;
    QTest::newRow("explicit 443") << u"https://rdap.registrar.example:443/x"_s << true << false;
    QTest::newRow("public address") << u"https://93.184.216.34/x"_s << true << false;
    QTest::newRow("configured loopback upstream") << u"https://127.0.0.1:8443/other"_s << true << true;
    QTest::newRow("configured host, other port") << u"https://127.0.0.1:8444/x"_s << false << false;
    QTest::newRow("other port") << u"https://rdap.registrar.example:8443/x"_s << false << false;
    QTest::newRow("plain http") << u"http://rdap.registrar.example/domain/a.com"_s << false << false;
    QTest::newRow("user info") << u"https://u:p@rdap.registrar.example/x"_s << false << false;
    QTest::newRow("loopback") << u"https://127.0.0.1/x"_s << false << false;
    QTest::newRow("IPv6 loopback") << u"https://[::1]/x"_s << false << false;
    QTest::newRow("private network") << u"https://10.1.2.3/x"_s << false << false;
    QTest::newRow("IPv4-mapped private") << u"https://[::ffff:10.0.0.1]/x"_s << false << false;
    QTest::newRow("link-local metadata") << u"https://169.254.169.254/latest"_s << false << false;
    QTest::newRow("not a URL") << u"javascript:alert(1)"_s << false << false;
}

void TestServiceConfig::outboundLinks()
{
    QFETCH(QString, link);
    QFETCH(bool, requested);
    QFETCH(bool, anyAddress);
    const OutboundPolicy policy = OutboundPolicy().trusting(QUrl(u"https://127.0.0.1:8443/rdap/"_s));
    const QUrl url(link);
    QCOMPARE(policy.mayRequest(url), requested);
    // A name is checked again on each address it resolves to.
    QCOMPARE(policy.mayConnect(url, QHostAddress(u"93.184.216.34"_s)), requested);
    QCOMPARE(policy.mayConnect(url, QHostAddress::LocalHost), anyAddress);
    QCOMPARE(policy.mayConnect(url, QHostAddress(u"::ffff:192.168.0.1"_s)), anyAddress);

    // WHOIS referrals: host names only.
    QVERIFY(IsFollowableHost(u"whois.registrar.example"_s));
    for (const QString& host :
         {u"10.0.0.1"_s, u"whois.x.com:4343"_s, u"rwhois://x.com"_s, u"localhost"_s, QString()})
        QVERIFY2(!IsFollowableHost(host), qPrintable(host));
}

void TestServiceConfig::bootstrapFile()
{
    ServerDirectory directory;
    QVERIFY(!directory.loadBootstrap("not json"));
    const QByteArray bootstrap =
        "{\"services\":[[[\"com\",\"NET\"],[\"http://r.example/a\",\"https://r.example/a\"]],"
        "[[\"org\"],[\"https://o.example/rdap/\"]]]}";
    QVERIFY(directory.loadBootstrap(bootstrap));
    QCOMPARE(directory.rdapBase(u"com"_s), u"https://r.example/a/"_s);
    QCOMPARE(directory.rdapBase(u"net"_s), u"https://r.example/a/"_s);
    QCOMPARE(directory.rdapBase(u"ORG"_s), u"https://o.example/rdap/"_s);
    QCOMPARE(directory.rdapBase(u"me"_s), QString());
    // The shipped table fills the bootstrap file's gaps and wins over it; an override wins over both.
    QCOMPARE(directory.loadRdapTable("# servers\nme https://t.example/rdap\ncom https://t.example/com/\n"
                                     "de http://plain.example/\nbad line here\n"),
             2);
    QCOMPARE(directory.rdapBase(u"me"_s), u"https://t.example/rdap/"_s);
    QCOMPARE(directory.rdapBase(u"com"_s), u"https://t.example/com/"_s);
    QCOMPARE(directory.rdapBase(u"de"_s), QString());
    directory.addRdapOverride(u"me"_s, u"https://m.example/rdap"_s);
    QCOMPARE(directory.rdapBase(u"me"_s), u"https://m.example/rdap/"_s);
    // A broken refresh keeps what was there.
    QVERIFY(!directory.loadBootstrap("{\"services\":[]}"));
    QCOMPARE(directory.rdapBase(u"net"_s), u"https://r.example/a/"_s);

    ServerDirectory shipped;
    QFile snapshot(QStringLiteral(WHOIS_SERVICE_DATA "/rdap-dns-bootstrap.json"));
    QVERIFY(snapshot.open(QIODevice::ReadOnly));
    QVERIFY(shipped.loadBootstrap(snapshot.readAll()));
    QVERIFY(!shipped.rdapBase(u"com"_s).isEmpty());
}

void TestServiceConfig::settings()
{
    QString message;
    QVERIFY(!ServiceSettings::fromArguments({u"whoisd"_s, u"--help"_s}, &message));
    QVERIFY(message.contains(u"--whois-server"_s));
    message.clear();
    QVERIFY(!ServiceSettings::fromArguments({u"whoisd"_s, u"--port"_s, u"x"_s}, &message));
    QVERIFY(message.contains(u"--port"_s));
    message.clear();
    QVERIFY(
        !ServiceSettings::fromArguments({u"whoisd"_s, u"--state-dir"_s, u"/nonexistent/whoisd"_s}, &message));
    QVERIFY(message.contains(u"--state-dir"_s));

    QTemporaryFile config;
    QVERIFY(config.open());
    // A limit row's own commas survive the settings file's list splitting.
    config.write(
        "port=9000\nsid=42\nmax-in-flight=2\nlimit=whois.nic.uk=4.5,daily=1000, rdap.example:8443=0.5\n");
    config.close();
    message.clear();
    const auto parsed = ServiceSettings::fromArguments(
        {u"whoisd"_s, u"--config"_s, config.fileName(), u"--port"_s, u"9001"_s, u"--whois-server"_s,
         u"hk=whois.other.hk"_s, u"--whois-address"_s, u"whois.other.hk=127.0.0.1:4343"_s},
        &message);
    QVERIFY2(parsed, qPrintable(message));
    QCOMPARE(parsed->port, 9001);
    QCOMPARE(parsed->sid, u"42"_s);
    QCOMPARE(parsed->maxInFlightPerServer, std::optional<int>(2));
    QCOMPARE(parsed->limits.value(u"whois.nic.uk"_s), (ServerLimit{4.5, 1, 4, 1000}));
    QCOMPARE(parsed->limits.value(u"rdap.example:8443"_s), (ServerLimit{0.5, 1, 4, 0}));
    QCOMPARE(parsed->whoisServers.value(u"hk"_s), u"whois.other.hk"_s);
    QCOMPARE(parsed->whoisAddresses.value(u"whois.other.hk"_s), u"127.0.0.1:4343"_s);
    QVERIFY(parsed->rdapOverrides.isEmpty());
    QVERIFY(parsed->dnsWitness && parsed->dnsResolvers.isEmpty());
    const auto resolvers = ServiceSettings::fromArguments(
        {u"whoisd"_s, u"--dns"_s, u"127.0.0.1:5353"_s, u"--dns"_s, u"[::1]"_s, u"--dns-timeout"_s, u"500"_s},
        &message);
    QVERIFY2(resolvers, qPrintable(message));
    QCOMPARE(resolvers->dnsResolvers, (QStringList{u"127.0.0.1:5353"_s, u"[::1]"_s}));
    QCOMPARE(resolvers->dnsTimeout.count(), 500);
    QVERIFY(!ServiceSettings::fromArguments({u"whoisd"_s, u"--dns"_s, u"off"_s}, &message)->dnsWitness);
}

void TestServiceConfig::settingsRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");
    const auto row = [](const char* name, QStringList arguments, const QString& complaint) {
        QTest::newRow(name) << arguments << complaint;
    };
    row("port past 65535", {u"--port"_s, u"70000"_s}, u"--port 70000: out of range (0 to 65535)"_s);
    row("negative port", {u"--port"_s, u"-1"_s}, u"--port -1: out of range"_s);
    row("port not a number", {u"--port"_s, u"84x"_s}, u"--port 84x: not a whole number"_s);
    row("port left empty", {u"--port="_s}, u"--port : no value"_s);
    row("listen not an address", {u"--listen"_s, u"localhost"_s}, u"--listen localhost: not an IP address"_s);
    row("missing certificate", {u"--cert"_s, u"/nonexistent/server.crt"_s},
        u"--cert /nonexistent/server.crt: not a readable file"_s);
    row("key is a directory", {u"--key"_s, u"/"_s}, u"--key /: not a readable file"_s);
    row("bootstrap url", {u"--bootstrap-url"_s, u"ftp://x.example/dns.json"_s}, u"--bootstrap-url"_s);
    row("iana whois", {u"--iana-whois"_s, u"who is"_s}, u"--iana-whois who is: not a host name"_s);
    row("rdap without tld", {u"--rdap"_s, u"https://r.example/"_s},
        u"--rdap https://r.example/: not of the form"_s);
    row("rdap not a url", {u"--rdap"_s, u"me=r.example"_s}, u"--rdap me=r.example"_s);
    row("whois server", {u"--whois-server"_s, u"hk="_s}, u"--whois-server hk="_s);
    row("whois address without port", {u"--whois-address"_s, u"w.example=127.0.0.1"_s}, u"--whois-address"_s);
    row("whois address port 0", {u"--whois-address"_s, u"w.example=127.0.0.1:0"_s}, u"--whois-address"_s);
    row("whois port 0", {u"--whois-port"_s, u"0"_s}, u"--whois-port 0: out of range"_s);
    row("resolver by name", {u"--dns"_s, u"ns.example"_s}, u"--dns ns.example: neither \"off\" nor"_s);
    row("resolver port 0", {u"--dns"_s, u"127.0.0.1:0"_s}, u"--dns 127.0.0.1:0"_s);
    row("zero time-out", {u"--timeout"_s, u"0"_s}, u"--timeout 0: out of range"_s);
    row("huge connect time-out", {u"--connect-timeout"_s, u"99999999999"_s}, u"--connect-timeout"_s);
    row("answer cap too big", {u"--max-answer-bytes"_s, u"1000000000"_s}, u"--max-answer-bytes"_s);
    row("no requests in flight", {u"--max-in-flight"_s, u"0"_s}, u"--max-in-flight 0: out of range"_s);
    row("negative spacing", {u"--min-spacing"_s, u"-5"_s}, u"--min-spacing"_s);
    row("limit without a rate", {u"--limit"_s, u"whois.nic.uk"_s},
        u"--limit whois.nic.uk: not of the form server=rate"_s);
    row("limit of no queries", {u"--limit"_s, u"whois.nic.uk=0"_s}, u"--limit whois.nic.uk=0: the rate"_s);
    row("limit with an unknown part", {u"--limit"_s, u"w.example=1,bursts=2"_s},
        u"unknown part \"bursts=2\""_s);
    row("limit of no concurrency", {u"--limit"_s, u"w.example=1,concurrency=0"_s}, u"concurrency is not"_s);
    row("limit without a server", {u"--limit"_s, u"=5"_s}, u"--limit =5: no server"_s);
    row("empty queue", {u"--max-queue"_s, u"0"_s}, u"--max-queue 0: out of range"_s);
    row("cache entries past int", {u"--cache-entries"_s, u"3000000000"_s}, u"--cache-entries"_s);
    row("negative ttl", {u"--found-ttl"_s, u"-1"_s}, u"--found-ttl"_s);
    row("ttl of a century", {u"--not-registered-ttl"_s, u"3153600000"_s}, u"--not-registered-ttl"_s);
    row("stray argument", {u"8443"_s}, u"unexpected arguments: 8443"_s);
    row("unknown option", {u"--prot"_s, u"8443"_s}, u"prot"_s);
}

void TestServiceConfig::settingsRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    QString message;
    QVERIFY(!ServiceSettings::fromArguments(QStringList{u"whoisd"_s} + arguments, &message));
    QVERIFY2(message.contains(complaint), qPrintable(message));

    // The settings file is held to the same rules, and a misspelt key is named.
    QTemporaryFile config;
    QVERIFY(config.open());
    config.write("port=70000\nmax-inflight=2\n");
    config.close();
    QVERIFY(!ServiceSettings::fromArguments({u"whoisd"_s, u"--config"_s, config.fileName()}, &message));
    QVERIFY2(message.contains(u"--port 70000: out of range"_s), qPrintable(message));
    QVERIFY2(message.contains(u"unknown setting"_s) && message.contains(u"max-inflight"_s),
             qPrintable(message));
}

// The manual and the installed settings file are written from the option rows: the
// manual names every option the help names, and the settings file reads back.
void TestServiceConfig::optionLists()
{
    QString help;
    QString manual;
    QString file;
    bool helped = false;
    QVERIFY(!ServiceSettings::fromArguments({u"whoisd"_s, u"--help"_s}, &help, &helped) && helped);
    QVERIFY(!ServiceSettings::fromArguments({u"whoisd"_s, u"--help-scdoc"_s}, &manual));
    QVERIFY(!ServiceSettings::fromArguments({u"whoisd"_s, u"--help-ini"_s}, &file));
    static const QRegularExpression kName(u"  --([a-z-]+)"_s);
    int named = 0;
    for (const QRegularExpressionMatch& match : kName.globalMatch(help)) {
        if (match.captured(1) != u"help-all") {
            QVERIFY2(manual.contains(u"*--"_s + match.captured(1) + u'*'), qPrintable(match.captured(1)));
            ++named;
        }
    }
    QVERIFY(named > 30);
    QVERIFY(manual.contains(u"*--log-format*"_s) && manual.contains(u"*--max-connections*"_s));

    QTemporaryFile config;
    QVERIFY(config.open());
    config.write(file.toUtf8());
    config.close();
    QString message;
    const auto parsed =
        ServiceSettings::fromArguments({u"whoisd"_s, u"--config"_s, config.fileName()}, &message);
    QVERIFY2(parsed, qPrintable(message));
    QCOMPARE(parsed->listenAddress, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(parsed->bootstrapUrl, ServiceSettings().bootstrapUrl);
    QCOMPARE(parsed->maxAnswerBytes, ServiceSettings().maxAnswerBytes);
}

QTEST_APPLESS_MAIN(TestServiceConfig)
#include "tst_service_config.moc"
