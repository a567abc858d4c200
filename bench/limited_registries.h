#pragma once

// Eight loopback registries (four RDAP, four port 43), each allowing its own number of
// queries a second and answering its limit signal beyond that, and the engine settings
// that point at them; shared by the pace benchmarks.
#include "service/config/settings.h"
#include "support/fake_whois_server.h"
#include "support/limited_rdap.h"
#include "support/test_https_server.h"
#include "support/window_counter.h"

#include <QEventLoop>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace bench {

// Runs an event loop until `done` holds or `milliseconds` pass. A loop that runs,
// unlike processEvents() outside one, also deletes what was let go with
// deleteLater(), as a program's own loop does.
inline void RunUntil(const std::function<bool()>& done, int milliseconds)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(20);
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Registry i's TLD: "zza", "zzb", ... (no real TLD, so nothing else answers for it);
// the even ones are RDAP registries, the odd ones port 43.
inline QString Tld(int i)
{
    return QStringLiteral("zz") + QChar(u'a' + i);
}

inline bool IsRdapTld(const QString& tld)
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

inline std::vector<std::unique_ptr<Registry>> MakeRegistries(const QStringList& names, int instantRate = 0,
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
            registry->rdap->setKeepRequests(false);
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

inline QStringList Names(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(QStringLiteral("name%1.").arg(i) + Tld(i % 8));
    return names;
}

inline ServiceSettings EngineSettings(const std::vector<std::unique_ptr<Registry>>& registries)
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
inline double FloorSeconds(const std::vector<std::unique_ptr<Registry>>& registries, int names)
{
    double floor = 0;
    for (const auto& registry : registries)
        floor = std::max(floor, names / 8.0 / registry->rate);
    return floor;
}

inline void ReportLimits(const char* phase, const std::vector<std::unique_ptr<Registry>>& registries)
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

// The lookup options that give whoisd or whois-bulk the same upstreams and limits.
inline QStringList LookupArguments(const ServiceSettings& settings)
{
    QStringList arguments{QStringLiteral("--bootstrap-url"), QString()};
    for (auto it = settings.rdapOverrides.cbegin(); it != settings.rdapOverrides.cend(); ++it)
        arguments << QStringLiteral("--rdap") << it.key() + u'=' + it.value();
    for (auto it = settings.whoisServers.cbegin(); it != settings.whoisServers.cend(); ++it)
        arguments << QStringLiteral("--whois-server") << it.key() + u'=' + it.value();
    for (auto it = settings.whoisAddresses.cbegin(); it != settings.whoisAddresses.cend(); ++it)
        arguments << QStringLiteral("--whois-address") << it.key() + u'=' + it.value();
    for (auto it = settings.limits.cbegin(); it != settings.limits.cend(); ++it)
        arguments << QStringLiteral("--limit")
                  << QStringLiteral("%1=%2,burst=%3,concurrency=%4")
                         .arg(it.key())
                         .arg(it->rate)
                         .arg(it->burst)
                         .arg(it->concurrency);
    return arguments;
}

} // namespace bench
