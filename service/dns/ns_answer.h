#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

// What DNS says of a name: delegated (name servers for the name itself), not
// delegated (no such name, or the name without name servers of its own), or unknown
// (no answer in time, a failing or refusing resolver, an answer that cannot be read).
enum class Delegation { Unknown, Delegated, NotDelegated };

struct DnsVerdict {
    Delegation delegation = Delegation::Unknown;
    QStringList nameServers;     // lower case, no final dot; only when delegated
    std::chrono::seconds ttl{0}; // how long DNS says the answer holds; 0 when it does not say
};

// Reads a DNS reply to an NS question about `name` (its A-label, no final dot). NS
// records count only when they belong to the name itself, in the answer or, from a
// server that refers rather than recurses, in the authority section; the parent
// zone's own name servers do not.
DnsVerdict ReadNsAnswer(const QByteArray& reply, const QString& name);
