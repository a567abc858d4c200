#include "service/engine/lookup_service.h"

#include "core/app/data_file.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace {

// How often expired answers leave the cache: well within the shortest lifetime.
constexpr std::chrono::minutes kSweepEvery{1};

// A metrics label: a verdict's or a source's name, "none" for none.
QByteArray Label(QLatin1StringView name)
{
    return name.isEmpty() ? QByteArray("none") : QByteArray(name.data(), name.size());
}

// The HTTPS upstreams named in the settings, trusted as configured.
QList<QUrl> ConfiguredUpstreams(const ServiceSettings& settings)
{
    QList<QUrl> upstreams{QUrl(settings.bootstrapUrl)};
    for (const QString& base : settings.rdapOverrides)
        upstreams.append(QUrl(base));
    return upstreams;
}

// The shipped table of limits, its row for unlisted servers as --max-in-flight and
// --min-spacing say, its rows replaced by --limit.
LimitsTable LoadLimits(const ServiceSettings& settings)
{
    LimitsTable table;
    QFile file(LocateDataFile(QStringLiteral("registry-limits.txt")));
    if (file.open(QIODevice::ReadOnly)) {
        QStringList problems;
        table = ParseLimitsTable(file.readAll(), &problems);
        for (const QString& problem : problems)
            LogNotice(settings.logFormat, file.fileName() + QStringLiteral(" skipped, ") + problem);
    } else {
        LogNotice(settings.logFormat,
                  QStringLiteral("no registry-limits.txt: every server gets the default pace"));
    }
    if (settings.maxInFlightPerServer)
        table.fallback.concurrency = *settings.maxInFlightPerServer;
    if (settings.minSpacing)
        table.fallback.rate =
            settings.minSpacing->count() > 0 ? 1000.0 / double(settings.minSpacing->count()) : 1e5;
    for (auto it = settings.limits.cbegin(); it != settings.limits.cend(); ++it)
        table.rows.insert(it.key(), it.value());
    return table;
}

} // namespace

