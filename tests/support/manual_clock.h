#pragma once

#include "service/engine/clock.h"

#include <QList>
#include <QPointer>

#include <algorithm>

// A clock the test moves by hand: timers fire only inside advance(), in time order.
class ManualClock final : public Clock {
public:
    TimePoint now() const override { return m_now; }
    // Starts at midnight UTC of 2026-01-01 and moves with now().
    std::chrono::system_clock::time_point wallNow() const override
    {
        using namespace std::chrono;
        return sys_days(year(2026) / January / 1) + (m_now - kStart);
    }

    void callAfter(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) override
    {
        m_pending.append({m_now + delay, context, std::move(action)});
    }

    void advance(std::chrono::milliseconds by)
    {
        const TimePoint until = m_now + by;
        while (true) {
            const auto next =
                std::min_element(m_pending.begin(), m_pending.end(),
                                 [](const Pending& a, const Pending& b) { return a.due < b.due; });
            if (next == m_pending.end() || next->due > until)
                break;
            const Pending due = *next;
            m_pending.erase(next);
            m_now = std::max(m_now, due.due);
            if (due.context)
                due.action();
        }
        m_now = until;
    }

private:
    struct Pending {
        TimePoint due;
        QPointer<QObject> context;
        std::function<void()> action;
    };
    static constexpr TimePoint kStart{std::chrono::hours(1)};
    TimePoint m_now = kStart;
    QList<Pending> m_pending;
};
