#pragma once

#include "service/engine/clock.h"
#include "service/record/whois_record.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <list>
#include <optional>

// Recent answers by A-label, least recently used first out: found domains for an
// hour, unregistered ones for minutes; failures are never kept. Expired answers go
// when sweep() is called, so that a quiet service gives their memory back.
class LookupCache final {
public:
    LookupCache(int capacity, std::chrono::seconds foundTtl, std::chrono::seconds notRegisteredTtl,
                const Clock& clock);

    std::optional<LookupResult> find(const QString& ace);
    void store(const QString& ace, const LookupResult& result);
    // With a time to live of its own (what is left of a shared answer's).
    void store(const QString& ace, const LookupResult& result, std::chrono::milliseconds ttl);
    // How long a result is kept: zero for those never kept.
    std::chrono::seconds ttlFor(const LookupResult& result) const;
    // Drops every expired answer.
    void sweep();
    int size() const { return int(m_byName.size()); }

private:
    struct Entry {
        QString ace;
        LookupResult result;
        Clock::TimePoint expires;
    };
    using Entries = std::list<Entry>; // most recently used last

    void drop(Entries::iterator entry);

    Entries m_entries;
    QHash<QString, Entries::iterator> m_byName;
    int m_capacity;
    std::chrono::seconds m_foundTtl;
    std::chrono::seconds m_notRegisteredTtl;
    const Clock& m_clock;
};
