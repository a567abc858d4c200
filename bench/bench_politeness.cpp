// The engine's pace against eight loopback registries (four RDAP, four port 43), each
// allowing its own number of queries a second and answering its limit signal (429
// with Retry-After, or its port-43 quota text) beyond that:
//  (a) 5,000 names through LookupService in this process: wall time against the floor
//      the limits set, answers beyond a limit, names lost, resident memory growth;
//  (b) the same names through whoisd from 50 concurrent clients, all eight registries
//      on port 43 (whoisd does not trust the RDAP fakes' test certificates): limits held;
//  (c) the engine's CPU time per lookup when upstreams answer at once.
// Run from the build tree: bench/bench_politeness
#include "bench_util.h"
#include "core/batch/lookup_reply.h"
#include "limited_registries.h"
#include "service/engine/domain_name.h"
#include "service/engine/lookup_service.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

using namespace bench;

constexpr int kNames = 5000;
constexpr int kWhoisdPort = 8545;

// (a)
void InProcess()
{
    const QStringList names = Names(kNames);
    const auto registries = MakeRegistries(names);
    QNetworkAccessManager network;
    SystemClock clock;
    // As whois-bulk runs it: each name is asked once, so no answer is kept.
    ServiceSettings settings = EngineSettings(registries);
    settings.cacheEntries = 0;
    LookupService service(settings, network, clock);
    const long before = bench::StatusKb("VmRSS");
    const long long heapBefore = bench::HeapInUseBytes();
    QElapsedTimer wall;
    wall.start();
    int answered = 0, found = 0;
    for (const QString& name : names) {
        service.lookup(*DomainName::parse(name),
                       LookupCaller{QStringLiteral("bulk"), clock.now() + std::chrono::minutes(10)},
                       [&](const LookupResult& result) {
            ++answered;
            found += result.status == LookupStatus::Found ? 1 : 0;
        });
    }
    RunUntil([&] { return answered == kNames; }, 180000);
    const double seconds = wall.elapsed() / 1000.0;
    const double floor = FloorSeconds(registries, kNames);
    std::printf("(a) %d names in process: %.1f s, floor %.1f s (target at most %.1f s); %d found, %d lost; "
                "resident memory grew %.1f MB\n",
                kNames, seconds, floor, floor * 1.1 + 2, found, kNames - found,
                (bench::StatusKb("VmRSS") - before) / 1024.0);
    std::printf("(a) of which the heap in use: %.1f MB\n",
                (bench::HeapInUseBytes() - heapBefore) / 1048576.0);
    ReportLimits("(a)", registries);
}

// (b)
void ThroughWhoisd()
{
    const QStringList names = Names(kNames);
    // Port 43 only: whoisd, another process, does not trust the fakes' test certificates.
    const auto registries = MakeRegistries(names, 0, true);
    const QString certs = QStringLiteral(WHOIS_TEST_CERT_DIR);
    QStringList arguments{QStringLiteral("--port"), QString::number(kWhoisdPort),
                          QStringLiteral("--cert"), certs + QStringLiteral("/server.crt"),
                          QStringLiteral("--key"),  certs + QStringLiteral("/server.key")};
    arguments += LookupArguments(EngineSettings(registries));
    QProcess service;
    // Its log of every request goes to a file (WHOISD_LOG) or nowhere; an unread pipe would stall it.
    service.setStandardErrorFile(qEnvironmentVariable("WHOISD_LOG", QProcess::nullDevice()));
    service.setStandardOutputFile(QProcess::nullDevice());
    service.start(QStringLiteral(WHOISD_PATH), arguments);
    if (!service.waitForStarted()) {
        std::printf("(b) cannot start whoisd\n");
        return;
    }
    QThread::msleep(1000);

    const QString base = QStringLiteral("https://127.0.0.1:%1").arg(kWhoisdPort);
    QElapsedTimer wall;
    wall.start();
    int next = 0, answered = 0, found = 0, limited = 0;
    std::vector<std::unique_ptr<QNetworkAccessManager>> clients;
    std::function<void(QNetworkAccessManager*)> askNext = [&](QNetworkAccessManager* client) {
        if (next >= names.size())
            return;
        QNetworkReply* reply = client->get(QNetworkRequest(QUrl(LookupUrl(base, names[next++]))));
        QObject::connect(reply, &QNetworkReply::finished, client, [&, reply, client] {
            const QByteArray body = reply->readAll();
            reply->deleteLater();
            ++answered;
            const LookupOutcome outcome = MapLookupReply(QString::fromUtf8(body));
            if (const auto* row = std::get_if<ResultRow>(&outcome)) {
                found += row->fields[1].isEmpty() ? 0 : 1;
                limited += row->fields.back().contains(QStringLiteral("频繁")) ? 1 : 0;
            }
            askNext(client);
        });
    };
    for (int i = 0; i < 50; ++i) {
        clients.push_back(std::make_unique<QNetworkAccessManager>());
        askNext(clients.back().get());
    }
    RunUntil([&] { return answered == kNames; }, 150000);
    std::printf(
        "(b) %d names through whoisd from 50 clients: %.1f s, floor %.1f s; %d found, %d rate limited, %d "
        "answered in all\n",
        kNames, wall.elapsed() / 1000.0, FloorSeconds(registries, kNames), found, limited, answered);
    ReportLimits("(b)", registries);
    service.terminate();
    service.waitForFinished();
}

// (c)
void EngineCost()
{
    const QStringList names = Names(kNames);
    const auto registries = MakeRegistries(names, 100000);
    QNetworkAccessManager network;
    SystemClock clock;
    LookupService service(EngineSettings(registries), network, clock);
    for (const bool rdap : {false, true}) {
        const double cpuBefore = bench::ThreadCpuMs();
        const double processBefore = bench::ProcessCpuMs();
        int asked = 0, answered = 0;
        for (const QString& name : names) {
            if (IsRdapTld(name.section(u'.', -1)) != rdap)
                continue;
            ++asked;
            service.lookup(*DomainName::parse(name), [&](const LookupResult&) { ++answered; });
        }
        QElapsedTimer wall;
        wall.start();
        RunUntil([&] { return answered == asked; }, 120000);
        std::printf("(c) %s, upstreams answering at once: %.0f us CPU per lookup on the engine's thread "
                    "(%.0f us for the whole process, fakes included), %d lookups in %.1f s\n",
                    rdap ? "RDAP" : "port 43", (bench::ThreadCpuMs() - cpuBefore) * 1000 / asked,
                    (bench::ProcessCpuMs() - processBefore) * 1000 / asked, answered,
                    wall.elapsed() / 1000.0);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestHttpsServer::trustTestAuthority();
    const QString only = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (only.isEmpty() || only == u"a")
        InProcess();
    if (only.isEmpty() || only == u"b")
        ThroughWhoisd();
    if (only.isEmpty() || only == u"c")
        EngineCost();
    return 0;
}
