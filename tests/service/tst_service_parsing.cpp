#include "service/engine/domain_name.h"
#include "service/readers/rdap_parse.h"
#include "support/test_files.h"
#include "service/record/whois_record.h"
#include "service/readers/whois_text_parse.h"

#include <QStringEncoder>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray Fixture(const char* name)
{
    return ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/") + QString::fromLatin1(name));
}

QString Fields(const WhoisRecord& record)
{
    return QStringList{record.registrar, record.email,       record.phone,       record.created,
                       record.expires,   record.whoisServer, record.nameServers, record.statuses}
        .join(u'|');
}

} // namespace

class TestServiceParsing final : public QObject {
    Q_OBJECT
private slots:
    void statuses_data();
    void statuses();
    void dates_data();
    void dates();
    void notices();
    void names_data();
    void names();
    void rdapRecords_data();
    void rdapRecords();
    void rdapRejectsOtherObjects();
    void whoisAnswers_data();
    void whoisAnswers();
    void whoisDecoding();
};

void TestServiceParsing::statuses_data()
{
    QTest::addColumn<QString>("rdap");
    QTest::addColumn<QString>("epp");
    QTest::newRow("client transfer prohibited")
        << u"client transfer prohibited"_s << u"clientTransferProhibited"_s;
    QTest::newRow("server hold") << u"server hold"_s << u"serverHold"_s;
    QTest::newRow("redemption period") << u"redemption period"_s << u"redemptionPeriod"_s;
    QTest::newRow("pending delete") << u"pending delete"_s << u"pendingDelete"_s;
    QTest::newRow("active is ok") << u"active"_s << u"ok"_s;
    QTest::newRow("inactive") << u"inactive"_s << u"inactive"_s;
    QTest::newRow("EPP code unchanged") << u"clientHold"_s << u"clientHold"_s;
    QTest::newRow("upper case words") << u"Client Delete Prohibited"_s << u"clientDeleteProhibited"_s;
    QTest::newRow("underscores") << u"client_update_prohibited"_s << u"clientUpdateProhibited"_s;
}

void TestServiceParsing::statuses()
{
    QFETCH(QString, rdap);
    QFETCH(QString, epp);
    QCOMPARE(EppStatus(rdap), epp);
}

void TestServiceParsing::dates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("date");
    QTest::newRow("UTC") << u"1995-08-14T04:00:00Z"_s << u"1995-08-14"_s;
    QTest::newRow("offset moves the day") << u"2027-08-30T23:30:00-02:00"_s << u"2027-08-31"_s;
    QTest::newRow("fraction") << u"2020-01-02T03:04:05.678Z"_s << u"2020-01-02"_s;
    QTest::newRow(".cn form") << u"2003-03-12 19:26:41"_s << u"2003-03-12"_s;
    QTest::newRow(".hk form") << u"15-09-1997"_s << u"1997-09-15"_s;
    QTest::newRow("date only") << u"2001-02-03"_s << u"2001-02-03"_s;
    QTest::newRow("month name") << u"03-Feb-2001"_s << u"2001-02-03"_s;
    QTest::newRow("day first with time") << u"26.03.2008 16:18:03"_s << u"2008-03-26"_s;
    QTest::newRow("day first, slashes") << u"30/10/2002"_s << u"2002-10-30"_s;
    QTest::newRow("day first, no padding") << u"4.7.2020 10:15:55"_s << u"2020-07-04"_s;
    QTest::newRow("spaced dots") << u"2007. 03. 02."_s << u"2007-03-02"_s;
    QTest::newRow("slashes, year first") << u"2005/05/30"_s << u"2005-05-30"_s;
    QTest::newRow("zone in words moves the day") << u"2019-01-01 03:00:00 (UTC+9)"_s << u"2018-12-31"_s;
    QTest::newRow("short offset") << u"2011-07-21 01:03:50+03"_s << u"2011-07-20"_s;
    QTest::newRow("spaced offset") << u"2010-07-04 01:34:46 +03:00"_s << u"2010-07-03"_s;
    QTest::newRow("unit in brackets") << u"2005-10-27 (YYYY-MM-DD)"_s << u"2005-10-27"_s;
    QTest::newRow("month name, year first") << u"2001-Aug-23."_s << u"2001-08-23"_s;
    QTest::newRow("ctime") << u"Tue Feb 10 09:42:42 2004"_s << u"2004-02-10"_s;
    QTest::newRow("weekday, ordinal") << u"Monday 16th Jun 2014"_s << u"2014-06-16"_s;
    QTest::newRow("comma after the month") << u"2nd April, 2001"_s << u"2001-04-02"_s;
    QTest::newRow("GMT+1 moves the day") << u"07-01-1998 00:00:00 GMT+1"_s << u"1998-01-06"_s;
    QTest::newRow("zone by name moves the day") << u"18 Apr 2003 00:00 EAT"_s << u"2003-04-17"_s;
    QTest::newRow("century left out") << u"16/09/03"_s << u"2003-09-16"_s;
    QTest::newRow("not a day") << u"31.02.2020"_s << QString();
    QTest::newRow("only a bound") << u"before 1 January 1996"_s << QString();
    QTest::newRow("garbage") << u"soon"_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestServiceParsing::dates()
{
    QFETCH(QString, text);
    QFETCH(QString, date);
    QCOMPARE(NormalizeDate(text), date);
    if (text == u"30/10/2002")
        QCOMPARE(NormalizeDate(u"12/18/2001"_s, true), u"2001-12-18"_s);
}

