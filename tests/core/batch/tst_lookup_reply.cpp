#include "core/batch/lookup_reply.h"
#include "core/digest/md5_hex.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QString Describe(const LookupOutcome& outcome)
{
    if (const auto* row = std::get_if<ResultRow>(&outcome)) {
        QStringList fields(row->fields.begin(), row->fields.end());
        return u"row: "_s + fields.join(u'|');
    }
    if (const auto* refused = std::get_if<LookupRefused>(&outcome))
        return u"refused: "_s + refused->message;
    return u"unreadable"_s;
}

const QString kWeb = uR"("domain":"a.com","personal":"R","email":"e","phone":"p","creat_time":"c",)"
                     uR"("delete_time":"d","domain_service":"s","dns":"n","do_status":"t")"_s;

} // namespace

class TestLookupReply final : public QObject {
    Q_OBJECT
private slots:
    void mapping_data();
    void mapping();
    void requestUrl_data();
    void requestUrl();
    void progressText();
    void detailText();
};

void TestLookupReply::mapping_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("row in column order") << (uR"({"result":1,"info":{"web":{)"_s + kWeb + u"}}}"_s)
                                         << u"row: a.com|R|e|p|c|d|s|n|t"_s;
    QTest::newRow("any result but 0 is success")
        << (uR"({"result":"ok","info":{"web":{)"_s + kWeb + u"}}}"_s) << u"row: a.com|R|e|p|c|d|s|n|t"_s;
    QTest::newRow("members in any order, numbers as text")
        << uR"({"info":{"web":{"do_status":"t","dns":"n","domain_service":"s","delete_time":"d","creat_time":20010203,"phone":null,"email":"","personal":"R","domain":"a.com"}},"result":1})"_s
        << u"row: a.com|R|||20010203|d|s|n|t"_s;
    QTest::newRow("refusal, number 0") << uR"({"result":0,"message":"未注册"})"_s << u"refused: 未注册"_s;
    QTest::newRow("refusal, text 0") << uR"({"result":"0","message":"x"})"_s << u"refused: x"_s;
    QTest::newRow("HTML") << u"<html>oops</html>"_s << u"unreadable"_s;
    QTest::newRow("no result") << (uR"({"info":{"web":{)"_s + kWeb + u"}}}"_s) << u"unreadable"_s;
    QTest::newRow("no info") << uR"({"result":1})"_s << u"unreadable"_s;
    QTest::newRow("no web") << uR"({"result":1,"info":{}})"_s << u"unreadable"_s;
    QTest::newRow("a member missing")
        << (uR"({"result":1,"info":{"web":{)"_s + QString(kWeb).remove(uR"("dns":"n",)"_s) + u"}}}"_s)
        << u"unreadable"_s;
    QTest::newRow("refusal without message") << uR"({"result":0})"_s << u"unreadable"_s;
}

void TestLookupReply::mapping()
{
    QFETCH(QString, reply);
    QFETCH(QString, outcome);
    QCOMPARE(Describe(MapLookupReply(reply)), outcome);
}

void TestLookupReply::requestUrl_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("query");
    QTest::newRow("ordinary name as it is") << u"example.com"_s << u"example.com"_s;
    QTest::newRow("unreserved stay") << u"a-b_c~d.com"_s << u"a-b_c~d.com"_s;
    QTest::newRow("Chinese as UTF-8") << u"中文.com"_s << u"%E4%B8%AD%E6%96%87.com"_s;
    QTest::newRow("ampersand") << u"a&b.com"_s << u"a%26b.com"_s;
    QTest::newRow("cannot change the request") << u"a&token=x#y+z% q.com"_s
                                               << u"a%26token%3Dx%23y%2Bz%25%20q.com"_s;
}

void TestLookupReply::requestUrl()
{
    QFETCH(QString, name);
    QFETCH(QString, query);
    // The token is signed over the name as stored, not as encoded.
    QCOMPARE(LookupUrl(u"https://h:1"_s, name),
             u"https://h:1/index.php/Index/web_whois?url="_s + query + u"&token="_s +
                 Md5Hex(name + u"tamlo"_s, 32));
}

void TestLookupReply::progressText()
{
    QCOMPARE(LookupDoneText(u"example.org"_s, 10, 3), u"example.org查询完毕 | 共：10个域名 | 剩余查询：6个"_s);
    QCOMPARE(LookupDoneText(u"z.com"_s, 40000, 39999), u"z.com查询完毕 | 共：40000个域名 | 剩余查询：0个"_s);
    QCOMPARE(LookupFailedText(u"a.com"_s), u"a.com查询失败,返回数据无法识别.."_s);
}

void TestLookupReply::detailText()
{
    const ResultRow row{{u"example.org"_s, u"R"_s, u"e"_s, u"p"_s, u"c"_s, u"d"_s, u"s"_s, QString(), u"t"_s}};
    const QString text = DetailText(row);
    QCOMPARE(text, u"域名：example.org\r\n注册商：R\r\nE-mail：e\r\n联系电话：p\r\n注册时间：c\r\n"
                   u"过期时间：d\r\n服务器：s\r\nDNS：\r\n域名状态：t"_s);
    QCOMPARE(DetailText(ResultRow{}).count(u"\r\n"_s), 8);
}

QTEST_APPLESS_MAIN(TestLookupReply)
#include "tst_lookup_reply.moc"
