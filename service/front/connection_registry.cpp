#include "service/front/connection_registry.h"

#include <algorithm>

std::optional<ConnectionRegistry::Ticket> ConnectionRegistry::admit(std::shared_ptr<Member> member)
{
    std::shared_ptr<Member> leaving;
    std::optional<Ticket> ticket;
    {
        const std::lock_guard lock(m_mutex);
        if (m_count >= m_cap) {
            const auto idle = std::find_if(m_entries.begin(), m_entries.end(),
                                           [](const Entry& entry) { return !entry.busy && !entry.evicted; });
            if (idle == m_entries.end())
                return std::nullopt;
            idle->evicted = true;
            --m_count;
            leaving = idle->member;
        }
        ticket = m_entries.insert(m_entries.end(), Entry{std::move(member)});
        m_peak = std::max(m_peak, ++m_count);
    }
    if (leaving)
        leaving->evict();
    return ticket;
}

void ConnectionRegistry::setBusy(Ticket ticket, bool busy)
{
    const std::lock_guard lock(m_mutex);
    ticket->busy = busy;
    m_entries.splice(m_entries.end(), m_entries, ticket);
}

void ConnectionRegistry::remove(Ticket ticket)
{
    std::shared_ptr<Member> member; // released outside the lock
    const std::lock_guard lock(m_mutex);
    if (!ticket->evicted)
        --m_count;
    member = std::move(ticket->member);
    m_entries.erase(ticket);
}

std::size_t ConnectionRegistry::size() const
{
    const std::lock_guard lock(m_mutex);
    return m_count;
}

bool ConnectionRegistry::shrank(std::size_t by)
{
    const std::lock_guard lock(m_mutex);
    if (m_peak < m_count + by)
        return false;
    m_peak = m_count;
    return true;
}

std::vector<std::shared_ptr<ConnectionRegistry::Member>> ConnectionRegistry::members() const
{
    const std::lock_guard lock(m_mutex);
    std::vector<std::shared_ptr<Member>> all;
    for (const Entry& entry : m_entries)
        all.push_back(entry.member);
    return all;
}
