#include "core/batch/lookup_reply.h"
#include "core/protocol/wire_protocol.h"
#include "support/json_members.h"

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

using RowValues = std::array<QJsonValue, wire::kRowMembers.size()>;
const RowValues kRow{u"a.com"_s, u"R"_s, u"e"_s, u"p"_s, u"c"_s, u"d"_s, u"s"_s, u"n"_s, u"t"_s};

QString Text(const QJsonObject& reply)
{
    return QString::fromUtf8(wire::ReplyBody(reply));
}

// A row reply with these values under the row's members, in any order.
QString RowReply(const QJsonValue& result, const RowValues& values)
{
    QJsonObject web;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i].isUndefined())
            web.insert(wire::kRowMembers[i], values[i]);
    }
    return Text(JsonObject({{wire::kResult, result}, {wire::kInfo, JsonObject({{wire::kWeb, web}})}}));
}

RowValues Without(RowValues values, std::size_t column)
{
    values[column] = QJsonValue::Undefined;
    return values;
}

} // namespace

class TestLookupReply final : public QObject {
    Q_OBJECT
private slots:
    void mapping_data();
    void mapping();
    void requestUrl();
    void progressText();
    void detailText();
};

void TestLookupReply::mapping_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("row in column order") << RowReply(1, kRow) << u"row: a.com|R|e|p|c|d|s|n|t"_s;
    QTest::newRow("any result but 0 is success")
        << RowReply(u"ok"_s, kRow) << u"row: a.com|R|e|p|c|d|s|n|t"_s;
    QTest::newRow("numbers and null as text") << RowReply(1, {u"a.com"_s, u"R"_s, u""_s, QJsonValue::Null,
                                                              20010203, u"d"_s, u"s"_s, u"n"_s, u"t"_s})
                                              << u"row: a.com|R|||20010203|d|s|n|t"_s;
    QTest::newRow("refusal, number 0") << Text(wire::Refusal(u"停用"_s)) << u"refused: 停用"_s;
    QTest::newRow("refusal, text 0") << Text(JsonObject({{wire::kResult, u"0"_s}, {wire::kMessage, u"x"_s}}))
                                     << u"refused: x"_s;
    QTest::newRow("HTML") << u"<html>oops</html>"_s << u"unreadable"_s;
    QTest::newRow("no result") << RowReply(QJsonValue::Undefined, kRow) << u"unreadable"_s;
    QTest::newRow("no info") << Text(JsonObject({{wire::kResult, 1}})) << u"unreadable"_s;
    QTest::newRow("no web") << Text(JsonObject({{wire::kResult, 1}, {wire::kInfo, QJsonObject()}}))
                            << u"unreadable"_s;
    QTest::newRow("a member missing") << RowReply(1, Without(kRow, 7)) << u"unreadable"_s;
    QTest::newRow("refusal without message") << Text(JsonObject({{wire::kResult, 0}})) << u"unreadable"_s;
}

void TestLookupReply::mapping()
{
    QFETCH(QString, reply);
    QFETCH(QString, outcome);
    QCOMPARE(Describe(MapLookupReply(reply)), outcome);
}

void TestLookupReply::requestUrl()
{
    QCOMPARE(LookupUrl(u"https://h:1"_s, u"中文.com"_s),
             u"https://h:1"_s + wire::LookupTarget(u"中文.com"_s));
}

void TestLookupReply::progressText()
{
    QCOMPARE(LookupDoneText(u"example.org"_s, 10, 3),
             u"example.org查询完毕 | 共：10个域名 | 剩余查询：6个"_s);
    QCOMPARE(LookupDoneText(u"z.com"_s, 40000, 39999), u"z.com查询完毕 | 共：40000个域名 | 剩余查询：0个"_s);
    QCOMPARE(LookupFailedText(u"a.com"_s), u"a.com查询失败,返回数据无法识别.."_s);
}

void TestLookupReply::detailText()
{
    const ResultRow row{
        {u"example.org"_s, u"R"_s, u"e"_s, u"p"_s, u"c"_s, u"d"_s, u"s"_s, QString(), u"t"_s}};
    const QString text = DetailText(row);
    QCOMPARE(text, u"域名：example.org\r\n注册商：R\r\nE-mail：e\r\n联系电话：p\r\n注册时间：c\r\n"
                   u"过期时间：d\r\n服务器：s\r\nDNS：\r\n域名状态：t"_s);
    QCOMPARE(DetailText(ResultRow{}).count(u"\r\n"_s), 8);
}

QTEST_APPLESS_MAIN(TestLookupReply)
#include "tst_lookup_reply.moc"
