#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>

// Recent lookup answers by the request's exact target, for the threads serving
// connections: a repeated question is answered there, without a trip to the lookup
// thread. Entries live briefly (the lookup cache decides what is fresh) and go when
// swept; when full, it starts over.
class ReplyCache final {
public:
    using Clock = std::chrono::steady_clock;

    struct Entry {
        QByteArray body;
        QString name; // for the log line: as asked
        QString outcome;
        QString upstream;
        Clock::time_point expires;
    };

    explicit ReplyCache(std::size_t capacity)
        : m_capacity(capacity)
    {
    }

    std::optional<Entry> find(const QByteArray& target, Clock::time_point now) const;
    void store(const QByteArray& target, Entry entry);
    // Drops the entries expired by `now`.
    void sweep(Clock::time_point now);
    std::size_t size() const;

private:
    mutable std::shared_mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
    std::size_t m_capacity;
};
