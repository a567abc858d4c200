#pragma once

#include "service/engine/bootstrap.h"
#include "service/engine/bootstrap_store.h"
#include "service/engine/clock.h"
#include "service/engine/delegation_check.h"
#include "service/engine/domain_name.h"
#include "service/engine/lookup_cache.h"
#include "service/engine/lookup_caller.h"
#include "service/engine/registry_asker.h"
#include "service/engine/shared_answers.h"
#include "service/config/settings.h"
#include "service/engine/upstream_fetch.h"
#include "service/engine/upstream_gate.h"
#include "service/engine/upstream_policy.h"
#include "service/metrics/metrics.h"
#include "service/record/whois_record.h"

#include <QObject>
#include <QTimer>

#include <functional>

class QNetworkAccessManager;

// Finds a domain's registration data: from the cache, else RDAP where a server is
// known for the TLD, else (or when RDAP fails to answer) port-43 WHOIS, from the
// shipped table or IANA's referral; DNS has the last word on names the registry did
// not confirm. Every lookup ends in exactly one result. Callers asking a name that is
// being looked up share that lookup; every upstream request waits for its server's
// turn at the gate.
class LookupService final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(LookupResult)>;

    // `shared`, when given, is asked before the upstreams and told their answers; `pace`,
    // when given, paces each upstream server together with other instances; `metrics`,
    // when given, counts lookups, cache hits and upstream requests.
    LookupService(const ServiceSettings& settings, QNetworkAccessManager& network, Clock& clock,
                  SharedAnswers* shared = nullptr, SharedPace* pace = nullptr, Metrics* metrics = nullptr,
                  QObject* parent = nullptr);

    // `done` runs once, on this object's thread, by the caller's deadline at the latest
    // (then a lookup still waiting for its turn is answered "too many", one waiting
    // for an upstream's answer "timed out").
    void lookup(const DomainName& name, LookupCaller caller, Done done);
    // An anonymous caller who waits the settings' answer time.
    void lookup(const DomainName& name, Done done);

    // Loads the port-43 table and the kept bootstrap file (else the snapshot), then asks
    // IANA for a fresh bootstrap copy now and daily, keeping each good one in the state
    // folder.
    void startBootstrap();
    void refreshBootstrap();

    ServerDirectory& directory() { return m_directory; }
    LookupCache& cache() { return m_cache; }
    UpstreamGate& gate() { return m_gate; }
    // Lookups under way (each name once, however many callers wait for it).
    int lookupsUnderWay() const { return static_cast<int>(m_flights.size()); }
    // The time deadlines are set in; read it on this object's thread.
    const Clock& clock() const { return m_clock; }

private:
    using AskersPtr = std::shared_ptr<Askers>;
    void sweepNowAndThen();
    // One name's lookup and everyone waiting for it.
    struct Flight {
        AskersPtr askers;
        QList<Done> waiters;
    };
    // Another instance may have the answer, or be asking for it.
    void findShared(const DomainName& name, LookupCaller caller, Done done);
    // Asks the upstreams, or joins the lookup of the name already under way here.
    void ask(const DomainName& name, LookupCaller caller, Done done);
    // The server a lookup of the name starts at.
    QString firstServer(const DomainName& name) const;
    void wait(const DomainName& name, const LookupCaller& caller, const QString& first,
              const std::shared_ptr<Flight>& flight, Done done);

    const ServiceSettings m_settings;
    QNetworkAccessManager& m_network;
    Clock& m_clock;
    SharedAnswers* m_shared;
    Metrics* m_metrics;
    OutboundPolicy m_policy;
    ServerDirectory m_directory;
    LookupCache m_cache;
    DnsWitness* m_dns = nullptr; // a child; none when switched off
    DelegationCheck m_delegation;
    UpstreamGate m_gate;
    UpstreamLimits m_limits;
    RegistryAsker m_registries;                        // a child: its port-43 sockets go with this object
    QHash<QString, std::shared_ptr<Flight>> m_flights; // by A-label
    BootstrapStore m_bootstrapStore;
    QTimer m_refresh;
};
