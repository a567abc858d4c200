#include "core/protocol/wire_protocol.h"
#include "support/batch_fixture.h"
#include "support/json_members.h"

#include <QLabel>
#include <QLineEdit>

using namespace Qt::Literals::StringLiterals;

// A batch's course through the window: start, ticks, skips, stop, refusal, what a
// lookup sends and what its reply leaves behind.
class TestBatch final : public QObject {
    Q_OBJECT
private slots:
    void threeNamesRowByRow();
    void oneName();
    void skips_data();
    void skips();
    void stopAndRestart();
    void emptyListIsRefused();
    void repliesWithoutARow_data();
    void repliesWithoutARow();
    void requestOnTheWire();
    void detailBox();
    void sliderSetsTheInterval();
};

void TestBatch::threeNamesRowByRow()
{
    Batch batch({u"a.com"_s, u"b.net"_s, u"c.org"_s});
    batch.fixture.table().appendRow(ResultRow{{u"old"_s}});
    batch.start();
    batch.verifyRunning();
    QCOMPARE(batch.fixture.timer("Timer1").interval(), 3000);
    QCOMPARE(Domains(batch.fixture.table()), QStringList{u"a.com"_s});
    QCOMPARE(batch.fixture.status().message(), u"a.com查询完毕 | 共：3个域名 | 剩余查询：2个"_s);
    QCOMPARE(batch.fixture.table().row(0).fields[1], u"R-a.com"_s);

    batch.tick();
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"b.net"_s}));
    QCOMPARE(batch.fixture.status().message(), u"b.net查询完毕 | 共：3个域名 | 剩余查询：1个"_s);
    batch.verifyRunning();

    batch.tick();
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"b.net"_s, u"c.org"_s}));
    QCOMPARE(batch.fixture.status().message(), kAllDone);
    batch.verifyIdle();
    QCOMPARE(batch.fixture.lookedUp(), (QStringList{u"a.com"_s, u"b.net"_s, u"c.org"_s}));
    QCOMPARE(batch.restartForOneTick(), (QStringList{u"a.com"_s, u"b.net"_s}));
}

void TestBatch::oneName()
{
    Batch batch({u"solo.cn"_s});
    batch.start();
    QCOMPARE(batch.fixture.status().message(), u"solo.cn查询完毕 | 共：1个域名 | 剩余查询：0个"_s);
    batch.verifyRunning();
    batch.tick();
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().message(), kAllDone);
    QCOMPARE(batch.fixture.lookedUp(), QStringList{u"solo.cn"_s});
    QCOMPARE(batch.restartForOneTick(), QStringList{u"solo.cn"_s});
}

void TestBatch::skips_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("endedByStart");
    QTest::newRow("in the middle, within one tick") << QStringList{u"a.com"_s, u"EXAMPLE.COM"_s, u"c.org"_s}
                                                    << 1 << QStringList{u"a.com"_s, u"c.org"_s} << false;
    QTest::newRow("at the start") << QStringList{u"x.xyz"_s, u"b.com"_s, u"c.com"_s} << 1
                                  << QStringList{u"b.com"_s, u"c.com"_s} << false;
    QTest::newRow("on the last name") << QStringList{u"a.com"_s, u"b.com"_s, u"z.xyz"_s} << 2
                                      << QStringList{u"a.com"_s, u"b.com"_s} << false;
    QTest::newRow("the start skips onto the last name")
        << QStringList{u"x.xyz"_s, u"last.com"_s} << 1 << QStringList{u"last.com"_s} << false;
    QTest::newRow("the start skips past the end")
        << QStringList{u"x.xyz"_s, u"y.xyz"_s} << 0 << QStringList{} << true;
}

void TestBatch::skips()
{
    QFETCH(QStringList, names);
    QFETCH(int, ticks);
    QFETCH(QStringList, rows);
    QFETCH(bool, endedByStart);
    Batch batch(names);
    // Before the start, the greyed names are those that will get no row.
    QStringList plain;
    for (int i = 0; i < names.size(); ++i) {
        if (!batch.fixture.list().model()->index(i, 0).data(Qt::ForegroundRole).isValid())
            plain.append(names[i]);
    }
    QCOMPARE(plain, rows);
    batch.start();
    if (!endedByStart)
        batch.verifyRunning();
    for (int i = 0; i < ticks; ++i)
        batch.tick();
    QCOMPARE(Domains(batch.fixture.table()), rows);
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().message(), kAllDone);
    QVERIFY(batch.fixture.list().selectedIndex() < batch.fixture.list().count());
    QCOMPARE(batch.fixture.lookedUp(), rows);
    QCOMPARE(batch.restartForOneTick(), rows);
}

void TestBatch::stopAndRestart()
{
    Batch batch({u"a.com"_s, u"b.com"_s, u"c.com"_s});
    batch.start();
    batch.tick();
    QTest::mouseClick(&batch.fixture.button("Command2"), Qt::LeftButton);
    batch.verifyIdle();
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"b.com"_s}));
    QCOMPARE(batch.fixture.status().message(), u"b.com查询完毕 | 共：3个域名 | 剩余查询：1个"_s);

    batch.start();
    QCOMPARE(Domains(batch.fixture.table()), QStringList{u"a.com"_s});
    batch.verifyRunning();
    batch.tick();
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"b.com"_s}));
}

