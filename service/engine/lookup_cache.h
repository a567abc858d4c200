#pragma once

#include "service/engine/clock.h"
#include "service/record/whois_record.h"

#include <QCache>
#include <QString>

#include <chrono>
#include <optional>

// Recent answers by A-label, least recently used first out: found domains for an
// hour, unregistered ones for minutes; failures are never kept.
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
    int size() const { return m_entries.size(); }

private:
    struct Entry {
        LookupResult result;
        Clock::TimePoint expires;
    };
    QCache<QString, Entry> m_entries;
    std::chrono::seconds m_foundTtl;
    std::chrono::seconds m_notRegisteredTtl;
    const Clock& m_clock;
};
