#include "service/engine/lookup_cache.h"

LookupCache::LookupCache(int capacity, std::chrono::seconds foundTtl, std::chrono::seconds notRegisteredTtl,
                         const Clock& clock)
    : m_entries(capacity)
    , m_foundTtl(foundTtl)
    , m_notRegisteredTtl(notRegisteredTtl)
    , m_clock(clock)
{
}

std::optional<LookupResult> LookupCache::find(const QString& ace)
{
    const Entry* entry = m_entries.object(ace);
    if (!entry)
        return std::nullopt;
    if (m_clock.now() >= entry->expires) {
        m_entries.remove(ace);
        return std::nullopt;
    }
    return entry->result;
}

std::chrono::seconds LookupCache::ttlFor(const LookupResult& result) const
{
    if (result.status == LookupStatus::Found)
        return m_foundTtl;
    if (result.status == LookupStatus::NotRegistered)
        return m_notRegisteredTtl;
    return std::chrono::seconds(0);
}

void LookupCache::store(const QString& ace, const LookupResult& result)
{
    store(ace, result, ttlFor(result));
}

void LookupCache::store(const QString& ace, const LookupResult& result, std::chrono::milliseconds ttl)
{
    if (ttl.count() <= 0 || m_entries.maxCost() <= 0)
        return;
    m_entries.insert(ace, new Entry{result, m_clock.now() + ttl});
}
