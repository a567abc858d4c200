#pragma once

#include "service/config/settings.h"
#include "service/engine/bootstrap.h"
#include "service/engine/clock.h"
#include "service/engine/domain_name.h"
#include "service/engine/upstream_fetch.h"
#include "service/engine/upstream_gate.h"
#include "service/engine/upstream_policy.h"
#include "service/metrics/metrics.h"
#include "service/record/whois_record.h"

#include <QObject>

#include <functional>
#include <memory>

class QNetworkAccessManager;
struct WhoisText;

// Asks the registries about one name: RDAP where a server is known for the TLD (and the
// registrar's RDAP server when the registry's record has no contacts), else, or when RDAP
// cannot answer, port 43 from the directory or IANA's referral, following a thin
// registry's referral once. Every request waits for its server's turn at the gate; the
// result says which protocol it came from. Port-43 sockets are children of this object.
class RegistryAsker final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(LookupResult)>;
    using AskersPtr = std::shared_ptr<Askers>;

    // Everything given by reference outlives the asker (the service owns both). `metrics`,
    // when given, counts upstream requests and their waits.
    RegistryAsker(const ServiceSettings& settings, QNetworkAccessManager& network, Clock& clock,
                  ServerDirectory& directory, UpstreamGate& gate, const OutboundPolicy& policy,
                  const UpstreamLimits& limits, Metrics* metrics, QObject* parent = nullptr);

    // `done` runs once, on this object's thread, with the registries' verdict.
    void ask(const DomainName& name, const AskersPtr& askers, Done done);

private:
    // Counts the time a request waits for the server's pace and for its answer: call
    // the timer when the request goes, what it returns when the answer comes (none
    // without metrics).
    using UpstreamTimer = std::function<std::function<void()>()>;
    UpstreamTimer timeUpstream(const QString& server);
    void lookupRdap(const DomainName& name, const QString& base, const AskersPtr& askers, Done done);
    void followRegistrar(const DomainName& name, LookupResult found, const QString& link,
                         const AskersPtr& askers, Done done);
    void lookupPort43(const DomainName& name, const AskersPtr& askers, Done done);
    void lookupWhois(const DomainName& name, const QString& server, const AskersPtr& askers, Done done);
    void askIana(const DomainName& name, const AskersPtr& askers, Done done);
    // `text` is meaningful only when `failure` is None. A server that refused for too
    // many queries, and one the gate would not ask, give a text that says so.
    using WhoisDone = std::function<void(FailureReason failure, const WhoisText& text)>;
    void fetchWhois(const QString& server, const QString& query, const AskersPtr& askers, WhoisDone done);
    // A server that refused for too many queries, or one the gate would not ask, gives 429.
    void fetchHttp(const QUrl& url, const OutboundPolicy& policy, const AskersPtr& askers,
                   std::function<void(HttpAnswer)> done);

    const ServiceSettings& m_settings;
    QNetworkAccessManager& m_network;
    Clock& m_clock;
    ServerDirectory& m_directory;
    UpstreamGate& m_gate;
    const OutboundPolicy& m_policy;
    Metrics* m_metrics;
    const UpstreamLimits& m_limits;
};
