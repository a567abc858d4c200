#pragma once

#include "bootstrap.h"
#include "bootstrap_store.h"
#include "domain_name.h"
#include "lookup_cache.h"
#include "settings.h"
#include "upstream_fetch.h"
#include "upstream_gate.h"
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

    // Loads the kept bootstrap file (else the snapshot), then asks IANA for a fresh copy
    // now and daily, keeping each good one in the state folder.
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
    void fetchHttp(const QUrl& url, std::function<void(HttpAnswer)> done);

    const ServiceSettings m_settings;
    QNetworkAccessManager& m_network;
    ServerDirectory m_directory;
    LookupCache m_cache;
    UpstreamGate m_gate;
    UpstreamLimits m_limits;
    BootstrapStore m_bootstrapStore;
    QTimer m_refresh;
};