void TestServiceParsing::notices()
{
    for (const QString& notice :
         {u"REDACTED FOR PRIVACY"_s, u"Redacted | Registry Policy"_s, u"Not Disclosed"_s,
          u"Not Disclosed - Visit www.internet.ee for webbased WHOIS"_s, u"<data not disclosed>"_s,
          u"Hidden upon user request"_s, u"HIDDEN! Details are available at https://whois.cctld.by"_s,
          u"Please query the RDDS service of the Registrar of Record identified in this output"_s,
          u"Select Contact Domain Holder link at https://www.example.com/whois"_s,
          u"https://tieredaccess.com/contact/3d784e56"_s, u"Data Protected"_s, u"GDPR Masked"_s})
        QVERIFY2(UnlessRedacted(notice).isEmpty(), qPrintable(notice));
    for (const QString& data : {u"Redacted Ltd"_s, u"Hidden Valley Hosting"_s, u"MarkMonitor Inc."_s})
        QCOMPARE(UnlessRedacted(data), data);
}

void TestServiceParsing::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ace"); // empty: refused
    QTest::addColumn<QString>("tld");
    QTest::newRow("plain") << u"Example.COM"_s << u"example.com"_s << u"com"_s;
    QTest::newRow("trailing dot") << u"example.org."_s << u"example.org"_s << u"org"_s;
    QTest::newRow("internationalised") << u"中文.com"_s << u"xn--fiq228c.com"_s << u"com"_s;
    QTest::newRow("Chinese TLD") << u"例子.中国"_s << u"xn--fsqu00a.xn--fiqs8s"_s << u"xn--fiqs8s"_s;
    QTest::newRow("single label") << u"com"_s << QString() << QString();
    QTest::newRow("empty label") << u"a..com"_s << QString() << QString();
    QTest::newRow("leading hyphen") << u"-a.com"_s << QString() << QString();
    QTest::newRow("label of 64") << (QString(64, u'a') + u".com"_s) << QString() << QString();
    QTest::newRow("label of 63") << (QString(63, u'a') + u".com"_s) << (QString(63, u'a') + u".com"_s)
                                 << u"com"_s;
    QTest::newRow("too long") << (QString(60, u'a') + u"."_s).repeated(5) + u"com"_s << QString()
                              << QString();
    QTest::newRow("query characters") << u"a&b=c.com"_s << QString() << QString();
    QTest::newRow("space") << u"a b.com"_s << QString() << QString();
    QTest::newRow("numeric TLD") << u"10.0.0.1"_s << QString() << QString();
    QTest::newRow("http://") << u"http://a.com"_s << QString() << QString();
}

void TestServiceParsing::names()
{
    QFETCH(QString, name);
    QFETCH(QString, ace);
    QFETCH(QString, tld);
    const std::optional<DomainName> parsed = DomainName::parse(name);
    QCOMPARE(parsed.has_value(), !ace.isEmpty());
    if (parsed) {
        QCOMPARE(parsed->ace, ace);
        QCOMPARE(parsed->tld, tld);
    }
}

void TestServiceParsing::rdapRecords_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<bool>("hasContacts");
    QTest::addColumn<QString>("link");
    QTest::newRow("thick record: registrant contacts")
        << Fixture("rdap_thick.json")
        << u"Example Registrar, Inc.|holder@example.org|+86.1085000000|1995-08-31|2027-08-31|"
           u"whois.publicinterestregistry.org|a.iana-servers.net,b.iana-servers.net|"
           u"clientTransferProhibited,clientDeleteProhibited,ok"_s
        << true << QString();
    QTest::newRow("thin record: registrar link, no contacts")
        << Fixture("rdap_thin_com.json")
        << u"RESERVED-Internet Assigned Numbers Authority|||1995-08-14|2026-08-13|"
           u"whois.verisign-grs.com|a.iana-servers.net,b.iana-servers.net|"
           u"clientDeleteProhibited,clientTransferProhibited,clientUpdateProhibited"_s
        << false << u"REGISTRAR_LINK"_s;
    QTest::newRow("registrar record: redacted registrant, abuse contact is not the registrant's")
        << Fixture("rdap_registrar_com.json")
        << u"Registrar of Record LLC|abuse@ror.example|+1.3105551212|||||clientTransferProhibited"_s << false
        << QString();
    QTest::newRow("redacted record: no notice as data")
        << Fixture("rdap_redacted.json")
        << u"Redacted Registrar Ltd|||2020-01-02||||serverHold,redemptionPeriod"_s << false << QString();
    QTest::newRow("registrant nested under the registrar, tel: URI, registrar's WHOIS server")
        << QByteArrayLiteral(R"({"objectClassName":"domain","port43":"whois.registry.example",
              "entities":[{"roles":["registrar"],"port43":"whois.registrar.example",
                "vcardArray":["vcard",[["fn",{},"text","R"]]],
                "entities":[{"roles":["registrant"],"vcardArray":["vcard",[
                  ["email",{},"text","REDACTED FOR PRIVACY"],
                  ["tel",{},"uri","tel:+1.5555550100;ext=2"]]]}]}]})")
        << u"R||+1.5555550100|||whois.registrar.example||"_s << true << QString();
}

