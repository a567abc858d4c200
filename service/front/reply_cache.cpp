#include "service/front/reply_cache.h"

#include <mutex>

std::optional<ReplyCache::Entry> ReplyCache::find(const QByteArray& target, Clock::time_point now) const
{
    const std::shared_lock lock(m_mutex);
    const auto it = m_entries.find(std::string(target.constData(), std::size_t(target.size())));
    if (it == m_entries.end() || it->second.expires <= now)
        return std::nullopt;
    return it->second;
}

void ReplyCache::store(const QByteArray& target, Entry entry)
{
    const std::unique_lock lock(m_mutex);
    if (m_entries.size() >= m_capacity)
        m_entries.clear();
    m_entries.insert_or_assign(std::string(target.constData(), std::size_t(target.size())), std::move(entry));
}

void ReplyCache::sweep(Clock::time_point now)
{
    const std::unique_lock lock(m_mutex);
    std::erase_if(m_entries, [now](const auto& entry) { return entry.second.expires <= now; });
}

std::size_t ReplyCache::size() const
{
    const std::shared_lock lock(m_mutex);
    return m_entries.size();
}
