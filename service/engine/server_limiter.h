#pragma once

#include "service/config/server_limits.h"
#include "service/engine/clock.h"

#include <chrono>
#include <deque>

// The pace of one upstream server: a token bucket of `burst` tokens refilled at
// `rate` a second (kept as a theoretical arrival time), at most `concurrency`
// queries in flight, and a cool-down after the server signalled a limit. Time is
// passed in, so it is tested without a clock.
//
// The server counts arrivals, not our starts, and the time from one to the other
// varies (the first requests wait for their connections while later ones go on open
// ones), so requests sent apart can arrive together. The server allows `rate` +
// `burst` in any one second; a request surely arrived by the time it was answered,
// so the next start waits until that many requests back was answered a second ago.
class ServerLimiter final {
public:
    using TimePoint = Clock::TimePoint;

    explicit ServerLimiter(const ServerLimit& limit);

    const ServerLimit& limit() const { return m_limit; }
    // Fewer than `concurrency` in flight, and the request a second's allowance back ended.
    bool hasRoom() const;
    int inFlight() const { return m_inFlight; }
    // The earliest time the next query may start (now, when it may start at once).
    TimePoint nextStart(TimePoint now) const;
    TimePoint coolingUntil() const { return m_coolUntil; }
    bool isCooling(TimePoint now) const { return now < m_coolUntil; }

    // Returns the request's number, which ended() takes.
    quint64 started(TimePoint now);
    void ended(quint64 request, TimePoint now);
    // A query started at `startedAt` met the server's limit: wait `retryAfter` when the
    // server named it, else twice the last wait (2 s at first, 10 min at most). A query
    // sent before the current cool-down began does not lengthen it again.
    void limited(TimePoint now, TimePoint startedAt, std::chrono::seconds retryAfter);
    // A query was answered: each success halves the wait the next signal would start from.
    void answered();

private:
    ServerLimit m_limit;
    std::chrono::nanoseconds m_interval;  // between queries at the steady rate
    std::chrono::nanoseconds m_tolerance; // how far ahead the bucket lets a burst run
    TimePoint m_arrival{};                // when the bucket is full again
    int m_inFlight = 0;
    TimePoint m_coolUntil{};
    TimePoint m_coolStarted{};
    std::chrono::milliseconds m_backOff{0};
    // The last requests (as many as the server allows in a second; none beyond a
    // loopback stand-in's rate): when each ended, TimePoint::max() while in flight.
    qsizetype m_perSecond;
    quint64 m_nextRequest = 0;
    std::deque<TimePoint> m_recentEnds; // request m_nextRequest - size() first
};
