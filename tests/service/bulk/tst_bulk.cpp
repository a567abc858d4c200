// whois-bulk's pure parts: reading the names, the records it writes and reads back
// when resuming, its command line, and the order it asks in.
#include "service/bulk/bulk_options.h"
#include "service/bulk/bulk_record.h"
#include "service/bulk/bulk_run.h"
#include "service/bulk/name_asker.h"
#include "service/bulk/name_input.h"
#include "service/bulk/progress_text.h"
#include "service/bulk/record_sink.h"
#include "service/bulk/resume_file.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime kAskedAt = QDateTime(QDate(2026, 12, 7), QTime(23, 40, 1), Qt::UTC);

LookupResult Failed(LookupStatus status, FailureReason reason = FailureReason::None)
{
    LookupResult result = LookupResult::failed(status, u"whois.example"_s, reason);
    result.record.domain = u"a.com"_s;
    return result;
}

// Keeps every name asked and its `done`, to answer later.
struct HeldAsker final : NameAsker {
    void ask(const QString& name, Done done) override { asked.append({name, std::move(done)}); }
    void stop() override {}
    int perTldWindow() const override { return 2; }
    int window() const override { return 3; }
    QList<std::pair<QString, Done>> asked;
};

struct ListSink final : RecordSink {
    bool write(const BulkRecord& record) override
    {
        domains.append(record.domain());
        return true;
    }
    QStringList domains;
};

LookupResult Found(const QString& registrar)
{
    WhoisRecord record;
    record.domain = u"a.com"_s;
    record.registrar = registrar;
    return LookupResult::found(record, u"rdap.example"_s);
}

} // namespace

Q_DECLARE_METATYPE(LookupResult)

class TestBulk final : public QObject {
    Q_OBJECT
private slots:
    void names_data();
    void names();
    void inputProblems();
    void verdicts_data();
    void verdicts();
    void recordsReadBack();
    void resumeRefusesOtherFiles();
    void options_data();
    void options();
    void registriesSideBySide();
    void progress();
};

void TestBulk::names_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("window's cleaning, blank lines, CR LF")
        << "http://www.a.com\r\n\r\nwww.b.com\r\nhttp://\r\n"_ba << QStringList{u"a.com"_s, u"b.com"_s};
    QTest::newRow("spaces around, then cleaned") << " www.a.com\t\n  \n"_ba << QStringList{u"a.com"_s};
    QTest::newRow("each name once, first spelling")
        << "B.com\nb.COM\nxn--fiq228c.com\n中文.com\n"_ba << QStringList{u"B.com"_s, u"xn--fiq228c.com"_s};
    QTest::newRow("UTF-8 with its mark") << "\xEF\xBB\xBF中文.cn\n"_ba << QStringList{u"中文.cn"_s};
    QTest::newRow("GBK") << QByteArray(QStringEncoder("GBK").encode(u"例子.中国\r\n"_s))
                         << QStringList{u"例子.中国"_s};
}

void TestBulk::names()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    const NameInput input = NameInput::read({u"-"_s}, [&] { return bytes; });
    QCOMPARE(input.names, names);
    QVERIFY(input.problem.isEmpty());
}

void TestBulk::inputProblems()
{
    QTemporaryDir dir;
    const auto problem = [&](const QStringList& sources, const QByteArray& stdinBytes) {
        return NameInput::read(sources, [&] { return stdinBytes; }).problem;
    };
    QVERIFY(problem({dir.filePath(u"missing.txt"_s)}, {}).contains(u"missing.txt: no such file"_s));
    QVERIFY(problem({dir.path()}, {}).contains(u"not a readable file"_s));
    QCOMPARE(problem({u"-"_s}, "a.com\n\0\x01"_ba),
             u"standard input: not a text file (it holds NUL bytes)"_s);
    QCOMPARE(problem({u"-"_s}, "\n\nhttp://\n"_ba), u"no domain names in the input"_s);
}

