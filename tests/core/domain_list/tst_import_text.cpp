#include "core/domain_list/import_text.h"
#include "core/domain_list/name_rules.h"

#include <QStringEncoder>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestImportText final : public QObject {
    Q_OBJECT
private slots:
    void cleaning_data();
    void cleaning();
    void lineEnds_data();
    void lineEnds();
    void decoding_data();
    void decoding();
    void addedNameRules_data();
    void addedNameRules();
    void plausibleNames_data();
    void plausibleNames();
};

void TestImportText::cleaning_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("http:// then www.") << QStringList{u"http://www.a.com"_s} << QStringList{u"a.com"_s};
    QTest::newRow("www. then http://") << QStringList{u"www.http://a.com"_s} << QStringList{u"a.com"_s};
    QTest::newRow("https:// stays") << QStringList{u"https://www.a.com"_s}
                                    << QStringList{u"https://www.a.com"_s};
    QTest::newRow("upper case stays") << QStringList{u"HTTP://WWW.a.com"_s, u"WWW.b.com"_s}
                                      << QStringList{u"HTTP://WWW.a.com"_s, u"WWW.b.com"_s};
    QTest::newRow("every http:// goes")
        << QStringList{u"a.comhttp://x/http://"_s} << QStringList{u"a.comx/"_s};
    QTest::newRow("one www. only") << QStringList{u"www.www.a.com"_s} << QStringList{u"www.a.com"_s};
    QTest::newRow("leading space keeps www.") << QStringList{u" www.a.com"_s} << QStringList{u" www.a.com"_s};
    QTest::newRow("lines that become empty stay")
        << QStringList{u"http://"_s, u"www."_s, u"a.com"_s} << QStringList{u""_s, u""_s, u"a.com"_s};
    QTest::newRow("blank lines go, order kept")
        << QStringList{u""_s, u"b.com"_s, u""_s, u""_s, u"a.com"_s, u""_s}
        << QStringList{u"b.com"_s, u"a.com"_s};
    QTest::newRow("spaces are not blank") << QStringList{u"  "_s, u"\t"_s} << QStringList{u"  "_s, u"\t"_s};
    QTest::newRow("nothing") << QStringList{u""_s, u""_s} << QStringList{};
}

void TestImportText::cleaning()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, names);
    QCOMPARE(CleanImportedLines(lines), names);
}

void TestImportText::lineEnds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << u"a\r\nb\r\n"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("lone CR") << u"a\rb\r"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("lone LF") << u"a\nb\n"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("mixed, last without end")
        << u"a\r\n\rb\nc"_s << QStringList{u"a"_s, u""_s, u"b"_s, u"c"_s};
    QTest::newRow("LF CR is two ends") << u"a\n\rb"_s << QStringList{u"a"_s, u""_s, u"b"_s};
    QTest::newRow("empty file") << QString() << QStringList{};
    QTest::newRow("one end only") << u"\r\n"_s << QStringList{u""_s};
    QTest::newRow("no trimming") << u" a \t\r\n"_s << QStringList{u" a \t"_s};
}

void TestImportText::lineEnds()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(SplitLines(text), lines);
}

void TestImportText::decoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString chinese = u"中文.com\r\n例子.cn"_s;
    QTest::newRow("code page 936") << QByteArray(QStringEncoder("GBK").encode(chinese)) << chinese;
    QTest::newRow("UTF-8") << chinese.toUtf8() << chinese;
    QTest::newRow("UTF-8 with byte-order mark") << ("\xEF\xBB\xBF" + chinese.toUtf8()) << chinese;
    QTest::newRow("ASCII") << QByteArray("a.com\nb.com") << u"a.com\nb.com"_s;
    QTest::newRow("euro in code page 936 is byte 80") << QByteArray("\x80.com") << u"\u20AC.com"_s;
}

void TestImportText::decoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DecodeImportFile(bytes), text);
}

void TestImportText::addedNameRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("problem"); // empty: accepted
    const QString empty = u"请输入域名.."_s;
    const QString fragment = u"域名不正确,您请检查.."_s;
    const QString scheme = u"域名不需要加http://.."_s;
    const QString www = u"域名不需要加www.."_s;
    QTest::newRow("empty") << QString() << empty;
    QTest::newRow("one space passes rule 1") << u" "_s << fragment;
    QTest::newRow("unknown ending") << u"example.xyz"_s << fragment;
    QTest::newRow("upper-case COM") << u"EXAMPLE.COM"_s << fragment;
    QTest::newRow("http:// without a fragment gets rule 2") << u"http://example.xyz"_s << fragment;
    QTest::newRow("http:// with an ending") << u"http://example.com"_s << scheme;
    QTest::newRow("www. with an ending") << u"www.example.com"_s << www;
    QTest::newRow("WWW. accepted") << u"WWW.example.com"_s << QString();
    QTest::newRow("https:// accepted") << u"https://example.com"_s << QString();
    QTest::newRow("loose: me inside a word") << u"home.example"_s << QString();
    QTest::newRow("spaces kept") << u" a.net "_s << QString();
}

void TestImportText::addedNameRules()
{
    QFETCH(QString, text);
    QFETCH(QString, problem);
    QCOMPARE(AddedNameProblem(text).value_or(QString()), problem);
}

void TestImportText::plausibleNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plausible");
    for (const QString& fragment :
         {u"com"_s, u"cn"_s, u"org"_s, u"info"_s, u"hk"_s, u"me"_s, u"net"_s, u"cc"_s})
        QTest::newRow(qPrintable(fragment)) << (u"x."_s + fragment) << true;
    QTest::newRow("EXAMPLE.COM") << u"EXAMPLE.COM"_s << false;
    QTest::newRow("mycompany.example") << u"mycompany.example"_s << true;
    QTest::newRow("example.xyz") << u"example.xyz"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestImportText::plausibleNames()
{
    QFETCH(QString, name);
    QFETCH(bool, plausible);
    QCOMPARE(IsPlausibleName(name), plausible);
}

QTEST_APPLESS_MAIN(TestImportText)
#include "tst_import_text.moc"
