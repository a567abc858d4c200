// The one place where the wire forms are written out: everything else takes them from
// the protocol module, so a change there shows up here first.
#include "core/protocol/wire_protocol.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestProtocol final : public QObject {
    Q_OBJECT
private slots:
    void lookupTarget_data();
    void lookupTarget();
    void readLookupTarget_data();
    void readLookupTarget();
    void versionForm_data();
    void versionForm();
    void replies_data();
    void replies();
    void texts();
};

void TestProtocol::lookupTarget_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("target");
    // Tokens: MD5 of the name and "tamlo" (double-byte characters in code page 936),
    // 32 upper-case digits.
    QTest::newRow("ordinary name as it is")
        << u"example.com"_s
        << u"/index.php/Index/web_whois?url=example.com&token=08EC329FFD1F86AB1ACF26DDB06FB1F6"_s;
    QTest::newRow("unreserved stay")
        << u"a-b_c~d.com"_s
        << u"/index.php/Index/web_whois?url=a-b_c~d.com&token=441736705DF8A4E08F0AB4931E627CFF"_s;
    QTest::newRow("Chinese as UTF-8, signed as given")
        << u"中文.com"_s
        << u"/index.php/Index/web_whois?url=%E4%B8%AD%E6%96%87.com&token=9FFB633AEA110D2E2EA9FEC0BC97F244"_s;
    QTest::newRow("cannot change the request")
        << u"a&token=x#y+z% q.com"_s
        << u"/index.php/Index/web_whois?url=a%26token%3Dx%23y%2Bz%25%20q.com&token=91A4C5F77FCDF0BDF5343B71319F97A6"_s;
}

void TestProtocol::lookupTarget()
{
    QFETCH(QString, name);
    QFETCH(QString, target);
    QCOMPARE(wire::LookupTarget(name), target);
}

void TestProtocol::readLookupTarget_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isSigned");
    QTest::newRow("as the program signs it")
        << QByteArray("/index.php/Index/web_whois?url=example.com&token=08EC329FFD1F86AB1ACF26DDB06FB1F6")
        << u"example.com"_s << true;
    QTest::newRow("decoded before checking")
        << wire::LookupTarget(u"中文.com"_s).toLatin1() << u"中文.com"_s << true;
    QTest::newRow("lower-case token")
        << QByteArray("/x?url=example.com&token=08ec329ffd1f86ab1acf26ddb06fb1f6") << u"example.com"_s
        << false;
    QTest::newRow("16-digit token") << QByteArray("/x?url=example.com&token=FD1F86AB1ACF26DD")
                                    << u"example.com"_s << false;
    QTest::newRow("no token, no name") << QByteArray("/index.php/Index/web_whois") << QString() << false;
    QTest::newRow("empty name signed") << wire::LookupTarget(QString()).toLatin1() << QString() << true;
}

void TestProtocol::readLookupTarget()
{
    QFETCH(QByteArray, target);
    QFETCH(QString, name);
    QFETCH(bool, isSigned);
    const wire::LookupQuery query = wire::ReadLookupTarget(target);
    QCOMPARE(query.name, name);
    QCOMPARE(query.isSigned(), isSigned);
}

void TestProtocol::versionForm_data()
{
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<bool>("namesProduct");
    QTest::newRow("the program's") << wire::VersionForm().toUtf8() << true;
    QTest::newRow("among other items") << QByteArray("a=1&sn=whois") << true;
    QTest::newRow("another product") << QByteArray("sn=other") << false;
    QTest::newRow("another item") << QByteArray("x=whois") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestProtocol::versionForm()
{
    QFETCH(QByteArray, form);
    QFETCH(bool, namesProduct);
    QCOMPARE(wire::VersionForm(), u"sn=whois"_s);
    QCOMPARE(QByteArray(wire::kVersionPath), QByteArray("/index.php/Index/soft_version"));
    QCOMPARE(wire::FormNamesProduct(form), namesProduct);
}

void TestProtocol::replies_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("refusal of an unsigned lookup")
        << wire::Refusal(wire::kBadToken.toString())
        << QByteArray(R"({"message":"请求校验失败..","result":0})");
    QTest::newRow("row, members sorted")
        << wire::RowAnswer({u"a.com"_s, u"R"_s, u"e"_s, u"p"_s, u"c"_s, u"d"_s, u"s"_s, u"n"_s, u"t"_s})
        << QByteArray(R"({"info":{"web":{"creat_time":"c","delete_time":"d","dns":"n","do_status":"t",)"
                      R"("domain":"a.com","domain_service":"s","email":"e","personal":"R","phone":"p"}},)"
                      R"("message":"","result":1})");
    QTest::newRow("version")
        << wire::VersionAnswer(u"1.2.0"_s, u"88"_s, u"0"_s)
        << QByteArray(R"({"info":{"must":"0","sid":"88","version":"1.2.0"},"message":"","result":1})");
}

void TestProtocol::replies()
{
    QFETCH(QJsonObject, reply);
    QFETCH(QByteArray, body);
    QCOMPARE(wire::ReplyBody(reply), body);
}

void TestProtocol::texts()
{
    // The program reads the row's members in its column order.
    QStringList members;
    for (const QStringView member : wire::kRowMembers)
        members.append(member.toString());
    QCOMPARE(members.join(u','),
             u"domain,personal,email,phone,creat_time,delete_time,domain_service,dns,do_status"_s);
    QCOMPARE(wire::kRefusedResult.toString(), u"0"_s);
    QCOMPARE(wire::kOptionalUpdate.toString(), u"0"_s);
    QCOMPARE(wire::kCheckedVersion.toString(), u"1.0.0"_s);
    QCOMPARE(wire::kUnknownProduct.toString(), u"未知的软件.."_s);
    QCOMPARE(wire::kNotRegistered.toString(), u"未注册"_s);
    QCOMPARE(wire::kInvalidName.toString(), u"域名格式不正确或暂不支持该后缀"_s);
    QCOMPARE(wire::kRateLimited.toString(), u"查询过于频繁,请稍后重试"_s);
    QCOMPARE(wire::UpstreamFailedText(wire::kTimedOut), u"查询失败:超时"_s);
    QCOMPARE(wire::UpstreamFailedText(wire::kCannotConnect), u"查询失败:无法连接"_s);
    QCOMPARE(wire::UpstreamFailedText(wire::kRegistryRefused), u"查询失败:注册局拒绝"_s);
    QCOMPARE(wire::UpstreamFailedText(wire::kUnreadableAnswer), u"查询失败:应答无法识别"_s);
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
