// The whois-bulk program itself, 5,000 names over eight loopback port-43 registries
// (another process does not trust the RDAP fakes' test certificates), each answering
// its quota text beyond its limit:
//  (a) one run: wall time against the floor the limits set, answers beyond a limit,
//      records written, the program's resident memory;
//  (b) a run killed with SIGKILL midway, then resumed with --resume: every name
//      exactly once in the file;
//  (c) 100 .uk names against a registry that allows 5 a second and answers its quota
//      text beyond, at the pace of the shipped limits table: every name found, none
//      beyond the limit.
// Run from the build tree: bench/bench_bulk [a|b|c]
#include "bench_util.h"
#include "limited_registries.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace bench;

constexpr int kNames = 5000;

// A field of another process's /proc status, in kB.
long ChildStatusKb(qint64 pid, const char* field)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The names of the file's whole records (a line torn by a kill is none).
QStringList Domains(const QString& path)
{
    QStringList domains;
    for (const QByteArray& line : ReadFile(path).split('\n')) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        if (record.contains(u"domain"))
            domains.append(record.value(u"domain").toString());
    }
    return domains;
}

struct Run {
    QProcess process;
    QElapsedTimer wall;
    long startKb = -1;
    long peakKb = -1;

    // Starts whois-bulk on `names`; until `stopWhen` holds or it ends, keeps the fakes'
    // threads company and samples its memory.
    void go(const QStringList& arguments, const QStringList& names, const std::function<bool()>& stopWhen)
    {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral(WHOIS_BULK_PATH), arguments);
        if (!process.waitForStarted())
            qFatal("cannot start whois-bulk");
        wall.start();
        process.write(names.join(u'\n').toUtf8() + '\n');
        process.closeWriteChannel();
        while (process.state() != QProcess::NotRunning && wall.elapsed() < 300000 && !stopWhen()) {
            process.waitForFinished(100);
            const long rss = ChildStatusKb(process.processId(), "VmRSS");
            if (startKb < 0 && wall.elapsed() > 300)
                startKb = rss;
            peakKb = std::max(peakKb, ChildStatusKb(process.processId(), "VmHWM"));
        }
    }
};

QStringList Arguments(const std::vector<std::unique_ptr<Registry>>& registries, const QString& out)
{
    return LookupArguments(EngineSettings(registries)) +
           QStringList{QStringLiteral("-q"), QStringLiteral("-o"), out};
}

// (a)
void OneRun(const QTemporaryDir& dir)
{
    const QStringList names = Names(kNames);
    const auto registries = MakeRegistries(names, 0, true);
    const QString out = dir.filePath(QStringLiteral("a.jsonl"));
    Run run;
    run.go(Arguments(registries, out), names, [] { return false; });
    const double seconds = run.wall.elapsed() / 1000.0;
    const double floor = FloorSeconds(registries, kNames);
    QStringList domains = Domains(out);
    const int records = int(domains.size());
    const int duplicates = int(domains.removeDuplicates());
    std::printf(
        "(a) whois-bulk, %d names: %.1f s, floor %.1f s (target at most %.1f s); exit %d; %d records, "
        "%d duplicates, %d lost; resident memory %.1f MB after start, peak %.1f MB (grew %.1f MB)\n",
        kNames, seconds, floor, floor * 1.1 + 2, run.process.exitCode(), records, duplicates,
        kNames - int(domains.size()), run.startKb / 1024.0, run.peakKb / 1024.0,
        (run.peakKb - run.startKb) / 1024.0);
    ReportLimits("(a)", registries);
}

// (b)
void KilledAndResumed(const QTemporaryDir& dir)
{
    const QStringList names = Names(kNames);
    const auto registries = MakeRegistries(names, 0, true);
    const QString out = dir.filePath(QStringLiteral("b.jsonl"));
    const QStringList arguments = Arguments(registries, out);
    Run first;
    first.go(arguments, names, [&] { return ReadFile(out).count('\n') >= kNames / 2; });
    first.process.kill();
    first.process.waitForFinished();
    const int before = int(Domains(out).size());
    Run second;
    second.go(arguments + QStringList{QStringLiteral("--resume")}, names, [] { return false; });
    QStringList domains = Domains(out);
    const int records = int(domains.size());
    const int duplicates = int(domains.removeDuplicates());
    domains.sort();
    QStringList expected = names;
    expected.sort();
    std::printf(
        "(b) killed after %d records, resumed: %d records, %d duplicates, every name exactly once: %s; "
        "exit %d\n",
        before, records, duplicates, domains == expected && duplicates == 0 ? "yes" : "NO",
        second.process.exitCode());
    ReportLimits("(b)", registries);
}

// (c)
void HundredUkNames(const QTemporaryDir& dir)
{
    FakeWhoisServer registry;
    registry.limitTo(5, "Quota exceeded: too many queries from your address.\r\n");
    const QByteArray text = ReadFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_cn.txt"));
    QStringList names;
    for (int i = 0; i < 100; ++i) {
        names.append(QStringLiteral("name%1.co.uk").arg(i));
        registry.answer(names.last().toLatin1(), text);
    }
    // A bootstrap file without .uk: port 43 only, as the registry here.
    const QString bootstrap = dir.filePath(QStringLiteral("dns.json"));
    QFile file(bootstrap);
    if (!file.open(QIODevice::WriteOnly) || file.write(R"({"services":[]})") < 0)
        qFatal("cannot write %s", qPrintable(bootstrap));
    file.close();
    const QString out = dir.filePath(QStringLiteral("c.jsonl"));
    Run run;
    run.go({QStringLiteral("--bootstrap-url="), QStringLiteral("--bootstrap-file"), bootstrap,
            QStringLiteral("--whois-server"), QStringLiteral("uk=whois.nic.uk"),
            QStringLiteral("--whois-address"), QStringLiteral("whois.nic.uk=") + registry.address(),
            QStringLiteral("-q"), QStringLiteral("-o"), out},
           names, [] { return false; });
    int found = 0;
    for (const QByteArray& line : ReadFile(out).split('\n'))
        found += QJsonDocument::fromJson(line).object().value(u"verdict").toString() == u"registered" ? 1 : 0;
    std::printf("(c) 100 .uk names, registry at 5 a second: %.1f s, exit %d, %d found; the registry saw %d "
                "queries, at most %d in one second, %d beyond its limit\n",
                run.wall.elapsed() / 1000.0, run.process.exitCode(), found, registry.arrivals().count(),
                registry.arrivals().busiestSecond(), registry.arrivals().refused());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString only = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    QTemporaryDir dir;
    if (only.isEmpty() || only == u"a")
        OneRun(dir);
    if (only.isEmpty() || only == u"b")
        KilledAndResumed(dir);
    if (only.isEmpty() || only == u"c")
        HundredUkNames(dir);
    return 0;
}
