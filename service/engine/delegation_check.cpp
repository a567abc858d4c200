#include "service/engine/delegation_check.h"

#include "core/protocol/wire_protocol.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;

// How long a verdict is kept: DNS's own TTL, held between bounds. An unknown verdict
// (a resolver down or slow) is kept briefly, so a batch does not wait on it name
// after name, yet a recovered resolver is soon heard again.
std::chrono::seconds KeepFor(const DnsVerdict& verdict)
{
    switch (verdict.delegation) {
    case Delegation::Delegated:
        return std::clamp(verdict.ttl, std::chrono::seconds(60s), std::chrono::seconds(1h));
    case Delegation::NotDelegated:
        return std::clamp(verdict.ttl, std::chrono::seconds(30s), std::chrono::seconds(5min));
    case Delegation::Unknown: break;
    }
    return 30s;
}

constexpr std::chrono::minutes kSweepEvery{1};

bool WorthAsking(const LookupResult& result)
{
    return result.status == LookupStatus::NotRegistered || result.status == LookupStatus::UpstreamFailed ||
           result.status == LookupStatus::RateLimited;
}

} // namespace

LookupResult Witnessed(LookupResult registry, const DnsVerdict& dns)
{
    if (dns.delegation != Delegation::Delegated || !WorthAsking(registry))
        return registry;
    WhoisRecord row;
    row.domain = registry.record.domain;
    row.whoisServer = registry.upstream;
    row.nameServers = dns.nameServers.join(u',');
    row.statuses = wire::kRegistered.toString();
    LookupResult registered = LookupResult::found(std::move(row), registry.upstream);
    registered.source = LookupSource::Dns;
    return registered;
}

DelegationCheck::DelegationCheck(DnsWitness* witness, Clock& clock, QObject* context, int capacity)
    : m_witness(witness)
    , m_clock(clock)
    , m_context(context)
    , m_capacity(capacity)
{
}

void DelegationCheck::apply(const QString& ace, LookupResult result, Done done)
{
    if (!m_witness || !WorthAsking(result)) {
        done(std::move(result));
        return;
    }
    ask(ace, [result = std::move(result), done = std::move(done)](const DnsVerdict& verdict) mutable {
        done(Witnessed(std::move(result), verdict));
    });
}

void DelegationCheck::ask(const QString& ace, Heard heard)
{
    if (const auto kept = m_verdicts.constFind(ace); kept != m_verdicts.cend()) {
        if (m_clock.now() < kept->expires) {
            heard(kept->verdict);
            return;
        }
        m_verdicts.remove(ace);
    }
    // One question in flight a name, however many lookups wait on it.
    QList<Heard>& waiting = m_asking[ace];
    waiting.append(std::move(heard));
    if (waiting.size() > 1)
        return;
    m_witness->askNs(ace, [this, ace](DnsVerdict verdict) {
        remember(ace, verdict);
        for (const Heard& waiter : m_asking.take(ace))
            waiter(verdict);
    });
}

void DelegationCheck::remember(const QString& ace, const DnsVerdict& verdict)
{
    if (m_verdicts.size() >= m_capacity)
        sweep();
    if (m_verdicts.size() >= m_capacity)
        return;
    m_verdicts.insert(ace, Entry{verdict, m_clock.now() + KeepFor(verdict)});
    armSweep();
}

void DelegationCheck::armSweep()
{
    if (m_sweepDue || m_verdicts.isEmpty())
        return;
    m_sweepDue = true;
    m_clock.callAfter(kSweepEvery, m_context, [this] {
        m_sweepDue = false;
        sweep();
        armSweep();
    });
}

void DelegationCheck::sweep()
{
    const Clock::TimePoint now = m_clock.now();
    m_verdicts.removeIf([now](const auto& entry) { return now >= entry.value().expires; });
}