LookupService::LookupService(const ServiceSettings& settings, QNetworkAccessManager& network, Clock& clock,
                             SharedAnswers* shared, SharedPace* pace, Metrics* metrics, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_network(network)
    , m_clock(clock)
    , m_shared(shared)
    , m_metrics(metrics)
    , m_policy(ConfiguredUpstreams(settings), settings.httpsPort)
    , m_cache(settings.cacheEntries, settings.foundTtl, settings.notRegisteredTtl, m_clock)
    , m_dns(settings.dnsWitness ? new DnsWitness(settings.dnsResolvers, settings.dnsTimeout, this) : nullptr)
    , m_delegation(m_dns, m_clock, this, settings.cacheEntries)
    , m_gate(LoadLimits(settings), settings.maxQueue, settings.stateDirectory, m_clock, pace)
    , m_limits{settings.connectTimeout, settings.totalTimeout, settings.maxAnswerBytes}
    , m_registries(m_settings, network, m_clock, m_directory, m_gate, m_policy, m_limits, metrics, this)
    , m_bootstrapStore(settings.stateDirectory,
                       settings.bootstrapFile.isEmpty()
                           ? LocateDataFile(QStringLiteral("rdap-dns-bootstrap.json"))
                           : settings.bootstrapFile)
{
    for (auto it = settings.rdapOverrides.cbegin(); it != settings.rdapOverrides.cend(); ++it)
        m_directory.addRdapOverride(it.key(), it.value());
    for (auto it = settings.whoisServers.cbegin(); it != settings.whoisServers.cend(); ++it)
        m_directory.addWhoisOverride(it.key(), it.value());
    if (m_dns && !m_dns->error().isEmpty())
        LogNotice(m_settings.logFormat, QStringLiteral("DNS cannot be asked: ") + m_dns->error());
    connect(&m_gate, &UpstreamGate::coolingDown, this, [this](const QString& server, qint64 milliseconds) {
        LogNotice(m_settings.logFormat,
                  QStringLiteral("%1 signalled a limit: not asked for %2 ms").arg(server).arg(milliseconds));
        if (m_metrics)
            m_metrics->coolDown(server.toUtf8());
    });
    connect(&m_gate, &UpstreamGate::sharingChanged, this, [this](bool shared, int instances) {
        LogNotice(m_settings.logFormat,
                  shared ? QStringLiteral("limits shared again through the store")
                         : QStringLiteral("limits cannot be shared: each server held to 1/%1 of its limit")
                               .arg(instances));
    });
    m_refresh.setInterval(std::chrono::hours(24));
    connect(&m_refresh, &QTimer::timeout, this, &LookupService::refreshBootstrap);
    sweepNowAndThen();
}

void LookupService::sweepNowAndThen()
{
    m_clock.callAfter(kSweepEvery, this, [this] {
        m_cache.sweep();
        sweepNowAndThen();
    });
}

void LookupService::startBootstrap()
{
    // The server tables are shipped data: beside the service, else installed.
    QFile table(LocateDataFile(QStringLiteral("whois-servers.txt")));
    if (table.open(QIODevice::ReadOnly))
        m_directory.loadWhoisTable(table.readAll());
    QFile rdapTable(LocateDataFile(QStringLiteral("rdap-servers.txt")));
    if (rdapTable.open(QIODevice::ReadOnly))
        m_directory.loadRdapTable(rdapTable.readAll());
    for (const QString& path : m_bootstrapStore.candidates()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        if (m_directory.loadBootstrap(file.readAll()))
            break;
        LogNotice(m_settings.logFormat, path + QStringLiteral(" is not a bootstrap file"));
    }
    refreshBootstrap();
    m_refresh.start();
}

void LookupService::refreshBootstrap()
{
    if (m_settings.bootstrapUrl.isEmpty())
        return;
    FetchHttp(m_network, QUrl(m_settings.bootstrapUrl), m_policy, m_limits, [this](HttpAnswer answer) {
        if (answer.status != 200 || !m_directory.loadBootstrap(answer.body))
            return;
        LogNotice(m_settings.logFormat,
                  QStringLiteral("bootstrap refreshed, %1 TLDs with RDAP").arg(m_directory.rdapCount()));
        if (!m_bootstrapStore.keep(answer.body))
            LogNotice(m_settings.logFormat, QStringLiteral("cannot keep the refreshed bootstrap file in ") +
                                                m_bootstrapStore.keptFile());
    });
}

void LookupService::lookup(const DomainName& name, Done done)
{
    lookup(name, LookupCaller{{}, m_clock.now() + m_settings.answerWithin}, std::move(done));
}

void LookupService::lookup(const DomainName& name, LookupCaller caller, Done done)
{
    if (m_metrics)
        done = [metrics = m_metrics, done = std::move(done)](LookupResult result) {
            const bool unreachable =
                result.status == LookupStatus::UpstreamFailed &&
                (result.reason == FailureReason::Timeout || result.reason == FailureReason::CannotConnect);
            metrics->lookup(Label(VerdictName(VerdictOf(result))), Label(SourceName(result.source)),
                            unreachable);
            done(std::move(result));
        };
    std::optional<LookupResult> cached = m_cache.find(name.ace);
    if (m_metrics)
        m_metrics->cache("local", cached.has_value());
    if (cached) {
        cached->record.domain = name.unicode;
        done(*cached);
        return;
    }
    if (m_shared && !m_flights.contains(name.ace))
        findShared(name, std::move(caller), std::move(done));
    else
        ask(name, std::move(caller), std::move(done));
}

void LookupService::findShared(const DomainName& name, LookupCaller caller, Done done)
{
    // The claim lasts as long as this caller waits: an asker that dies lets the others ask.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(caller.deadline - m_clock.now());
    const auto hold = std::max(std::min(left, m_settings.answerWithin), std::chrono::milliseconds(1000));
    m_shared->look(name.ace, hold,
                   [this, name, caller, done = std::move(done)](SharedAnswers::Look look) mutable {
        switch (look.next) {
        case SharedAnswers::Look::Next::Use:
            if (m_metrics)
                m_metrics->cache("shared", true);
            m_cache.store(name.ace, look.hit->result, look.hit->left);
            look.hit->result.record.domain = name.unicode;
            done(std::move(look.hit->result));
            return;
        case SharedAnswers::Look::Next::Ask:
            if (m_metrics)
                m_metrics->cache("shared", false);
            ask(name, std::move(caller), std::move(done));
            return;
        case SharedAnswers::Look::Next::Wait: break;
        }
        // Another instance (or a lookup here) is asking: its answer lands in the store,
        // or its claim ends and this one asks.
        constexpr std::chrono::milliseconds kLookAgain{100};
        if (caller.hasGone() || m_clock.now() + kLookAgain >= caller.deadline) {
            LookupResult late =
                LookupResult::failed(LookupStatus::UpstreamFailed, firstServer(name), FailureReason::Timeout);
            late.record.domain = name.unicode;
            done(std::move(late));
            return;
        }
        m_clock.callAfter(kLookAgain, this, [this, name, caller, done = std::move(done)]() mutable {
            if (std::optional<LookupResult> cached = m_cache.find(name.ace)) {
                cached->record.domain = name.unicode;
                done(std::move(*cached));
            } else if (m_flights.contains(name.ace)) {
                ask(name, std::move(caller), std::move(done));
            } else {
                findShared(name, std::move(caller), std::move(done));
            }
        });
    });
}

QString LookupService::firstServer(const DomainName& name) const
{
    const QString base = m_directory.rdapBase(name.tld);
    const QString first = base.isEmpty() ? m_directory.whoisServer(name.tld) : QUrl(base).host();
    return first.isEmpty() ? m_settings.ianaWhois : first;
}

void LookupService::ask(const DomainName& name, LookupCaller caller, Done done)
{
    const QString first = firstServer(name);

    // A name already being looked up is asked upstream once for everyone.
    if (const std::shared_ptr<Flight> flight = m_flights.value(name.ace)) {
        flight->askers->add(caller);
        wait(name, caller, first, flight, std::move(done));
        return;
    }
    auto flight = std::make_shared<Flight>();
    flight->askers = std::make_shared<Askers>(caller);
    m_flights.insert(name.ace, flight);
    wait(name, caller, first, flight, std::move(done));

    Done store = [this, ace = name.ace, flight](LookupResult registry) {
        // DNS's word before the answer goes out; the flight still gathers askers meanwhile.
        m_delegation.apply(ace, std::move(registry), [this, ace, flight](LookupResult result) {
            m_cache.store(ace, result);
            if (m_shared)
                m_shared->keep(ace, result, m_cache.ttlFor(result)); // failures only end the claim
            if (m_flights.value(ace) == flight)
                m_flights.remove(ace);
            for (const Done& waiter : std::exchange(flight->waiters, {}))
                waiter(result);
        });
    };
    m_registries.ask(name, flight->askers, std::move(store));
}

void LookupService::wait(const DomainName& name, const LookupCaller& caller, const QString& first,
                         const std::shared_ptr<Flight>& flight, Done done)
{
    // Whichever comes first, the result or the deadline, answers; a late result still
    // goes into the cache.
    auto pending = std::make_shared<Done>(std::move(done));
    const auto answer = [pending, unicode = name.unicode](LookupResult result) {
        result.record.domain = unicode;
        if (*pending)
            std::exchange(*pending, nullptr)(std::move(result));
    };
    flight->waiters.append(answer);
    // DNS has its say on a late answer too (a registry that keeps us waiting may hold a
    // registered name), so the upstreams get the caller's time less DNS's.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(caller.deadline - m_clock.now()) -
                      (m_dns ? m_settings.dnsTimeout : std::chrono::milliseconds(0));
    m_clock.callAfter(std::max(left, std::chrono::milliseconds(0)), this,
                      [this, answer, first, ace = name.ace, askers = std::weak_ptr<Askers>(flight->askers)] {
        // Still waiting for its turn: our pace, not the upstream, ran out of time.
        const std::shared_ptr<Askers> waiting = askers.lock();
        m_delegation.apply(ace,
                           waiting && waiting->queued ? LookupResult::failed(LookupStatus::RateLimited, first)
                                                      : LookupResult::failed(LookupStatus::UpstreamFailed,
                                                                             first, FailureReason::Timeout),
                           answer);
    });
}
