#include "service/engine/lookup_cache.h"

LookupCache::LookupCache(int capacity, std::chrono::seconds foundTtl, std::chrono::seconds notRegisteredTtl,
                         const Clock& clock)
    : m_capacity(capacity)
    , m_foundTtl(foundTtl)
    , m_notRegisteredTtl(notRegisteredTtl)
    , m_clock(clock)
{
}

std::optional<LookupResult> LookupCache::find(const QString& ace)
{
    const auto it = m_byName.constFind(ace);
    if (it == m_byName.cend())
        return std::nullopt;
    const Entries::iterator entry = *it;
    if (m_clock.now() >= entry->expires) {
        drop(entry);
        return std::nullopt;
    }
    m_entries.splice(m_entries.end(), m_entries, entry);
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
    if (ttl.count() <= 0 || m_capacity <= 0)
        return;
    if (const auto it = m_byName.constFind(ace); it != m_byName.cend())
        drop(*it);
    else if (int(m_byName.size()) >= m_capacity)
        drop(m_entries.begin());
    m_byName.insert(ace, m_entries.insert(m_entries.end(), Entry{ace, result, m_clock.now() + ttl}));
}

void LookupCache::sweep()
{
    const Clock::TimePoint now = m_clock.now();
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        const auto next = std::next(entry);
        if (now >= entry->expires)
            drop(entry);
        entry = next;
    }
}

void LookupCache::drop(Entries::iterator entry)
{
    m_byName.remove(entry->ace);
    m_entries.erase(entry);
}
