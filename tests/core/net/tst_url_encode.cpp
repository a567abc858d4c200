#include "core/net/url_encode.h"
#include "core/app/version_text.h"
#include "core/protocol/wire_protocol.h"

#include <QTest>

class TestUrlEncode final : public QObject {
    Q_OBJECT
private slots:
    void encode_data();
    void encode();
    void versionText();
};

void TestUrlEncode::encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("form body unchanged") << wire::VersionForm() << wire::VersionForm();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("single-byte specials untouched")
        << QStringLiteral("a b&c=d%e+f?g/h#i") << QStringLiteral("a b&c=d%e+f?g/h#i");
    QTest::newRow("double-byte as bytes") << QStringLiteral("中文") << QStringLiteral("%D6%D0%CE%C4");
    QTest::newRow("mixed") << QStringLiteral("q=中x") << QStringLiteral("q=%D6%D0x");
    QTest::newRow("e acute is double-byte in GBK") << QStringLiteral("\u00E9") << QStringLiteral("%A8%A6");
    QTest::newRow("euro is single-byte 80: unchanged")
        << QStringLiteral("\u20AC") << QStringLiteral("\u20AC");
    QTest::newRow("not in the code page: unchanged")
        << QStringLiteral("\u00DF\u00FF") << QStringLiteral("\u00DF\u00FF");
    QTest::newRow("full-width colon") << QStringLiteral("：") << QStringLiteral("%A3%BA");
}

void TestUrlEncode::encode()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(UrlEncode(text), expected);
}

void TestUrlEncode::versionText()
{
    QCOMPARE(VersionText(), QStringLiteral("V1.0.0"));
    QCOMPARE(VersionText(2, 10, 3), QStringLiteral("V2.10.3"));
}

QTEST_APPLESS_MAIN(TestUrlEncode)
#include "tst_url_encode.moc"