void TestBatch::emptyListIsRefused()
{
    Batch batch({});
    batch.start();
    QCOMPARE(batch.fixture.status().message(), u"请先导入要查询的域名"_s);
    QCOMPARE(batch.fixture.platform.boxes.size(), 1);
    QCOMPARE(batch.fixture.platform.boxes[0].title, u"Norvane软件"_s);
    QCOMPARE(batch.fixture.platform.boxes[0].text, u"请先导入要查询的域名"_s);
    batch.verifyIdle();
}

void TestBatch::repliesWithoutARow_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("status");
    const QString before = u"当前为最新版本,欢迎使用Norvane软件.."_s;
    QTest::newRow("empty reply") << QByteArray() << QString() << before;
    QTest::newRow("refusal, number 0")
        << wire::ReplyBody(wire::Refusal(u"域名未注册"_s)) << u"域名未注册"_s << before;
    QTest::newRow("refusal, text 0") << wire::ReplyBody(JsonObject(
                                            {{wire::kResult, u"0"_s}, {wire::kMessage, u"查询太快"_s}}))
                                     << u"查询太快"_s << before;
    QTest::newRow("not JSON") << QByteArray("<html>502</html>") << QString()
                              << u"a.com查询失败,返回数据无法识别.."_s;
    QTest::newRow("no info.web") << wire::ReplyBody(
                                        JsonObject({{wire::kResult, 1}, {wire::kInfo, QJsonObject()}}))
                                 << QString() << u"a.com查询失败,返回数据无法识别.."_s;
}

void TestBatch::repliesWithoutARow()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, box);
    QFETCH(QString, status);
    Batch batch({u"a.com"_s, u"b.com"_s});
    batch.fixture.server.setHandler([reply](const TestHttpsServer::Request& request) {
        if (request.path == wire::kLookupPath)
            return TestHttpsServer::Response{200, reply};
        return WindowFixture::DefaultAnswer(request);
    });
    batch.start();
    QCOMPARE(batch.fixture.table().rowCount(), 0);
    QCOMPARE(batch.fixture.status().message(), status);
    QCOMPARE(batch.fixture.platform.boxes.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QCOMPARE(batch.fixture.platform.boxes[0].title, u"提示"_s);
        QCOMPARE(batch.fixture.platform.boxes[0].text, box);
    }
    // The batch goes on regardless.
    batch.verifyRunning();
    batch.tick();
    batch.verifyIdle();
}

void TestBatch::requestOnTheWire()
{
    // How names are encoded is the request URL's own table; here the name must reach
    // the service, and its row come back, through the real request.
    const QString name = u"中文&b.com"_s;
    Batch batch({name});
    batch.fixture.server.clearRequests();
    batch.start();
    const auto requests = batch.fixture.server.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].method, QByteArray("GET"));
    QCOMPARE(requests[0].target, wire::LookupTarget(name).toLatin1());
    QCOMPARE(requests[0].header("If-Modified-Since"), QByteArray("0"));
    QCOMPARE(Domains(batch.fixture.table()), QStringList{name});
}

void TestBatch::detailBox()
{
    Batch batch({});
    ResultTable& table = batch.fixture.table();
    // Nothing selected: nothing to show.
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(batch.fixture.platform.boxes.isEmpty());

    table.appendRow(
        ResultRow{{u"a.com"_s, u"R"_s, QString(), u"p"_s, u"c"_s, u"d"_s, u"s"_s, u"n"_s, u"t"_s}});
    table.appendRow(ResultRow{{u"b.com"_s}});
    const QPoint firstRow = table.visualRect(table.model()->index(0, 2)).center();
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, firstRow);
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, firstRow);
    QCOMPARE(batch.fixture.platform.boxes.size(), 1);
    QCOMPARE(batch.fixture.platform.boxes[0].title, u"提示"_s);
    QCOMPARE(batch.fixture.platform.boxes[0].text,
             u"域名：a.com\r\n注册商：R\r\nE-mail：\r\n联系电话：p\r\n注册时间：c\r\n过期时间：d\r\n"
             u"服务器：s\r\nDNS：n\r\n域名状态：t"_s);
    // A double click never starts an edit.
    QVERIFY(!table.findChild<QLineEdit*>());
}

void TestBatch::sliderSetsTheInterval()
{
    Batch batch({u"a.com"_s, u"b.com"_s});
    QSlider& slider = batch.fixture.slider();
    slider.setFocus();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(&slider, Qt::Key_Right);
    QCOMPARE(batch.fixture.label("Label2").text(), u"7秒/次"_s);
    for (int i = 0; i < 9; ++i)
        QTest::keyClick(&slider, Qt::Key_Right);
    QCOMPARE(slider.value(), 10);
    QCOMPARE(batch.fixture.label("Label2").text(), u"10秒/次"_s);
    // Sized to its text, in place: the caption shows whole.
    const QLabel& label2 = batch.fixture.label("Label2");
    QCOMPARE(label2.pos(), QPoint(496, 584));
    QVERIFY(label2.contentsRect().width() >= label2.fontMetrics().horizontalAdvance(label2.text()));
    QVERIFY(label2.width() >= 49); // 735 twips
    QTest::keyClick(&slider, Qt::Key_PageDown);
    QCOMPARE(batch.fixture.label("Label2").text(), u"5秒/次"_s);
    QTest::keyClick(&slider, Qt::Key_PageDown);
    QCOMPARE(slider.value(), 3);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(&slider, Qt::Key_Right);
    batch.start();
    QCOMPARE(batch.fixture.timer("Timer1").interval(), 7000);
}

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