void TestBulk::verdicts_data()
{
    QTest::addColumn<LookupResult>("result");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("reason");
    LookupResult found = Found(u"Registrar"_s);
    found.source = LookupSource::Rdap;
    LookupResult byDns = Failed(LookupStatus::UpstreamFailed, FailureReason::Timeout);
    byDns.source = LookupSource::Dns;
    QTest::newRow("found") << found << u"registered"_s << QString();
    QTest::newRow("not registered") << Failed(LookupStatus::NotRegistered) << u"available"_s << QString();
    QTest::newRow("invalid") << LookupResult::invalid(u"a..com"_s) << u"invalid"_s << QString();
    QTest::newRow("rate limited") << Failed(LookupStatus::RateLimited) << u"rate_limited"_s << QString();
    QTest::newRow("timeout") << Failed(LookupStatus::UpstreamFailed, FailureReason::Timeout) << u"failed"_s
                             << u"timeout"_s;
    QTest::newRow("cannot connect") << Failed(LookupStatus::UpstreamFailed, FailureReason::CannotConnect)
                                    << u"failed"_s << u"cannot_connect"_s;
    QTest::newRow("refused") << Failed(LookupStatus::UpstreamFailed, FailureReason::Refused) << u"failed"_s
                             << u"refused"_s;
    QTest::newRow("unreadable") << Failed(LookupStatus::UpstreamFailed) << u"failed"_s
                                << u"unreadable_answer"_s;
    QTest::newRow("DNS says taken") << byDns << u"registered"_s << QString();
}

// The engine's result and whoisd's row for it come to the same verdict and reason.
void TestBulk::verdicts()
{
    QFETCH(LookupResult, result);
    QFETCH(QString, verdict);
    QFETCH(QString, reason);
    const BulkRecord local = BulkRecord::fromResult(result, kAskedAt);
    QCOMPARE(QString(VerdictName(local.verdict)), verdict);
    QCOMPARE(local.reason, reason);
    if (result.source != LookupSource::Dns) {
        const BulkRecord remote = BulkRecord::fromRow(local.fields, kAskedAt);
        QCOMPARE(QString(VerdictName(remote.verdict)), verdict);
        QCOMPARE(remote.reason, reason);
    }
}

// What the writers write, the resume readers read back, a torn last record cut off.
void TestBulk::recordsReadBack()
{
    BulkRecord awkward = BulkRecord::fromResult(Found(u"=\"R\", Inc.\r\nLtd"_s), kAskedAt);
    const BulkRecord later = BulkRecord::fromResult(Failed(LookupStatus::NotRegistered), kAskedAt);
    awkward.fields[0] = u"-x.com"_s; // guarded against formulas in CSV
    QCOMPARE(JsonLine(later),
             "{\"domain\":\"a.com\",\"registrar\":\"\",\"email\":\"\",\"phone\":\"\",\"created\":\"\","
             "\"expires\":\"\",\"whois_server\":\"\",\"name_servers\":\"\",\"status\":\"未注册\","
             "\"verdict\":\"available\",\"reason\":\"\",\"source\":\"\","
             "\"asked_at\":\"2026-12-07T23:40:01Z\"}\n"_ba);

    const QByteArray jsonl = JsonLine(awkward) + JsonLine(later);
    const ResumeState fromJson = ReadJsonLinesOutput(jsonl + JsonLine(later).left(20));
    QCOMPARE(fromJson.done, (QSet<QString>{u"-x.com"_s, u"a.com"_s}));
    QCOMPARE(fromJson.wholeBytes, jsonl.size());

    QTemporaryDir dir;
    QFile file(dir.filePath(u"out.csv"_s));
    QVERIFY(file.open(QIODevice::ReadWrite));
    CsvSink sink(file);
    QVERIFY(sink.write(awkward));
    QVERIFY(sink.write(later));
    QVERIFY(file.seek(0));
    const QByteArray csv = file.readAll();
    QVERIFY(csv.startsWith(
        "\xEF\xBB\xBF域名,注册商,邮件,电话,注册时间,到期时间,服务器,DNS,状态,verdict,reason,source,"
        "asked_at\r\n'-x.com,\"'=\"\"R\"\", Inc.\r\nLtd\""_ba));
    const ResumeState fromCsv = ReadCsvOutput(csv + "b.com,\"half");
    QCOMPARE(fromCsv.done, (QSet<QString>{u"-x.com"_s, u"a.com"_s}));
    QCOMPARE(fromCsv.wholeBytes, csv.size());
    QCOMPARE(ReadCsvOutput(csv.left(10)).wholeBytes, 0); // even the caption line torn
}

void TestBulk::resumeRefusesOtherFiles()
{
    QCOMPARE(ReadCsvOutput("\xEF\xBB\xBF"
                           "name,price\r\na.com,1\r\n"_ba)
                 .problem,
             u"its first line is not whois-bulk's caption line"_s);
    QCOMPARE(
        ReadJsonLinesOutput(JsonLine(BulkRecord::fromResult(Failed(LookupStatus::NotRegistered), kAskedAt)) +
                            "{\"name\":\"a.com\"}\n")
            .problem,
        u"line 2 is no whois-bulk record"_s);
}

