// whoisd's endpoints as the program sees them: rows, refusals, the update answer.
#include "whoisd_stack.h"
#include "core/digest/md5_hex.h"
#include "core/protocol/wire_protocol.h"
#include "service/front/http_front.h"
#include "service/engine/lookup_service.h"
#include "core/net/http_get_text.h"
#include "core/net/reply_wait.h"
#include "support/whoisd_process.h"
#include "support/fake_whois_server.h"
#include "support/test_files.h"
#include "support/test_https_server.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using Response = TestHttpsServer::Response;

class TestWhoisd final : public QObject {
    Q_OBJECT
private slots:
    void lookups_data();
    void lookups();
    void tokenIsCheckedFirst();
    void rowReplyCarriesAllMembers();
    void updateEndpoint();
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
        << u"中文.info"_s
        << u"中文.info|Redacted Registrar Ltd|||2020-01-02||127.0.0.1||serverHold,redemptionPeriod"_s;
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
        const QString server =
            name.endsWith(u"cc"_s) ? u"ccwhois.verisign-grs.com"_s : u"whois.nic."_s + name.right(2);
        QTest::addRow("%s over port 43 when RDAP fails", qPrintable(name))
            << name
            << name + u"|阿里云计算有限公司（万网）|admin@example.cn||2003-03-12|2028-03-12|"_s + server +
                   u"|ns1.example.cn,ns2.example.cn|clientDeleteProhibited,clientTransferProhibited"_s;
    }
    // Every other answer about a name is a row too, its status column saying why.
    QTest::newRow("not registered over RDAP") << u"nosuch.org"_s << u"nosuch.org||||||||未注册"_s;
    QTest::newRow("not registered over port 43") << u"nosuch.net"_s << u"nosuch.net||||||||未注册"_s;
    QTest::newRow("garbage from RDAP, no port 43")
        << u"garbage.org"_s << u"garbage.org||||||127.0.0.1||查询失败:应答无法识别"_s;
    QTest::newRow("garbage from port 43")
        << u"garbage.net"_s << u"garbage.net||||||whois.verisign-grs.com||查询失败:应答无法识别"_s;
    QTest::newRow("port 43 names only the holder")
        << u"holder.net"_s << u"holder.net||||||whois.verisign-grs.com||"_s;
    QTest::newRow("RDAP refuses") << u"refused.org"_s << u"refused.org||||||127.0.0.1||查询失败:注册局拒绝"_s;
    QTest::newRow("port 43 rate limited")
        << u"busy.net"_s << u"busy.net||||||whois.verisign-grs.com||查询过于频繁,请稍后重试"_s;
    QTest::newRow("port 43 unreachable")
        << u"example.biz"_s << u"example.biz||||||whois.down.example||查询失败:无法连接"_s;
    // A name DNS shows delegated is registered, whatever the registry said or could not say.
    const QString delegated = u"|ns1.example.net,ns2.example.net|已注册"_s;
    QTest::newRow("RDAP says not found, DNS delegates")
        << u"taken.org"_s << u"taken.org||||||127.0.0.1"_s + delegated;
    QTest::newRow("port 43 says not found, DNS delegates")
        << u"taken.net"_s << u"taken.net||||||whois.verisign-grs.com"_s + delegated;
    QTest::newRow("rate limited, DNS delegates")
        << u"limited.net"_s << u"limited.net||||||whois.verisign-grs.com"_s + delegated;
    QTest::newRow("unreachable, DNS delegates")
        << u"taken.biz"_s << u"taken.biz||||||whois.down.example"_s + delegated;
    QTest::newRow("unreachable, DNS silent")
        << u"silent.biz"_s << u"silent.biz||||||whois.down.example||查询失败:无法连接"_s;
    QTest::newRow("TLD nobody serves")
        << u"a.nowhere"_s << u"a.nowhere||||||||域名格式不正确或暂不支持该后缀"_s;
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
    for (const QString& token :
         {QString(), u"0"_s, Md5Hex(name, 32), Md5Hex(name + wire::kTokenSalt.toString(), 16)})
        QCOMPARE(
            Row(MapLookupReply(HttpGetText(stack.client, stack.baseUrl + wire::LookupTarget(name, token)))),
            refused);
    QCOMPARE(
        Row(MapLookupReply(HttpGetText(stack.client, stack.baseUrl + QLatin1StringView(wire::kLookupPath)))),
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
             QString::fromUtf8(wire::ReplyBody(wire::RowAnswer(
                 {u"nosuch.org"_s, {}, {}, {}, {}, {}, {}, {}, wire::kNotRegistered.toString()}))));
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
    const QString unknown =
        QString::fromUtf8(wire::ReplyBody(wire::Refusal(wire::kUnknownProduct.toString())));
    const QString otherProduct = wire::kProductItem.toString() + u"=other"_s;
    const QString otherItem = u"x="_s + wire::kProduct.toString();
    for (const QString& body : {otherProduct, QString(), otherItem})
        QCOMPARE(post(body.toUtf8()), unknown);
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
