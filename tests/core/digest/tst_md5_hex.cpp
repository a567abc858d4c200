#include "core/digest/md5_hex.h"

#include <QCryptographicHash>
#include <QTest>

class TestMd5Hex final : public QObject {
    Q_OBJECT
private slots:
    void digest_data();
    void digest();
    void bytesFollowCodePage936_data();
    void bytesFollowCodePage936();
    void blockBoundary();
};

void TestMd5Hex::digest_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("expected");
    QTest::newRow("abc, full") << QStringLiteral("abc") << 32
                               << QStringLiteral("900150983CD24FB0D6963F7D28E17F72");
    QTest::newRow("abc, 16") << QStringLiteral("abc") << 16 << QStringLiteral("3CD24FB0D6963F7D");
    QTest::newRow("abc, 0 gives the middle")
        << QStringLiteral("abc") << 0 << QStringLiteral("3CD24FB0D6963F7D");
    QTest::newRow("abc, 64 gives the middle")
        << QStringLiteral("abc") << 64 << QStringLiteral("3CD24FB0D6963F7D");
    QTest::newRow("empty") << QString() << 32 << QStringLiteral("D41D8CD98F00B204E9800998ECF8427E");
    QTest::newRow("Chinese as GBK bytes")
        << QStringLiteral("中文") << 32 << QStringLiteral("BCCE109775E8E1972E9F5FCDA3E12895");
}

void TestMd5Hex::digest()
{
    QFETCH(QString, text);
    QFETCH(int, length);
    QFETCH(QString, expected);
    const QString actual = Md5Hex(text, length);
    QCOMPARE(actual, expected);
    QCOMPARE(actual, actual.toUpper());
}

void TestMd5Hex::bytesFollowCodePage936_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ASCII") << QStringLiteral("a.Z") << QByteArray("a.Z");
    QTest::newRow("Chinese") << QStringLiteral("中文") << QByteArray::fromHex("D6D0CEC4");
    QTest::newRow("e acute is in GBK") << QStringLiteral("\u00E9") << QByteArray::fromHex("A8A6");
    QTest::newRow("sharp s is not") << QStringLiteral("\u00DF") << QByteArray::fromHex("DF");
    QTest::newRow("euro: low byte, not 80") << QStringLiteral("\u20AC") << QByteArray::fromHex("AC");
    QTest::newRow("beyond U+FFFF: both halves' low bytes")
        << QString::fromUcs4(U"\U0001F600") << QByteArray::fromHex("3D00");
    QTest::newRow("lone high surrogate before Chinese")
        << (QString(QChar(0xD83D)) + QStringLiteral("中")) << QByteArray::fromHex("3DD6D0");
}

void TestMd5Hex::bytesFollowCodePage936()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Md5Bytes(text).toHex(), bytes.toHex());
    QCOMPARE(Md5Hex(text, 32),
             QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper()));
}

void TestMd5Hex::blockBoundary()
{
    // 55 bytes still fit one block with the padding; 56 need a second one.
    const QString text55(55, u'a');
    const QString text56(56, u'a');
    QCOMPARE(Md5Hex(text55, 32), QStringLiteral("EF1772B6DFF9A122358552954AD0DF65"));
    QCOMPARE(Md5Hex(text56, 32), QStringLiteral("3B0C8AC703F828B04C6C197006D17218"));
    // 28 Chinese characters are 56 bytes.
    const QString chinese(28, QChar(0x4E2D));
    QCOMPARE(Md5Bytes(chinese).size(), 56);
    QCOMPARE(Md5Hex(chinese, 32),
             QString::fromLatin1(
                 QCryptographicHash::hash(QByteArray::fromHex("D6D0").repeated(28), QCryptographicHash::Md5)
                     .toHex()
                     .toUpper()));
}

QTEST_APPLESS_MAIN(TestMd5Hex)
#include "tst_md5_hex.moc"
