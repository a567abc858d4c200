#include "service/engine/server_limiter.h"

#include <algorithm>

namespace {

constexpr std::chrono::milliseconds kFirstBackOff = std::chrono::seconds(2);
constexpr std::chrono::milliseconds kLongestBackOff = std::chrono::minutes(10);

} // namespace

ServerLimiter::ServerLimiter(const ServerLimit& limit)
    : m_limit(limit)
    , m_interval(std::chrono::nanoseconds(static_cast<qint64>(1e9 / std::max(limit.rate, 1e-6))))
    , m_tolerance(m_interval * (std::max(limit.burst, 1) - 1))
{
}

ServerLimiter::TimePoint ServerLimiter::nextStart(TimePoint now) const
{
    return std::max({now, m_arrival - m_tolerance, m_coolUntil});
}

void ServerLimiter::started(TimePoint now)
{
    ++m_inFlight;
    m_arrival = std::max(m_arrival, now) + m_interval;
}

void ServerLimiter::ended()
{
    m_inFlight = std::max(0, m_inFlight - 1);
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
