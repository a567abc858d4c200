// The real whois-bulk binary against a loopback port-43 registry (and, with --service,
// against whoisd's front in this process): outputs, resume, exit codes and signals.
#include "../whoisd_stack.h"
#include "support/fake_whois_server.h"
#include "support/zip_entries.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Finished {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// The lines of a JSON Lines text as objects.
QList<QJsonObject> Records(const QByteArray& text)
{
    QList<QJsonObject> records;
    for (const QByteArray& line : text.split('\n'))
        if (!line.isEmpty())
            records.append(QJsonDocument::fromJson(line).object());
    return records;
}

QStringList Column(const QList<QJsonObject>& records, const QString& key)
{
    QStringList values;
    for (const QJsonObject& record : records)
        values.append(record.value(key).toString());
    return values;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestWhoisBulk final : public QObject {
    Q_OBJECT
private slots:
    void init();
    void jsonLinesOnStandardOutput();
    void csvAndFailures();
    void badInputWritesNothing();
    void killedThenResumed();
    void terminated();
    void throughWhoisd();
    void hundredNamesAtTheRegistrysPace();

private:
    QStringList engineArguments() const;
    void start(QProcess& process, const QStringList& arguments, const QByteArray& input = {});
    Finished run(const QStringList& arguments, const QByteArray& input = {});

    std::unique_ptr<FakeWhoisServer> m_registry;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWhoisBulk::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_registry = std::make_unique<FakeWhoisServer>();
    const QByteArray found = QStringEncoder("GBK").encode(QString::fromUtf8(Fixture("whois_cn.txt")));
    m_registry->answer("example.cn", found);
    for (int i = 0; i < 12; ++i)
        m_registry->answer("name" + QByteArray::number(i) + ".cn", found);
    m_registry->answer("nosuch.cn", Fixture("whois_not_found.txt"));
    QFile bootstrap(m_dir->filePath(u"dns.json"_s));
    QVERIFY(bootstrap.open(QIODevice::WriteOnly));
    bootstrap.write(R"({"services":[[["example"],["https://127.0.0.1:1/"]]]})");
}

// Port 43 only: .cn from the fake, .biz from a port nobody listens on.
QStringList TestWhoisBulk::engineArguments() const
{
    return {u"--bootstrap-file"_s,
            m_dir->filePath(u"dns.json"_s),
            u"--bootstrap-url="_s,
            u"--whois-server"_s,
            u"cn=whois.cnnic.cn"_s,
            u"--whois-server"_s,
            u"biz=whois.down.example"_s,
            u"--whois-address"_s,
            u"whois.cnnic.cn="_s + m_registry->address(),
            u"--whois-address"_s,
            u"whois.down.example=127.0.0.1:1"_s,
            u"--min-spacing"_s,
            u"0"_s};
}

void TestWhoisBulk::start(QProcess& process, const QStringList& arguments, const QByteArray& input)
{
    process.start(QStringLiteral(WHOIS_BULK_PATH), arguments);
    QVERIFY(process.waitForStarted());
    process.write(input);
    process.closeWriteChannel();
}

Finished TestWhoisBulk::run(const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    start(process, arguments, input);
    if (!process.waitForFinished(60000))
        qFatal("whois-bulk did not finish");
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

void TestWhoisBulk::jsonLinesOnStandardOutput()
{
    const Finished done = run(engineArguments(), "example.cn\r\nwww.example.cn\nnosuch.cn\n\nnot a name\n");
    QCOMPARE(done.code, 0);
    QVERIFY2(done.err.isEmpty(), done.err); // no progress line unless on a terminal
    QList<QJsonObject> records = Records(done.out);
    std::sort(records.begin(), records.end(), [](const QJsonObject& a, const QJsonObject& b) {
        return a.value(u"domain"_s).toString() < b.value(u"domain"_s).toString();
    });
    QCOMPARE(Column(records, u"domain"_s), (QStringList{u"example.cn"_s, u"nosuch.cn"_s, u"not a name"_s}));
    QCOMPARE(Column(records, u"verdict"_s), (QStringList{u"registered"_s, u"available"_s, u"invalid"_s}));
    QCOMPARE(Column(records, u"source"_s), (QStringList{u"whois"_s, u"whois"_s, QString()}));
    QVERIFY(!records[0].value(u"registrar"_s).toString().isEmpty());
    QVERIFY(records[0].value(u"asked_at"_s).toString().endsWith(u'Z'));
    QCOMPARE(m_registry->queries().count("example.cn"), 1);
}

void TestWhoisBulk::csvAndFailures()
{
    const QString names = m_dir->filePath(u"names.txt"_s);
    QFile file(names);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("example.cn\nx.biz\n");
    file.close();
    const QString out = m_dir->filePath(u"out.csv"_s);
    const Finished done = run(engineArguments() + QStringList{u"-o"_s, out, names});
    QCOMPARE(done.code, 1);
    const QList<QByteArray> lines = ReadAll(out).split('\n');
    QCOMPARE(lines.size(), 4); // captions, two records, nothing after the last CR LF
    QVERIFY(lines[0].endsWith(",状态,verdict,reason,source,asked_at\r"));
    QVERIFY(ReadAll(out).contains(",failed,cannot_connect,whois,"));

    const QString workbook = m_dir->filePath(u"out.xlsx"_s);
    QCOMPARE(run(engineArguments() + QStringList{u"-o"_s, workbook, names}).code, 1);
    const std::optional<QByteArray> sheet = ZipEntry(ReadAll(workbook), u"xl/worksheets/sheet1.xml"_s);
    QVERIFY(sheet && sheet->contains("asked_at") && sheet->contains("cannot_connect"));
}

void TestWhoisBulk::badInputWritesNothing()
{
    const QString out = m_dir->filePath(u"out.jsonl"_s);
    const QString missing = m_dir->filePath(u"missing.txt"_s);
    Finished done = run(engineArguments() + QStringList{u"-o"_s, out, missing});
    QCOMPARE(done.code, 2);
    QVERIFY2(done.err.contains(missing.toUtf8() + ": no such file"), done.err);
    QVERIFY(!QFile::exists(out));
    done = run({u"--whois-address"_s, u"nonsense"_s}, "example.cn\n");
    QCOMPARE(done.code, 2);
    QVERIFY2(done.err.contains("--whois-address nonsense: not of the form host=address:port"), done.err);
    QVERIFY(done.out.isEmpty());
}

// Killed outright mid-run, then resumed (a torn line left behind): every name exactly once.
void TestWhoisBulk::killedThenResumed()
{
    m_registry->setDelay(150);
    QByteArray names;
    for (int i = 0; i < 12; ++i)
        names += "name" + QByteArray::number(i) + ".cn\n";
    const QString out = m_dir->filePath(u"out.jsonl"_s);
    const QStringList arguments = engineArguments() + QStringList{u"--max-in-flight"_s, u"1"_s, u"-o"_s, out};
    QProcess process;
    start(process, arguments, names);
    QTRY_VERIFY_WITH_TIMEOUT(Records(ReadAll(out)).size() >= 3, 30000);
    process.kill();
    process.waitForFinished();
    QFile torn(out);
    QVERIFY(torn.open(QIODevice::Append));
    torn.write("{\"domain\":\"name11.cn\",\"regis");
    torn.close();
    const qsizetype asked = m_registry->queries().size();

    const Finished resumed = run(arguments + QStringList{u"--resume"_s}, names);
    QCOMPARE(resumed.code, 0);
    QStringList domains = Column(Records(ReadAll(out)), u"domain"_s);
    domains.sort();
    QCOMPARE(domains.size(), 12);
    QCOMPARE(domains.removeDuplicates(), 0);
    QVERIFY(m_registry->queries().size() - asked < 12); // names already done are not asked again
}

void TestWhoisBulk::terminated()
{
    m_registry->setDelay(60000);
    const QString out = m_dir->filePath(u"out.jsonl"_s);
    QProcess process;
    start(process, engineArguments() + QStringList{u"-o"_s, out}, "example.cn\nnot a name\n");
    QTRY_VERIFY_WITH_TIMEOUT(!m_registry->queries().isEmpty(), 30000);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 130);
    QCOMPARE(Column(Records(ReadAll(out)), u"domain"_s), QStringList{u"not a name"_s});
}

// Signed requests to a running whoisd, whose certificate the tests' authority signed.
void TestWhoisBulk::throughWhoisd()
{
    Stack stack;
    stack.start();
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    start(process,
          {u"--service"_s, stack.baseUrl, u"--service-ca"_s, QStringLiteral(WHOIS_TEST_CERT_DIR "/ca.crt")},
          "example.hk\nnosuch.net\ngarbage.net\n");
    QVERIFY(finished.wait(30000));
    QCOMPARE(process.exitCode(), 1);
    QList<QJsonObject> records = Records(process.readAllStandardOutput());
    std::sort(records.begin(), records.end(), [](const QJsonObject& a, const QJsonObject& b) {
        return a.value(u"domain"_s).toString() < b.value(u"domain"_s).toString();
    });
    QCOMPARE(Column(records, u"verdict"_s), (QStringList{u"registered"_s, u"failed"_s, u"available"_s}));
    QCOMPARE(Column(records, u"reason"_s), (QStringList{QString(), u"unreadable_answer"_s, QString()}));
}

// 100 .uk names, the registry answering its quota text beyond 50 a second: every name
// is found, and the registry never sees more.
void TestWhoisBulk::hundredNamesAtTheRegistrysPace()
{
    m_registry->limitTo(50, "Quota exceeded: too many queries from your address.\r\n");
    QByteArray names;
    for (int i = 0; i < 100; ++i) {
        const QByteArray name = "name" + QByteArray::number(i) + ".co.uk";
        m_registry->answer(name, Fixture("whois_cn.txt"));
        names += name + '\n';
    }
    const Finished done =
        run(engineArguments() + QStringList{u"--whois-server"_s, u"uk=whois.nic.uk"_s, u"--whois-address"_s,
                                            u"whois.nic.uk="_s + m_registry->address(), u"--limit"_s,
                                            u"whois.nic.uk=40,burst=5,concurrency=4"_s},
            names);
    QCOMPARE(done.code, 0);
    const QList<QJsonObject> records = Records(done.out);
    QCOMPARE(records.size(), 100);
    QCOMPARE(Column(records, u"verdict"_s).count(u"registered"_s), 100);
    QCOMPARE(m_registry->arrivals().refused(), 0);
    QVERIFY(m_registry->arrivals().busiestSecond() <= 50);
    QCOMPARE(m_registry->arrivals().count(), 100);
}

QTEST_GUILESS_MAIN(TestWhoisBulk)
#include "tst_whois_bulk.moc"
