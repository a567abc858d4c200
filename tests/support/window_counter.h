#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMutex>

#include <algorithm>
#include <deque>

// What a fake registry that enforces a rate sees: the time each query came in, and
// whether it was one too many in the second up to then. Safe to share between threads.
class WindowCounter final {
public:
    WindowCounter() { m_clock.start(); }

    // Counts a query; false when `perSecond` had already come in during the last second.
    bool admit(int perSecond)
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = m_clock.nsecsElapsed();
        while (!m_recent.empty() && m_recent.front() <= now - kSecond)
            m_recent.pop_front();
        const bool allowed = int(m_recent.size()) < perSecond;
        m_recent.push_back(now);
        m_all.append(now);
        m_refused += allowed ? 0 : 1;
        return allowed;
    }

    int count() const
    {
        QMutexLocker lock(&m_mutex);
        return int(m_all.size());
    }
    int refused() const
    {
        QMutexLocker lock(&m_mutex);
        return m_refused;
    }
    // The most queries that came in within any one second.
    int busiestSecond() const
    {
        QMutexLocker lock(&m_mutex);
        int busiest = 0;
        qsizetype first = 0;
        for (qsizetype last = 0; last < m_all.size(); ++last) {
            while (m_all[first] <= m_all[last] - kSecond)
                ++first;
            busiest = std::max(busiest, int(last - first + 1));
        }
        return busiest;
    }

private:
    static constexpr qint64 kSecond = 1000000000;
    mutable QMutex m_mutex;
    QElapsedTimer m_clock;
    std::deque<qint64> m_recent;
    QList<qint64> m_all;
    int m_refused = 0;
};
