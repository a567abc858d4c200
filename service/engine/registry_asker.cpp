#include "service/engine/registry_asker.h"

#include "service/readers/rdap_parse.h"
#include "service/readers/whois_text_parse.h"

namespace {

constexpr std::chrono::seconds kNoRetryAfter{0};

FailureReason ReasonFor(UpstreamError error)
{
    switch (error) {
    case UpstreamError::Timeout: return FailureReason::Timeout;
    case UpstreamError::CannotConnect: return FailureReason::CannotConnect;
    case UpstreamError::TooLarge: return FailureReason::Unreadable;
    case UpstreamError::None: break;
    }
    return FailureReason::None;
}

// Why an RDAP answer that is neither a record nor "not found" is of no use.
FailureReason RdapFailure(const HttpAnswer& answer)
{
    if (answer.error != UpstreamError::None)
        return ReasonFor(answer.error);
    if (answer.status == 0)
        return FailureReason::CannotConnect;
    if (answer.status >= 400)
        return FailureReason::Refused;
    return FailureReason::Unreadable;
}

LookupResult FromRdap(LookupResult result)
{
    result.source = LookupSource::Rdap;
    return result;
}

LookupResult FromWhois(LookupResult result)
{
    result.source = LookupSource::Whois;
    return result;
}

// A registry that said "no" (4xx) would say it over port 43 too; one that could not
// answer (no connection, time-out, 5xx, an unreadable answer) may still answer there.
bool WorthAskingPort43(const HttpAnswer& answer)
{
    return answer.status < 400 || answer.status >= 500;
}

// The gate's name for an RDAP server: its host, and the port when not the scheme's own.
QString ServerKey(const QUrl& url)
{
    const int port = url.port();
    const int usual = url.scheme() == u"http" ? 80 : 443;
    return port < 0 || port == usual ? url.host() : url.host() + u':' + QString::number(port);
}

} // namespace