void TestBulk::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem"); // empty: accepted
    QTest::newRow("files, output, engine options")
        << QStringList{u"-o"_s,    u"r.csv"_s,          u"--resume"_s,
                       u"a.txt"_s, u"--rdap"_s,         u"uk=https://r.example/"_s,
                       u"-q"_s,    u"--timeout=2000"_s, u"-"_s}
        << QString();
    QTest::newRow("unknown suffix") << QStringList{u"-o"_s, u"r.txt"_s}
                                    << u"must end in .csv, .xlsx or .jsonl"_s;
    QTest::newRow("resume without -o") << QStringList{u"--resume"_s} << u"needs -o FILE"_s;
    QTest::newRow("resume a workbook")
        << QStringList{u"--resume"_s, u"-o"_s, u"r.xlsx"_s} << u"cannot be appended to"_s;
    QTest::newRow("engine option checked")
        << QStringList{u"--timeout"_s, u"0"_s} << u"--timeout 0: out of range (1 to 600000)"_s;
    QTest::newRow("front option") << QStringList{u"--port"_s, u"8443"_s} << u"Unknown option 'port'"_s;
    QTest::newRow("service and engine options")
        << QStringList{u"--service"_s, u"https://h.example"_s, u"--rdap"_s, u"uk=https://r.example/"_s}
        << u"the lookup options are the service's own"_s;
    QTest::newRow("service not a URL") << QStringList{u"--service=h.example"_s} << u"not an http(s) URL"_s;
    QTest::newRow("value missing") << QStringList{u"-o"_s} << u"Missing value after '-o'"_s;
}

void TestBulk::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);
    QString message;
    bool help = false;
    const auto options =
        BulkOptions::fromArguments(QStringList{u"whois-bulk"_s} + arguments, &message, &help);
    QVERIFY2(message.contains(problem), qPrintable(message));
    QCOMPARE(options.has_value(), problem.isEmpty());
    if (options) {
        QCOMPARE(options->inputs, (QStringList{u"a.txt"_s, u"-"_s}));
        QVERIFY(options->quiet && options->resume);
        QCOMPARE(options->settings.rdapOverrides.value(u"uk"_s), u"https://r.example/"_s);
        QCOMPARE(options->settings.totalTimeout.count(), 2000);
    } else {
        QVERIFY(message.endsWith(u"\"whois-bulk --help\" lists the options.\n"_s));
    }
    QVERIFY(!BulkOptions::fromArguments({u"whois-bulk"_s, u"--help"_s}, &message, &help) && help);
    QVERIFY(message.contains(u"--whois-address"_s) && !message.contains(u"--max-connections"_s));
    // The manual's option list comes from the same rows.
    QVERIFY(!BulkOptions::fromArguments({u"whois-bulk"_s, u"--help-scdoc"_s}, &message, &help) && help);
    QVERIFY(message.contains(u"*--resume*"_s) && message.contains(u"*--limit*"_s));
}

// A TLD with many names waits its turn; the others are asked at once.
void TestBulk::registriesSideBySide()
{
    HeldAsker asker;
    ListSink sink;
    BulkRun run({u"1.uk"_s, u"2.uk"_s, u"3.uk"_s, u"4.uk"_s, u"x.de"_s}, asker, sink);
    run.start();
    QStringList asked;
    for (const auto& [name, done] : asker.asked)
        asked.append(name);
    QCOMPARE(asked, (QStringList{u"1.uk"_s, u"x.de"_s, u"2.uk"_s}));
    asker.asked[1].second(BulkRecord::fromResult(Failed(LookupStatus::NotRegistered), kAskedAt));
    QCOMPARE(asker.asked.size(), 3); // .uk has its TLD's window full
    asker.asked[0].second(BulkRecord::fromResult(Failed(LookupStatus::RateLimited), kAskedAt));
    QCOMPARE(asker.asked.last().first, u"3.uk"_s);
    QCOMPARE(run.counts().done, 2);
    QCOMPARE(ExitCodeOf(run.counts()), 1);
}

void TestBulk::progress()
{
    BulkCounts counts{5000, 120, {80, 38, 0, 2, 0}};
    QCOMPARE(ProgressText(counts, std::chrono::seconds(25), {u"whois.nic.uk"_s}),
             u"120/5000  4.8/s  ETA 16m57s  registered 80  available 38  failed 2  cooling: whois.nic.uk"_s);
    QCOMPARE(DurationText(std::chrono::seconds(7500)), u"2h05m"_s);
}

QTEST_GUILESS_MAIN(TestBulk)
#include "tst_bulk.moc"
