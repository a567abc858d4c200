#include "core/protocol/wire_protocol.h"
#include "support/json_members.h"
#include "widgets/batch/batch_driver.h"
#include "widgets/batch/result_table.h"
#include "widgets/controls/status_bar.h"
#include "widgets/domain_list/pending_list.h"
#include "support/window_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kAllDone = u"所有域名已查询完毕!"_s;

QStringList Domains(const ResultTable& table)
{
    QStringList domains;
    for (int i = 0; i < table.rowCount(); ++i)
        domains.append(table.row(i).fields[0]);
    return domains;
}

// A fixture with the window open for work and the names pending.
struct Batch {
    explicit Batch(const QStringList& names)
    {
        fixture.window->load();
        fixture.openForWork();
        fixture.list().append(names);
    }
    // Names that start with "slow" are answered after the delay.
    void slowDownNamesStartingWithSlow(int delayMs)
    {
        fixture.server.setHandler([delayMs](const TestHttpsServer::Request& request) {
            auto response = WindowFixture::DefaultAnswer(request);
            if (request.query.startsWith("url=slow"))
                response.delayMs = delayMs;
            return response;
        });
    }
    void start() { QTest::mouseClick(&fixture.button("Command2"), Qt::LeftButton); }
    void tick() { fixture.batch().Timer1_Timer(); }
    void verifyIdle()
    {
        QCOMPARE(fixture.button("Command2").text(), u"批量查询"_s);
        QVERIFY(!fixture.batch().timer1().isActive());
        QVERIFY(fixture.list().isEnabled());
        QVERIFY(fixture.slider().isEnabled());
        QCOMPARE(fixture.window->batchState().queryRunning, 0);
    }
    void verifyRunning()
    {
        QCOMPARE(fixture.button("Command2").text(), u"停止查询"_s);
        QVERIFY(fixture.batch().timer1().isActive());
        QVERIFY(!fixture.list().isEnabled());
        QVERIFY(!fixture.slider().isEnabled());
        QCOMPARE(fixture.window->batchState().queryRunning, 1);
    }
    WindowFixture fixture;
};

} // namespace

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
    void requestOnTheWire_data();
    void requestOnTheWire();
    void tickDuringASlowReply();
    void realTimerTicksDuringASlowReply();
    void stopDuringASlowReply();
    void importDuringABatch();
    void cxOutsideAndDuringABatch();
    void detailBox();
    void sliderSetsTheInterval();
};

void TestBatch::threeNamesRowByRow()
{
    Batch batch({u"a.com"_s, u"b.net"_s, u"c.org"_s});
    batch.fixture.table().appendRow(ResultRow{{u"old"_s}});
    batch.start();
    batch.verifyRunning();
    QCOMPARE(batch.fixture.batch().timer1().interval(), 3000);
    QCOMPARE(Domains(batch.fixture.table()), QStringList{u"a.com"_s});
    QCOMPARE(batch.fixture.status().panelText(2), u"a.com查询完毕 | 共：3个域名 | 剩余查询：2个"_s);
    QCOMPARE(batch.fixture.table().row(0).fields[1], u"R-a.com"_s);

    batch.tick();
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"b.net"_s}));
    QCOMPARE(batch.fixture.status().panelText(2), u"b.net查询完毕 | 共：3个域名 | 剩余查询：1个"_s);
    batch.verifyRunning();

    batch.tick();
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"b.net"_s, u"c.org"_s}));
    QCOMPARE(batch.fixture.status().panelText(2), kAllDone);
    batch.verifyIdle();
    QCOMPARE(batch.fixture.window->batchState().position, 0);
    QCOMPARE(batch.fixture.lookedUp(), (QStringList{u"a.com"_s, u"b.net"_s, u"c.org"_s}));
}

void TestBatch::oneName()
{
    Batch batch({u"solo.cn"_s});
    batch.start();
    QCOMPARE(batch.fixture.status().panelText(2), u"solo.cn查询完毕 | 共：1个域名 | 剩余查询：0个"_s);
    batch.verifyRunning();
    batch.tick();
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().panelText(2), kAllDone);
    QCOMPARE(batch.fixture.window->batchState().position, 0);
    QCOMPARE(batch.fixture.lookedUp(), QStringList{u"solo.cn"_s});
}

