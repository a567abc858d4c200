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
#include "service/engine/domain_name.h"
#include "service/engine/lookup_service.h"
#include "support/fake_whois_server.h"
#include "support/limited_rdap.h"
#include "support/test_https_server.h"
#include "support/window_counter.h"

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

constexpr int kNames = 5000;
constexpr int kWhoisdPort = 8545;

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Registry i's TLD: "zza", "zzb", ... (no real TLD, so nothing else answers for it);
// the even ones are RDAP registries, the odd ones port 43.
QString Tld(int i)
{
    return QStringLiteral("zz") + QChar(u'a' + i);
}

bool IsRdapTld(const QString& tld)
{
    return (tld.back().unicode() - u'a') % 2 == 0;
}

// One loopback registry that allows `rate` + 1 queries in any second (the engine is
// told `rate` with a burst of 1) and signals its limit beyond that.
struct Registry {
    QString tld;
    int rate = 0;
    std::unique_ptr<TestHttpsServer> rdap;
    std::unique_ptr<FakeWhoisServer> whois;
    std::shared_ptr<WindowCounter> rdapArrivals = std::make_shared<WindowCounter>();

    QString server() const
    {
        return rdap ? QStringLiteral("127.0.0.1:") + QString::number(rdap->port())
                    : QStringLiteral("whois.nic.") + tld;
    }
    const WindowCounter& arrivals() const { return rdap ? *rdapArrivals : whois->arrivals(); }
};

std::vector<std::unique_ptr<Registry>> MakeRegistries(const QStringList& names, int instantRate = 0,
                                                      bool port43Only = false)
{
    const QByteArray record = ReadFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/rdap_thick.json"));
    const QByteArray text = ReadFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_cn.txt"));
    const int rates[] = {30, 35, 40, 45, 50, 60, 70, 80};
    std::vector<std::unique_ptr<Registry>> registries;
    for (int i = 0; i < 8; ++i) {
        auto registry = std::make_unique<Registry>();
        registry->rate = instantRate > 0 ? instantRate : rates[i];
        const int allowed = registry->rate + 1;
        if (i % 2 == 0 && !port43Only) {
            registry->tld = Tld(i);
            registry->rdap = std::make_unique<TestHttpsServer>();
            registry->rdap->setKeepAlive(true);
            registry->rdap->setHandler(RateLimited(
                [record](const TestHttpsServer::Request&) {
                return TestHttpsServer::Response{200, record, "application/rdap+json"};
                },
                allowed, registry->rdapArrivals));
        } else {
            registry->tld = Tld(i);
            registry->whois = std::make_unique<FakeWhoisServer>();
            registry->whois->limitTo(allowed, "Quota exceeded: too many queries from your address.\r\n");
            for (const QString& name : names) {
                if (name.endsWith(u'.' + registry->tld))
                    registry->whois->answer(name.toLatin1(), text);
            }
        }
        registries.push_back(std::move(registry));
    }
    return registries;
}

QStringList Names(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(QStringLiteral("name%1.").arg(i) + Tld(i % 8));
    return names;
}

ServiceSettings EngineSettings(const std::vector<std::unique_ptr<Registry>>& registries)
{
    ServiceSettings settings;
    settings.bootstrapUrl.clear();
    settings.answerWithin = std::chrono::minutes(10); // a bulk run's names never give up for time
    for (const auto& registry : registries) {
        if (registry->rdap)
            settings.rdapOverrides.insert(registry->tld,
                                          registry->rdap->baseUrl() + QStringLiteral("/rdap/"));
        else {
            settings.whoisServers.insert(registry->tld, registry->server());
            settings.whoisAddresses.insert(registry->server(), registry->whois->address());
        }
        settings.limits.insert(registry->server(), ServerLimit{double(registry->rate), 1, 4, 0});
    }
    return settings;
}

// The floor the limits set: the slowest registry's names over its rate.
double FloorSeconds(const std::vector<std::unique_ptr<Registry>>& registries, int names)
{
    double floor = 0;
    for (const auto& registry : registries)
        floor = std::max(floor, names / 8.0 / registry->rate);
    return floor;
}

void ReportLimits(const char* phase, const std::vector<std::unique_ptr<Registry>>& registries)
{
    int beyond = 0;
    QStringList busiest;
    for (const auto& registry : registries) {
        beyond += registry->arrivals().refused();
        busiest.append(QStringLiteral("%1 %2/%3")
                           .arg(registry->tld)
                           .arg(registry->arrivals().busiestSecond())
                           .arg(registry->rate + 1));
    }
    std::printf("%s: answers beyond a limit %d; busiest second per registry (seen/allowed): %s\n", phase,
                beyond, qPrintable(busiest.join(u", ")));
}

// (a)
void InProcess()
{
    const QStringList names = Names(kNames);
    const auto registries = MakeRegistries(names);
    QNetworkAccessManager network;
    SystemClock clock;
    LookupService service(EngineSettings(registries), network, clock);
    const long before = bench::StatusKb("VmRSS");
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
    while (answered < kNames && wall.elapsed() < 180000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    const double seconds = wall.elapsed() / 1000.0;
    const double floor = FloorSeconds(registries, kNames);
    std::printf("(a) %d names in process: %.1f s, floor %.1f s (target at most %.1f s); %d found, %d lost; "
                "resident memory grew %.1f MB\n",
                kNames, seconds, floor, floor * 1.1 + 2, found, kNames - found,
                (bench::StatusKb("VmRSS") - before) / 1024.0);
    ReportLimits("(a)", registries);
}

// (b)
void ThroughWhoisd()
{
    const QStringList names = Names(kNames);
    // Port 43 only: whoisd, another process, does not trust the fakes' test certificates.
    const auto registries = MakeRegistries(names, 0, true);
    const QString certs = QStringLiteral(WHOIS_TEST_CERT_DIR);
    QStringList arguments{QStringLiteral("--port"),          QString::number(kWhoisdPort),
                          QStringLiteral("--cert"),          certs + QStringLiteral("/server.crt"),
                          QStringLiteral("--key"),           certs + QStringLiteral("/server.key"),
                          QStringLiteral("--bootstrap-url"), QString()};
    const ServiceSettings settings = EngineSettings(registries);
    for (auto it = settings.rdapOverrides.cbegin(); it != settings.rdapOverrides.cend(); ++it)
        arguments << QStringLiteral("--rdap") << it.key() + u'=' + it.value();
    for (auto it = settings.whoisServers.cbegin(); it != settings.whoisServers.cend(); ++it)
        arguments << QStringLiteral("--whois-server") << it.key() + u'=' + it.value();
    for (auto it = settings.whoisAddresses.cbegin(); it != settings.whoisAddresses.cend(); ++it)
        arguments << QStringLiteral("--whois-address") << it.key() + u'=' + it.value();
    for (auto it = settings.limits.cbegin(); it != settings.limits.cend(); ++it)
        arguments << QStringLiteral("--limit")
                  << QStringLiteral("%1=%2,burst=1,concurrency=4").arg(it.key()).arg(it->rate);
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
    while (answered < kNames && wall.elapsed() < 150000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
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
        while (answered < asked && wall.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
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
