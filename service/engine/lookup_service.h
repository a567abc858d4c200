#pragma once

#include "service/engine/bootstrap.h"
#include "service/engine/bootstrap_store.h"
#include "service/engine/clock.h"
#include "service/engine/domain_name.h"
#include "service/engine/lookup_cache.h"
#include "service/engine/lookup_caller.h"
#include "service/config/settings.h"
#include "service/engine/upstream_fetch.h"
#include "service/engine/upstream_gate.h"
#include "service/engine/upstream_policy.h"
#include "service/record/whois_record.h"

#include <QObject>
#include <QTimer>

#include <functional>

class QNetworkAccessManager;
struct WhoisText;

// Finds a domain's registration data: from the cache, else RDAP where a server is
// known for the TLD, else (or when RDAP fails to answer) port-43 WHOIS, from the
// shipped table or IANA's referral. Every lookup ends in exactly one result.
class LookupService final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(LookupResult)>;

    LookupService(const ServiceSettings& settings, QNetworkAccessManager& network, Clock& clock,
                  QObject* parent = nullptr);

    // `done` runs once, on this object's thread, by the caller's deadline at the latest.
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
    // The time deadlines are set in; read it on this object's thread.
    const Clock& clock() const { return m_clock; }

private:
    void sweepNowAndThen();
    void lookupRdap(const DomainName& name, const QString& base, Done done);
    void followRegistrar(const DomainName& name, LookupResult found, const QString& link, Done done);
    void lookupPort43(const DomainName& name, Done done);
    void lookupWhois(const DomainName& name, const QString& server, Done done);
    void askIana(const DomainName& name, Done done);
    // `text` is meaningful only when `failure` is None.
    using WhoisDone = std::function<void(FailureReason failure, const WhoisText& text)>;
    void fetchWhois(const QString& server, const QString& query, WhoisDone done);
    void fetchHttp(const QUrl& url, const OutboundPolicy& policy, std::function<void(HttpAnswer)> done);

    const ServiceSettings m_settings;
    QNetworkAccessManager& m_network;
    Clock& m_clock;
    OutboundPolicy m_policy;
    ServerDirectory m_directory;
    LookupCache m_cache;
    UpstreamGate m_gate;
    UpstreamLimits m_limits;
    BootstrapStore m_bootstrapStore;
    QTimer m_refresh;
};
