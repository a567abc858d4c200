#pragma once

#include "bootstrap.h"
#include "clock.h"
#include "domain_name.h"
#include "lookup_cache.h"
#include "settings.h"
#include "upstream_fetch.h"
#include "upstream_gate.h"
#include "upstream_policy.h"
#include "whois_record.h"

#include <QObject>
#include <QTimer>

#include <functional>

class QNetworkAccessManager;
struct WhoisText;

// Finds a domain's registration data: from the cache, else RDAP where the registry
// runs it, else port-43 WHOIS (the server from the built-in table or IANA's referral).
class LookupService final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(LookupResult)>;

    LookupService(const ServiceSettings& settings, QNetworkAccessManager& network,
                  QObject* parent = nullptr);

    void lookup(const DomainName& name, Done done);

    // Loads the bootstrap snapshot, then asks IANA for a fresh copy now and daily.
    void startBootstrap();
    void refreshBootstrap();

    ServerDirectory& directory() { return m_directory; }
    LookupCache& cache() { return m_cache; }

private:
    void lookupRdap(const DomainName& name, const QString& base, Done done);
    void followRegistrar(const DomainName& name, LookupResult found, const QString& link, Done done);
    void lookupWhois(const DomainName& name, const QString& server, Done done);
    void askIana(const DomainName& name, Done done);
    void fetchWhois(const QString& server, const QString& query,
                    std::function<void(std::optional<WhoisText>)> done);
    void fetchHttp(const QUrl& url, const OutboundPolicy& policy, std::function<void(HttpAnswer)> done);

    const ServiceSettings m_settings;
    QNetworkAccessManager& m_network;
    SystemClock m_clock;
    OutboundPolicy m_policy;
    ServerDirectory m_directory;
    LookupCache m_cache;
    UpstreamGate m_gate;
    UpstreamLimits m_limits;
    QTimer m_refresh;
};
