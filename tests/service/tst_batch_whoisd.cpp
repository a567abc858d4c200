// The program's real batch against the real whoisd, whose upstreams are down or say
// "not found": every name still ends as a row, and no box interrupts the batch.
#include "widgets/batch/result_table.h"
#include "widgets/domain_list/pending_list.h"
#include "widgets/controls/status_bar.h"
#include "support/whoisd_process.h"
#include "support/fake_whois_server.h"
#include "support/test_files.h"
#include "support/window_fixture.h"

#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestBatchWhoisd final : public QObject {
    Q_OBJECT
private slots:
    void everyNameEndsAsARow();
};

void TestBatchWhoisd::everyNameEndsAsARow()
{
    // RDAP for .org is unreachable, so .org falls back to port 43, which knows no such
    // name; .net's port-43 server is unreachable.
    FakeWhoisServer registry;
    registry.answer("nosuch.org",
                    ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_not_found.txt")));
    QTemporaryFile bootstrap;
    QVERIFY(bootstrap.open());
    bootstrap.write(R"({"services":[[["org"],["https://127.0.0.1:1/"]]]})");
    bootstrap.close();

    WhoisdProcess whoisd({u"--bootstrap-url"_s, QString(), u"--bootstrap-file"_s, bootstrap.fileName(),
                          u"--whois-server"_s, u"org=whois.test.org"_s, u"--whois-address"_s,
                          u"whois.test.org="_s + registry.address(), u"--whois-server"_s,
                          u"net=whois.down.example"_s, u"--whois-address"_s,
                          u"whois.down.example=127.0.0.1:1"_s});
    QVERIFY(!whoisd.baseUrl.isEmpty());

    WindowFixture fixture(whoisd.baseUrl);
    fixture.window->load();
    fixture.openForWork();
    fixture.list().append({u"nosuch.org"_s, u"down.net"_s, u"bad..com"_s});
    QTest::mouseClick(&fixture.button("Command2"), Qt::LeftButton);
    fixture.tickTimer1();
    fixture.tickTimer1();

    QCOMPARE(fixture.status().message(), u"所有域名已查询完毕!"_s);
    QVERIFY(fixture.platform.boxes.isEmpty());
    QStringList rows;
    for (int i = 0; i < fixture.table().rowCount(); ++i) {
        const ResultRow& row = fixture.table().row(i);
        rows.append(row.fields[0] + u'|' + row.fields[6] + u'|' + row.fields[8]);
    }
    QCOMPARE(rows, (QStringList{u"nosuch.org||未注册"_s, u"down.net|whois.down.example|查询失败:无法连接"_s,
                                u"bad..com||域名格式不正确或暂不支持该后缀"_s}));

    whoisd.process.terminate();
    QVERIFY(whoisd.process.waitForFinished(5000));
}

QTEST_MAIN(TestBatchWhoisd)
#include "tst_batch_whoisd.moc"
