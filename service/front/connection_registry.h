#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// The open connections, least recently active first. At the cap a newcomer takes the
// place of the connection idle longest, so that clients holding connections open
// cannot lock others out; only when every connection is busy is a newcomer refused.
// Used from every thread that serves connections.
class ConnectionRegistry final {
public:
    class Member {
    public:
        virtual ~Member() = default;
        // Asks the connection to close; called from any thread.
        virtual void evict() = 0;
    };

    struct Entry {
        std::shared_ptr<Member> member;
        bool busy = false;    // a request is being answered
        bool evicted = false; // told to go, no longer counted
    };
    using Ticket = std::list<Entry>::iterator;

    explicit ConnectionRegistry(std::size_t cap)
        : m_cap(cap)
    {
    }

    // Holds the member until it is removed; nothing when it is refused.
    std::optional<Ticket> admit(std::shared_ptr<Member> member);
    // Marks a connection busy or idle, and the most recently active.
    void setBusy(Ticket ticket, bool busy);
    void remove(Ticket ticket);
    std::size_t size() const;

    // True once each time the count has fallen far below its peak since the last
    // call: a good moment to hand freed memory back.
    bool shrank(std::size_t by);

    // Every member, for closing them all.
    std::vector<std::shared_ptr<Member>> members() const;

private:
    mutable std::mutex m_mutex;
    std::list<Entry> m_entries;
    std::size_t m_cap;
    std::size_t m_count = 0; // entries not evicted
    std::size_t m_peak = 0;
};
