#pragma once

#include <QObject>

#include <chrono>
#include <functional>

// Time as the cache and the upstream gate see it: the steady clock and the event
// loop's timers in the service, a hand-moved clock in tests.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    // The calendar's time, for what counts per UTC day.
    virtual std::chrono::system_clock::time_point wallNow() const = 0;
    // Runs `action` once `delay` has passed, unless `context` is gone by then.
    virtual void callAfter(std::chrono::milliseconds delay, QObject* context,
                           std::function<void()> action) = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    std::chrono::system_clock::time_point wallNow() const override
    {
        return std::chrono::system_clock::now();
    }
    void callAfter(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) override;
};
