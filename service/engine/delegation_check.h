#pragma once

#include "service/dns/dns_witness.h"
#include "service/engine/clock.h"
#include "service/record/whois_record.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>

// DNS as a second witness. A registry's "not registered", a registry that could not
// be read and one that asks us to wait all leave the user unsure or wrong when the
// name is in fact delegated: DNS is asked for the name's NS records before such an
// answer goes out, and a delegated name is answered as registered. Found answers
// are never checked. DNS verdicts are kept for their TTL, within bounds.
class DelegationCheck final {
public:
    using Done = std::function<void(LookupResult)>;

    // Without a witness, results pass unchanged.
    DelegationCheck(DnsWitness* witness, Clock& clock, QObject* context, int capacity);

    // `done` runs once with the result to answer: `result`, or the row DNS makes of it.
    void apply(const QString& ace, LookupResult result, Done done);

    qsizetype cachedVerdicts() const { return m_verdicts.size(); }

private:
    using Heard = std::function<void(const DnsVerdict&)>;
    void ask(const QString& ace, Heard heard);
    void remember(const QString& ace, const DnsVerdict& verdict);
    void sweep();
    void armSweep();

    struct Entry {
        DnsVerdict verdict;
        Clock::TimePoint expires;
    };
    DnsWitness* m_witness;
    Clock& m_clock;
    QObject* m_context;
    int m_capacity;
    bool m_sweepDue = false;
    QHash<QString, Entry> m_verdicts;
    QHash<QString, QList<Heard>> m_asking; // names asked and not yet answered
};

// The row a DNS verdict makes of a registry's result: a delegated name is registered
// ("已注册", the name servers DNS gave and the registry asked); otherwise the
// registry's result stands.
LookupResult Witnessed(LookupResult registry, const DnsVerdict& dns);
