#include "core/net/reply_object.h"

#include <QTest>

using Chain = QList<QString>;

namespace {

std::optional<QString> Read(const ResponseObject& object, const Chain& chain)
{
    switch (chain.size()) {
    case 1: return object.text({chain[0]});
    case 2: return object.text({chain[0], chain[1]});
    case 3: return object.text({chain[0], chain[1], chain[2]});
    default: return std::nullopt;
    }
}

} // namespace

class TestReplyObject final : public QObject {
    Q_OBJECT
private slots:
    void leaves_data();
    void leaves();
    void notAnObject_data();
    void notAnObject();
};

void TestReplyObject::leaves_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<Chain>("chain");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("text");

    const QString refusal = QStringLiteral(R"({"result":0,"message":"x"})");
    QTest::newRow("number 0 reads as \"0\"")
        << refusal << Chain{QStringLiteral("result")} << true << QStringLiteral("0");
    QTest::newRow("string member") << refusal << Chain{QStringLiteral("message")} << true
                                   << QStringLiteral("x");
    const QString update = QStringLiteral(R"({"result":1,"info":{"version":"1.0.1","sid":12}})");
    QTest::newRow("nested string") << update << Chain{QStringLiteral("info"), QStringLiteral("version")}
                                   << true << QStringLiteral("1.0.1");
    QTest::newRow("nested whole number")
        << update << Chain{QStringLiteral("info"), QStringLiteral("sid")} << true << QStringLiteral("12");
    QTest::newRow("object where a leaf is wanted")
        << update << Chain{QStringLiteral("info")} << false << QString();
    QTest::newRow("missing member") << update << Chain{QStringLiteral("message")} << false << QString();
    QTest::newRow("missing on the way")
        << update << Chain{QStringLiteral("info"), QStringLiteral("web"), QStringLiteral("domain")} << false
        << QString();
    QTest::newRow("leaf on the way") << update << Chain{QStringLiteral("result"), QStringLiteral("x")}
                                     << false << QString();
    QTest::newRow("names are case-sensitive")
        << update << Chain{QStringLiteral("Result")} << false << QString();

    auto leaf = [](const char* json) { return QStringLiteral("{\"v\":") + QString::fromUtf8(json) + u'}'; };
    const Chain v{QStringLiteral("v")};
    QTest::newRow("fraction") << leaf("1.5") << v << true << QStringLiteral("1.5");
    QTest::newRow("shortest round trip") << leaf("0.1") << v << true << QStringLiteral("0.1");
    QTest::newRow("whole number written as 12.0") << leaf("12.0") << v << true << QStringLiteral("12");
    QTest::newRow("negative zero") << leaf("-0") << v << true << QStringLiteral("0");
    QTest::newRow("large whole number in plain decimal")
        << leaf("1e15") << v << true << QStringLiteral("1000000000000000");
    QTest::newRow("64-bit whole number keeps its digits")
        << leaf("9007199254740993") << v << true << QStringLiteral("9007199254740993");
    QTest::newRow("negative") << leaf("-7") << v << true << QStringLiteral("-7");
    QTest::newRow("true") << leaf("true") << v << true << QStringLiteral("true");
    QTest::newRow("false") << leaf("false") << v << true << QStringLiteral("false");
    QTest::newRow("null is present and empty") << leaf("null") << v << true << QString();
    QTest::newRow("array joined by commas")
        << leaf(R"(["a",1,true,null])") << v << true << QStringLiteral("a,1,true,");
    QTest::newRow("unicode string") << leaf(R"("\u4e2d文")") << v << true << QStringLiteral("中文");
    QTest::newRow("byte-order mark and white space")
        << (QChar(0xFEFF) + QStringLiteral(" \r\n {\"v\":\"ok\"} \n")) << v << true << QStringLiteral("ok");
}

void TestReplyObject::leaves()
{
    QFETCH(QString, reply);
    QFETCH(Chain, chain);
    QFETCH(bool, present);
    QFETCH(QString, text);
    const ResponseObject object = ParseReplyObject(reply);
    QVERIFY(object.isObject());
    const std::optional<QString> value = Read(object, chain);
    QCOMPARE(value.has_value(), present);
    if (present)
        QCOMPARE(*value, text);
}

void TestReplyObject::notAnObject_data()
{
    QTest::addColumn<QString>("reply");
    QTest::newRow("HTML page") << QStringLiteral("<html><body>404</body></html>");
    QTest::newRow("array") << QStringLiteral("[1,2]");
    QTest::newRow("bare number") << QStringLiteral("0");
    QTest::newRow("script, never run") << QStringLiteral("(function(){return {result:1}})()");
    QTest::newRow("loose notation") << QStringLiteral("{result:1}");
    QTest::newRow("truncated") << QStringLiteral(R"({"result":1,"info":{)");
    QTest::newRow("trailing garbage") << QStringLiteral(R"({"result":1} x)");
    QTest::newRow("empty") << QString();
}

void TestReplyObject::notAnObject()
{
    QFETCH(QString, reply);
    const ResponseObject object = ParseReplyObject(reply);
    QVERIFY(!object.isObject());
    QVERIFY(!object.text({u"result"}).has_value());
}

QTEST_APPLESS_MAIN(TestReplyObject)
#include "tst_reply_object.moc"