RegistryAsker::RegistryAsker(const ServiceSettings& settings, QNetworkAccessManager& network, Clock& clock,
                             ServerDirectory& directory, UpstreamGate& gate, const OutboundPolicy& policy,
                             const UpstreamLimits& limits, Metrics* metrics, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_network(network)
    , m_clock(clock)
    , m_directory(directory)
    , m_gate(gate)
    , m_policy(policy)
    , m_metrics(metrics)
    , m_limits(limits)
{
}

void RegistryAsker::ask(const DomainName& name, const AskersPtr& askers, Done done)
{
    if (const QString base = m_directory.rdapBase(name.tld); !base.isEmpty())
        lookupRdap(name, base, askers, std::move(done));
    else
        lookupPort43(name, askers, std::move(done));
}

RegistryAsker::UpstreamTimer RegistryAsker::timeUpstream(const QString& server)
{
    if (!m_metrics)
        return {};
    const Clock::TimePoint asked = m_clock.now();
    Metrics* metrics = m_metrics;
    Clock* clock = &m_clock;
    const QByteArray name = server.toUtf8();
    return [metrics, clock, name, asked]() -> std::function<void()> {
        const Clock::TimePoint started = clock->now();
        if (started - asked >= std::chrono::milliseconds(1))
            metrics->limitWait(name, started - asked);
        return [metrics, clock, name, started] { metrics->upstream(name, clock->now() - started); };
    };
}

void RegistryAsker::lookupPort43(const DomainName& name, const AskersPtr& askers, Done done)
{
    if (const QString server = m_directory.whoisServer(name.tld); !server.isEmpty())
        lookupWhois(name, server, askers, std::move(done));
    else
        askIana(name, askers, std::move(done));
}

void RegistryAsker::fetchHttp(const QUrl& url, const OutboundPolicy& policy, const AskersPtr& askers,
                              std::function<void(HttpAnswer)> done)
{
    const auto send =
        [this, url, policy, done, started = timeUpstream(url.host())](UpstreamGate::Finish finish) {
        const std::function<void()> answered = started ? started() : std::function<void()>();
        FetchHttp(m_network, url, policy, m_limits, [done, finish, answered](HttpAnswer answer) {
            if (answered)
                answered();
            if (IsRdapLimitSignal(answer.status, answer.body)) {
                finish(UpstreamGate::Outcome::Limited, answer.retryAfter);
                return;
            }
            const bool answered =
                answer.error == UpstreamError::None && answer.status > 0 && answer.status < 500;
            finish(answered ? UpstreamGate::Outcome::Answered : UpstreamGate::Outcome::Failed, kNoRetryAfter);
            done(std::move(answer));
        });
    };
    m_gate.ask(ServerKey(url), askers, send, [done](UpstreamGate::Refusal why) {
        HttpAnswer refused;
        if (why == UpstreamGate::Refusal::NobodyWaits)
            refused.error = UpstreamError::Timeout;
        else
            refused.status = 429;
        done(std::move(refused));
    });
}

void RegistryAsker::lookupRdap(const DomainName& name, const QString& base, const AskersPtr& askers,
                               Done done)
{
    const QUrl url(base + QStringLiteral("domain/") + name.ace);
    // The registry comes from the directory, which only configured sources fill.
    fetchHttp(url, m_policy.trusting(url), askers,
              [this, name, askers, host = url.host(), done = std::move(done)](HttpAnswer answer) {
        if (answer.status == 404) {
            done(FromRdap(LookupResult::failed(LookupStatus::NotRegistered, host)));
            return;
        }
        if (answer.status == 429) {
            done(FromRdap(LookupResult::failed(LookupStatus::RateLimited, host)));
            return;
        }
        const std::optional<RdapDomain> parsed =
            answer.status == 200 ? ParseRdapDomain(answer.body) : std::nullopt;
        if (!parsed) {
            const QString server = m_directory.whoisServer(name.tld);
            if (WorthAskingPort43(answer) && !server.isEmpty())
                lookupWhois(name, server, askers, std::move(done));
            else
                done(FromRdap(LookupResult::failed(LookupStatus::UpstreamFailed, host, RdapFailure(answer))));
            return;
        }
        LookupResult found = FromRdap(LookupResult::found(parsed->record, host));
        found.record.domain = name.unicode;
        if (found.record.whoisServer.isEmpty())
            found.record.whoisServer = host;
        if (!parsed->hasContacts && !parsed->registrarLink.isEmpty())
            followRegistrar(name, std::move(found), parsed->registrarLink, askers, std::move(done));
        else
            done(std::move(found));
    });
}

void RegistryAsker::followRegistrar(const DomainName& name, LookupResult found, const QString& link,
                                    const AskersPtr& askers, Done done)
{
    const QUrl url(link);
    // A link back to the registry itself is as trusted as the registry; any other is checked.
    const OutboundPolicy policy = m_policy.trusting(QUrl(m_directory.rdapBase(name.tld)));
    if (!policy.mayRequest(url)) {
        done(std::move(found));
        return;
    }
    fetchHttp(url, policy, askers,
              [found = std::move(found), done = std::move(done), name](HttpAnswer answer) mutable {
        // The registry's answer stands on its own when the registrar's fails.
        if (answer.status == 200) {
            if (const std::optional<RdapDomain> registrar = ParseRdapDomain(answer.body)) {
                MergeRegistrarRecord(found.record, registrar->record);
                found.record.domain = name.unicode;
            }
        }
        done(std::move(found));
    });
}

void RegistryAsker::fetchWhois(const QString& server, const QString& query, const AskersPtr& askers,
                               WhoisDone done)
{
    const QString target = m_settings.whoisAddresses.value(server, server);
    const qsizetype colon = target.lastIndexOf(u':');
    const QString address = colon > 0 ? target.left(colon) : target;
    const quint16 port =
        colon > 0 ? static_cast<quint16>(target.mid(colon + 1).toUInt()) : m_settings.whoisPort;
    const QByteArray codePage = WhoisLegacyCodePage(query.section(u'.', -1));
    // Servers the settings do not name (the shipped table, IANA's and registries' referrals)
    // are connected to on public addresses only.
    const bool publicOnly = !m_settings.whoisAddresses.contains(server) && server != m_settings.ianaWhois &&
                            !m_settings.whoisServers.values().contains(server);
    const auto send = [this, address, port, query, publicOnly, codePage, done,
                       started = timeUpstream(server)](UpstreamGate::Finish finish) {
        const std::function<void()> answered = started ? started() : std::function<void()>();
        FetchWhois(*this, address, port, query, publicOnly, m_limits,
                   [codePage, query, done, finish, answered](WhoisAnswer answer) {
            if (answered)
                answered();
            if (answer.error != UpstreamError::None) {
                finish(UpstreamGate::Outcome::Failed, kNoRetryAfter);
                done(ReasonFor(answer.error), WhoisText{});
                return;
            }
            const WhoisText text =
                ParseWhoisText(DecodeWhoisAnswer(answer.text, codePage), query.section(u'.', -1));
            if (text.rateLimited) {
                finish(UpstreamGate::Outcome::Limited, kNoRetryAfter);
                return;
            }
            finish(UpstreamGate::Outcome::Answered, kNoRetryAfter);
            done(FailureReason::None, text);
        });
    };
    m_gate.ask(server, askers, send, [done](UpstreamGate::Refusal why) {
        if (why == UpstreamGate::Refusal::NobodyWaits) {
            done(FailureReason::Timeout, WhoisText{});
            return;
        }
        WhoisText refused;
        refused.rateLimited = true;
        done(FailureReason::None, refused);
    });
}

void RegistryAsker::lookupWhois(const DomainName& name, const QString& server, const AskersPtr& askers,
                                Done done)
{
    fetchWhois(server, name.ace, askers,
               [name, server, askers, this, done = std::move(done)](FailureReason failure,
                                                                    const WhoisText& registry) {
        if (failure != FailureReason::None) {
            done(FromWhois(LookupResult::failed(LookupStatus::UpstreamFailed, server, failure)));
            return;
        }
        if (registry.rateLimited) {
            done(FromWhois(LookupResult::failed(LookupStatus::RateLimited, server)));
            return;
        }
        if (registry.notRegistered) {
            done(FromWhois(LookupResult::failed(LookupStatus::NotRegistered, server)));
            return;
        }
        LookupResult found = FromWhois(LookupResult::found(registry.record, server));
        found.record.domain = name.unicode;
        found.record.whoisServer = server;
        const QString referral = registry.referral;
        const bool shown = ShowsRecord(registry);
        if (referral.isEmpty() || referral == server || !IsFollowableHost(referral)) {
            if (!shown)
                found = LookupResult::failed(LookupStatus::UpstreamFailed, server, FailureReason::Unreadable);
            done(std::move(found));
            return;
        }
        // A thin registry names the registrar's server: ask it once.
        fetchWhois(referral, name.ace, askers,
                   [found, shown, referral, done](FailureReason registrarFailure,
                                                  const WhoisText& registrar) mutable {
            const bool registrarShown = registrarFailure == FailureReason::None && ShowsRecord(registrar);
            if (registrarShown) {
                MergeRegistrarRecord(found.record, registrar.record);
                found.record.whoisServer = referral;
                found.upstream = referral;
            }
            if (!shown && !registrarShown)
                found = LookupResult::failed(LookupStatus::UpstreamFailed, found.upstream,
                                             FailureReason::Unreadable);
            done(std::move(found));
        });
    });
}

void RegistryAsker::askIana(const DomainName& name, const AskersPtr& askers, Done done)
{
    const QString iana = m_settings.ianaWhois;
    fetchWhois(
        iana, name.tld, askers,
        [this, name, iana, askers, done = std::move(done)](FailureReason failure, const WhoisText& answer) {
        if (failure != FailureReason::None) {
            done(LookupResult::failed(LookupStatus::UpstreamFailed, iana, failure));
            return;
        }
        const QString server = answer.ianaRefer;
        if (server.isEmpty() || !IsFollowableHost(server)) {
            done(LookupResult::invalid(name.unicode, iana));
            return;
        }
        m_directory.addWhoisServer(name.tld, server);
        lookupWhois(name, server, askers, std::move(done));
        });
}