void TestServiceParsing::rdapRecords()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, fields);
    QFETCH(bool, hasContacts);
    QFETCH(QString, link);
    const std::optional<RdapDomain> parsed = ParseRdapDomain(body);
    QVERIFY(parsed);
    QCOMPARE(Fields(parsed->record), fields);
    QCOMPARE(parsed->hasContacts, hasContacts);
    QCOMPARE(parsed->registrarLink, link);
}

void TestServiceParsing::rdapRejectsOtherObjects()
{
    const QList<QByteArray> others{"<html>", "{}", "[1]", "{\"objectClassName\":\"entity\"}",
                                   "{\"errorCode\":404,\"title\":\"Not Found\"}"};
    for (const QByteArray& body : others)
        QVERIFY(!ParseRdapDomain(body));
    // Odd member types do no harm.
    const QByteArray odd = "{\"objectClassName\":\"domain\",\"entities\":7,\"events\":\"x\","
                           "\"status\":[1,{}],\"nameservers\":[null]}";
    QVERIFY(ParseRdapDomain(odd).has_value());
}

void TestServiceParsing::whoisAnswers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<bool>("notRegistered");
    QTest::addColumn<QString>("referral");
    QTest::newRow(".cn") << QString::fromUtf8(Fixture("whois_cn.txt"))
                         << u"阿里云计算有限公司（万网）|admin@example.cn||2003-03-12|2028-03-12||"
                            u"ns1.example.cn,ns2.example.cn|clientDeleteProhibited,clientTransferProhibited"_s
                         << false << QString();
    QTest::newRow(".hk")
        << QString::fromUtf8(Fixture("whois_hk.txt"))
        << u"Hong Kong Domain Name Registration Company Limited|holder@example.hk||1997-09-15|"
           u"2027-09-14||ns1.example.hk,ns2.example.net|ok"_s
        << false << QString();
    QTest::newRow("thin .com registry") << QString::fromUtf8(Fixture("whois_com_registry.txt"))
                                        << u"Example Registrar, Inc.|abuse@registrar.example|+1.5555550100|"
                                           u"1995-08-14|2026-08-13||a.iana-servers.net,b.iana-servers.net|"
                                           u"clientDeleteProhibited,clientTransferProhibited"_s
                                        << false << u"whois.registrar.example"_s;
    QTest::newRow("not registered") << QString::fromUtf8(Fixture("whois_not_found.txt")) << u"|||||||"_s
                                    << true << QString();
    QTest::newRow("values on the line below their key")
        << u"Domain:\n\texample.ac.uk\nServers:\n\tns1.example.ac.uk\t192.0.2.1\n\tns2.example.net\n"
           u"Renewal date:\n\tMonday 16th Jun 2014\nEntry created:\n\tFriday 7th November 2003\n"_s
        << u"|||2003-11-07|2014-06-16||ns1.example.ac.uk,ns2.example.net|"_s << false << QString();
    // A notice's "for excessive querying" is no limit; the answer says the name is free.
    QTest::newRow("not found beside a notice")
        << u"Domain not found.\n\nNOTICE: access may end, including "
           u"without limitation, for\nexcessive querying of the WHOIS database.\n"_s
        << u"|||||||"_s << true << QString();
    QTest::newRow("garbage") << u"\u0001\u0002binary\u0000"_s << u"|||||||"_s << false << QString();
}

void TestServiceParsing::whoisAnswers()
{
    QFETCH(QString, text);
    QFETCH(QString, fields);
    QFETCH(bool, notRegistered);
    QFETCH(QString, referral);
    const WhoisText parsed = ParseWhoisText(text);
    QCOMPARE(Fields(parsed.record), fields);
    QCOMPARE(parsed.notRegistered, notRegistered);
    QCOMPARE(parsed.referral, referral);
    QCOMPARE(ParseWhoisText(QString::fromUtf8(Fixture("whois_iana_tld.txt"))).ianaRefer,
             u"whois.nic.example-tld"_s);
}

void TestServiceParsing::whoisDecoding()
{
    const QString text = u"Sponsoring Registrar: 阿里云"_s;
    QCOMPARE(DecodeWhoisAnswer(text.toUtf8(), "GBK"), text);
    QCOMPARE(DecodeWhoisAnswer(QStringEncoder("GBK").encode(text), "GBK"), text);
    QCOMPARE(DecodeWhoisAnswer("caf\xE9", {}), u"café"_s);
}

QTEST_APPLESS_MAIN(TestServiceParsing)
#include "tst_service_parsing.moc"
