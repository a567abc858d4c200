#include "service/engine/server_limiter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::chrono::milliseconds kFirstBackOff = std::chrono::seconds(2);
constexpr std::chrono::milliseconds kLongestBackOff = std::chrono::minutes(10);
// Beyond this many a second the server is a loopback stand-in: its requests are not kept.
constexpr double kMostKept = 1000;

} // namespace

ServerLimiter::ServerLimiter(const ServerLimit& limit)
    : m_limit(limit)
    , m_interval(std::chrono::nanoseconds(static_cast<qint64>(1e9 / std::max(limit.rate, 1e-6))))
    , m_tolerance(m_interval * (std::max(limit.burst, 1) - 1))
    , m_perSecond(limit.rate + limit.burst <= kMostKept
                      ? qsizetype(std::floor(limit.rate + std::max(limit.burst, 1)))
                      : 0)
{
}

bool ServerLimiter::hasRoom() const
{
    const bool windowFull = m_perSecond > 0 && qsizetype(m_recentEnds.size()) == m_perSecond;
    return m_inFlight < m_limit.concurrency && !(windowFull && m_recentEnds.front() == TimePoint::max());
}

ServerLimiter::TimePoint ServerLimiter::nextStart(TimePoint now) const
{
    TimePoint next = std::max({now, m_arrival - m_tolerance, m_coolUntil});
    if (m_perSecond > 0 && qsizetype(m_recentEnds.size()) == m_perSecond &&
        m_recentEnds.front() != TimePoint::max())
        next = std::max(next, m_recentEnds.front() + std::chrono::seconds(1));
    return next;
}

quint64 ServerLimiter::started(TimePoint now)
{
    ++m_inFlight;
    m_arrival = std::max(m_arrival, now) + m_interval;
    if (m_perSecond > 0) {
        m_recentEnds.push_back(TimePoint::max());
        if (qsizetype(m_recentEnds.size()) > m_perSecond)
            m_recentEnds.pop_front();
    }
    return m_nextRequest++;
}

void ServerLimiter::ended(quint64 request, TimePoint now)
{
    m_inFlight = std::max(0, m_inFlight - 1);
    const quint64 first = m_nextRequest - m_recentEnds.size();
    if (request >= first && request < m_nextRequest)
        m_recentEnds[request - first] = now;
}

void ServerLimiter::limited(TimePoint now, TimePoint startedAt, std::chrono::seconds retryAfter)
{
    const bool fresh = startedAt >= m_coolStarted;
    std::chrono::milliseconds wait = retryAfter;
    if (retryAfter.count() <= 0) {
        if (!fresh)
            return;
        m_backOff = m_backOff.count() == 0 ? kFirstBackOff : std::min(m_backOff * 2, kLongestBackOff);
        wait = m_backOff;
    }
    if (now + wait <= m_coolUntil)
        return;
    m_coolUntil = now + wait;
    m_coolStarted = now;
    // After the wait the server is asked one query at a time, not with a full burst.
    m_arrival = std::max(m_arrival, m_coolUntil + m_tolerance);
}

void ServerLimiter::answered()
{
    m_backOff /= 2;
    if (m_backOff < kFirstBackOff)
        m_backOff = std::chrono::milliseconds(0);
}