void TestBatch::skips_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("endedByStart");
    QTest::newRow("in the middle, within one tick")
        << QStringList{u"a.com"_s, u"EXAMPLE.COM"_s, u"c.org"_s} << 1
        << QStringList{u"a.com"_s, u"c.org"_s} << false;
    QTest::newRow("at the start") << QStringList{u"x.xyz"_s, u"b.com"_s, u"c.com"_s} << 1
                                  << QStringList{u"b.com"_s, u"c.com"_s} << false;
    QTest::newRow("on the last name") << QStringList{u"a.com"_s, u"b.com"_s, u"z.xyz"_s} << 2
                                      << QStringList{u"a.com"_s, u"b.com"_s} << false;
    QTest::newRow("the start skips onto the last name")
        << QStringList{u"x.xyz"_s, u"last.com"_s} << 1 << QStringList{u"last.com"_s} << false;
    QTest::newRow("the start skips past the end") << QStringList{u"x.xyz"_s, u"y.xyz"_s} << 0
                                                  << QStringList{} << true;
}

void TestBatch::skips()
{
    QFETCH(QStringList, names);
    QFETCH(int, ticks);
    QFETCH(QStringList, rows);
    QFETCH(bool, endedByStart);
    Batch batch(names);
    batch.start();
    if (!endedByStart)
        batch.verifyRunning();
    for (int i = 0; i < ticks; ++i)
        batch.tick();
    QCOMPARE(Domains(batch.fixture.table()), rows);
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().panelText(2), kAllDone);
    QCOMPARE(batch.fixture.window->batchState().position, 0);
    QVERIFY(batch.fixture.list().selectedIndex() < batch.fixture.list().count());
    QCOMPARE(batch.fixture.lookedUp(), rows);
}

void TestBatch::stopAndRestart()
{
    Batch batch({u"a.com"_s, u"b.com"_s, u"c.com"_s});
    batch.start();
    batch.tick();
    QTest::mouseClick(&batch.fixture.button("Command2"), Qt::LeftButton);
    batch.verifyIdle();
    QCOMPARE(batch.fixture.window->batchState().position, 0);
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"b.com"_s}));
    QCOMPARE(batch.fixture.status().panelText(2), u"b.com查询完毕 | 共：3个域名 | 剩余查询：1个"_s);

    batch.start();
    QCOMPARE(Domains(batch.fixture.table()), QStringList{u"a.com"_s});
    batch.verifyRunning();
}

void TestBatch::emptyListIsRefused()
{
    Batch batch({});
    batch.start();
    QCOMPARE(batch.fixture.status().panelText(2), u"请先导入要查询的域名"_s);
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
    QTest::newRow("refusal, number 0") << wire::ReplyBody(wire::Refusal(u"域名未注册"_s))
                                       << u"域名未注册"_s << before;
    QTest::newRow("refusal, text 0")
        << wire::ReplyBody(JsonObject({{wire::kResult, u"0"_s}, {wire::kMessage, u"查询太快"_s}}))
                                     << u"查询太快"_s << before;
    QTest::newRow("not JSON") << QByteArray("<html>502</html>") << QString()
                              << u"a.com查询失败,返回数据无法识别.."_s;
    QTest::newRow("no info.web") << wire::ReplyBody(JsonObject({{wire::kResult, 1}, {wire::kInfo, QJsonObject()}}))
                                 << QString()
                                 << u"a.com查询失败,返回数据无法识别.."_s;
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
    QCOMPARE(batch.fixture.status().panelText(2), status);
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

void TestBatch::requestOnTheWire_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("ordinary name") << u"example.com"_s;
    QTest::newRow("Chinese name") << u"中文.com"_s;
    QTest::newRow("ampersand") << u"a&b.com"_s;
}

void TestBatch::requestOnTheWire()
{
    QFETCH(QString, name);
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

void TestBatch::tickDuringASlowReply()
{
    Batch batch({u"a.com"_s, u"slow.net"_s, u"c.org"_s});
    batch.slowDownNamesStartingWithSlow(500);
    int endings = 0;
    batch.start();
    // The next tick comes while the slow reply is awaited and runs inside it.
    QTimer::singleShot(50, &batch.fixture.batch(), [&] {
        batch.tick();
        endings += batch.fixture.status().panelText(2) == kAllDone ? 1 : 0;
    });
    batch.tick();
    QCOMPARE(endings, 1);
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"c.org"_s, u"slow.net"_s}));
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().panelText(2), kAllDone);
    QCOMPARE(batch.fixture.window->batchState().position, 0);
}

