#pragma once

#include "service/engine/clock.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <atomic>
#include <memory>

// Who asks for a lookup and until when. Queues in front of a registry take turns
// between clients; a lookup whose caller has gone, or whose deadline has passed, is
// never sent.
struct LookupCaller {
    QString client;            // the asking address (or a program's own name)
    Clock::TimePoint deadline; // the answer is due by then, whatever upstreams do
    // Set, from any thread, once nobody waits for the answer any more.
    std::shared_ptr<std::atomic<bool>> gone = std::make_shared<std::atomic<bool>>(false);

    bool hasGone() const { return gone && gone->load(std::memory_order_relaxed); }
};

// Everyone waiting for one lookup: its first caller, and whoever asked the same name
// while it ran. Its upstream requests take the first caller's turns.
class Askers final {
public:
    explicit Askers(LookupCaller first) { m_callers.append(std::move(first)); }

    void add(LookupCaller caller) { m_callers.append(std::move(caller)); }
    const QString& client() const { return m_callers.first().client; }

    // Someone still waits who has not gone and whose deadline is ahead.
    bool waiting(Clock::TimePoint now) const
    {
        return std::any_of(m_callers.cbegin(), m_callers.cend(), [now](const LookupCaller& caller) {
            return !caller.hasGone() && now < caller.deadline;
        });
    }
    // The latest deadline of those who have not gone.
    Clock::TimePoint deadline() const
    {
        Clock::TimePoint latest{};
        for (const LookupCaller& caller : m_callers) {
            if (!caller.hasGone())
                latest = std::max(latest, caller.deadline);
        }
        return latest;
    }

    // Whether the lookup waits in a queue for its turn (rather than for an answer).
    bool queued = false;

private:
    QList<LookupCaller> m_callers;
};
