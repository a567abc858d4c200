#include "support/batch_fixture.h"

#include <QTemporaryDir>

#include <atomic>
#include <memory>

using namespace Qt::Literals::StringLiterals;

// What happens when events arrive while a lookup waits for its reply: ticks, stops,
// an import and one-off lookups nest inside the wait.
class TestBatchReentry final : public QObject {
    Q_OBJECT
private slots:
    void tickDuringASlowReply();
    void realTimerTicksDuringASlowReply();
    void stopDuringASlowReply();
    void importDuringABatch();
    void cxOutsideAndDuringABatch();
    void batchEndsWhileCxWaits_data();
    void batchEndsWhileCxWaits();
};

void TestBatchReentry::tickDuringASlowReply()
{
    Batch batch({u"a.com"_s, u"slow.net"_s, u"c.org"_s});
    batch.slowDownNamesStartingWithSlow(500);
    int endings = 0;
    batch.start();
    // The next tick comes while the slow reply is awaited and runs inside it.
    QTimer::singleShot(50, batch.fixture.window.get(), [&] {
        batch.tick();
        endings += batch.fixture.status().message() == kAllDone ? 1 : 0;
    });
    batch.tick();
    QCOMPARE(endings, 1);
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"c.org"_s, u"slow.net"_s}));
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().message(), kAllDone);
    batch.fixture.server.setHandler(&WindowFixture::DefaultAnswer);
    QCOMPARE(batch.restartForOneTick(), (QStringList{u"a.com"_s, u"slow.net"_s}));
}

void TestBatchReentry::realTimerTicksDuringASlowReply()
{
    Batch batch({u"slow.com"_s, u"b.net"_s, u"c.org"_s});
    batch.slowDownNamesStartingWithSlow(1500);
    // The start waits on the slow first name; the batch's own timer, set short here
    // instead of the slider's seconds, keeps ticking inside that wait.
    QTimer::singleShot(100, batch.fixture.window.get(), [&] { batch.fixture.timer("Timer1").start(50); });
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
    QCOMPARE(batch.fixture.status().message(), u"c.org查询完毕 | 共：3个域名 | 剩余查询：0个"_s);
}

void TestBatchReentry::stopDuringASlowReply()
{
    Batch batch({u"a.com"_s, u"slow.net"_s, u"c.org"_s});
    batch.slowDownNamesStartingWithSlow(300);
    batch.start();
    QTimer::singleShot(50, batch.fixture.window.get(),
                       [&] { QTest::mouseClick(&batch.fixture.button("Command2"), Qt::LeftButton); });
    batch.tick();
    // The waiting lookup still adds its row; the stop stands.
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"slow.net"_s}));
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().message(), u"slow.net查询完毕 | 共：3个域名 | 剩余查询：1个"_s);
    batch.fixture.server.setHandler(&WindowFixture::DefaultAnswer);
    QCOMPARE(batch.restartForOneTick(), (QStringList{u"a.com"_s, u"slow.net"_s}));
}

void TestBatchReentry::importDuringABatch()
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
    QCOMPARE(batch.fixture.status().message(), u"列表加载成功!共2个域名"_s);
    batch.tick();
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().message(), kAllDone);
    QCOMPARE(batch.fixture.list().selectedIndex(), 1);
}

void TestBatchReentry::cxOutsideAndDuringABatch()
{
    Batch batch({u"a.com"_s, u"b.com"_s, u"c.com"_s});
    batch.fixture.table().appendRow(ResultRow{{u"kept"_s}});
    batch.fixture.window->cx();
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"kept"_s, u"c.com"_s}));
    batch.verifyIdle();

    batch.start();
    batch.fixture.window->cx();
    batch.verifyRunning();
    batch.tick(); // still looks b.com up
    batch.tick();
    QCOMPARE(Domains(batch.fixture.table()), (QStringList{u"a.com"_s, u"c.com"_s, u"b.com"_s, u"c.com"_s}));
    batch.verifyIdle();
    QCOMPARE(batch.fixture.status().message(), kAllDone);
}

void TestBatchReentry::batchEndsWhileCxWaits_data()
{
    QTest::addColumn<bool>("byTick");
    QTest::addColumn<QStringList>("lookedUp");
    QTest::newRow("a nested tick reaches the end")
        << true << QStringList{u"a.com"_s, u"b.com"_s, u"c.com"_s, u"c.com"_s};
    QTest::newRow("the user stops") << false << QStringList{u"a.com"_s, u"b.com"_s, u"c.com"_s};
}

void TestBatchReentry::batchEndsWhileCxWaits()
{
    QFETCH(bool, byTick);
    QFETCH(QStringList, lookedUp);
    Batch batch({u"a.com"_s, u"b.com"_s, u"c.com"_s});
    // Only the first lookup of the last name (cx's) is slow.
    auto lastNameAsked = std::make_shared<std::atomic<int>>(0);
    batch.fixture.server.setHandler([lastNameAsked](const TestHttpsServer::Request& request) {
        auto response = WindowFixture::DefaultAnswer(request);
        if (request.query.startsWith("url=c.com") && (*lastNameAsked)++ == 0)
            response.delayMs = 300;
        return response;
    });
    batch.start();
    batch.tick();
    QTimer::singleShot(50, batch.fixture.window.get(), [&] {
        if (byTick)
            batch.tick();
        else
            QTest::mouseClick(&batch.fixture.button("Command2"), Qt::LeftButton);
    });
    batch.fixture.window->cx();
    QCOMPARE(batch.fixture.lookedUp(), lookedUp);
    // With the batch over and cx done, selecting a name looks nothing up.
    batch.verifyIdle();
    QTest::mouseClick(&batch.fixture.button("Command2"), Qt::LeftButton);
    batch.verifyRunning();
}

QTEST_MAIN(TestBatchReentry)
#include "tst_batch_reentry.moc"