void TestBatch::realTimerTicksDuringASlowReply()
{
    Batch batch({u"slow.com"_s, u"b.net"_s, u"c.org"_s});
    batch.slowDownNamesStartingWithSlow(1500);
    // The start waits on the slow first name; the batch's own timer, set short here
    // instead of the slider's seconds, keeps ticking inside that wait.
    QTimer::singleShot(100, &batch.fixture.batch(), [&] {
        auto* timer = batch.fixture.batch().findChild<QTimer*>(u"Timer1"_s);
        if (timer)
            timer->start(50);
    });
    auto* timer = batch.fixture.batch().findChild<QTimer*>(u"Timer1"_s);
    QVERIFY(timer);
    batch.start();
    // The slow name's wait encloses the others, so its row comes last; b.net and c.org
    // may finish in either order (a tick can start c.org inside b.net's wait).
    QStringList domains = Domains(batch.fixture.table());
    QCOMPARE(domains.size(), 3);
    QCOMPARE(domains.takeLast(), u"slow.com"_s);
    domains.sort();
    QCOMPARE(domains, (QStringList{u"b.net"_s, u"c.org"_s}));
    batch.verifyIdle();
    // The late reply reports on the selection as it stands: the last name.
    QCOMPARE(batch.fixture.status().panelText(2), u"c.org查询完毕 | 共：3个域名 | 剩余查询：0个"_s);
}

void TestBatch::stopDuringASlowReply()
{
    Batch batch({u"a.com"_s, u"slow.net"_s, u"c.org"_s});
    batch.slowDownNamesStartingWithSlow(300);
    batch.start();
    QTimer::singleShot(50, &batch.fixture.batch(),
                       [&] { QTest::mouseClick(&batch.fixture.button("Command2"), Qt::LeftButton); });
    batch.tick();
    // The waiting lookup still adds its row; the stop stands.
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"slow.net"_s}));
    batch.verifyIdle();
    QCOMPARE(batch.fixture.window->batchState().position, 0);
    QCOMPARE(batch.fixture.status().panelText(2), u"slow.net查询完毕 | 共：3个域名 | 剩余查询：1个"_s);
}

void TestBatch::importDuringABatch()
{
    Batch batch({u"a.com"_s, u"b.com"_s, u"c.com"_s, u"d.com"_s, u"e.com"_s});
    batch.start();
    batch.tick();
    batch.tick();
    QTemporaryDir dir;
    QFile file(dir.filePath(u"short.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x.com\r\ny.com\r\n");
    file.close();
    batch.fixture.platform.fileChoices.enqueue(file.fileName());
    QTest::mouseClick(&batch.fixture.button("Command1"), Qt::LeftButton);
    // Selecting the last imported name looks it up, since the batch runs.
    QCOMPARE(batch.fixture.lookedUp().last(), u"y.com"_s);
    QCOMPARE(batch.fixture.status().panelText(2), u"列表加载成功!共2个域名"_s);
    batch.tick();
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().panelText(2), kAllDone);
    QCOMPARE(batch.fixture.list().selectedIndex(), 1);
}

void TestBatch::cxOutsideAndDuringABatch()
{
    Batch batch({u"a.com"_s, u"b.com"_s, u"c.com"_s});
    batch.fixture.table().appendRow(ResultRow{{u"kept"_s}});
    batch.fixture.window->cx();
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"kept"_s, u"c.com"_s}));
    QCOMPARE(batch.fixture.window->batchState().queryRunning, 0);
    batch.verifyIdle();

    batch.start();
    batch.fixture.window->cx();
    QCOMPARE(batch.fixture.window->batchState().queryRunning, 1);
    batch.tick(); // still looks b.com up
    batch.tick();
    QCOMPARE(Domains(batch.fixture.table()),
             (QStringList{u"a.com"_s, u"c.com"_s, u"b.com"_s, u"c.com"_s}));
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().panelText(2), kAllDone);
}

void TestBatch::detailBox()
{
    Batch batch({});
    ResultTable& table = batch.fixture.table();
    // Nothing selected: nothing to show.
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(batch.fixture.platform.boxes.isEmpty());

    table.appendRow(ResultRow{{u"a.com"_s, u"R"_s, QString(), u"p"_s, u"c"_s, u"d"_s, u"s"_s, u"n"_s, u"t"_s}});
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
    QCOMPARE(batch.fixture.batch().timer1().interval(), 7000);
}

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
