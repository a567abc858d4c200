#pragma once

#include "service/config/server_limits.h"
#include "service/engine/clock.h"
#include "service/engine/daily_counts.h"
#include "service/engine/fair_queue.h"
#include "service/engine/lookup_caller.h"
#include "service/engine/server_limiter.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>

// Keeps each upstream server within its limits (rate and burst, queries in flight,
// a daily cap, cool-downs after it signalled a limit) and holds what waits for it in
// a bounded queue served in turns between clients. What nobody waits for any more
// leaves the queue unsent.
class UpstreamGate final : public QObject {
    Q_OBJECT
public:
    // How a request that was sent went: answered, met the server's limit (it waits
    // again, `retryAfter` when the server named it), or failed otherwise.
    enum class Outcome { Answered, Limited, Failed };
    // Why a request will not be sent.
    enum class Refusal { QueueFull, DailyCapSpent, CoolingDown, NobodyWaits };

    using Finish = std::function<void(Outcome, std::chrono::seconds retryAfter)>;
    // Sends the request; it calls `finish` once when the exchange is over.
    using Send = std::function<void(Finish)>;
    using Refuse = std::function<void(Refusal)>;

    UpstreamGate(LimitsTable limits, int maxQueue, const QString& stateDirectory, Clock& clock,
                 QObject* parent = nullptr);

    // Sends through `send` when the server's limits allow, or calls `refuse`: at once
    // when the queue is full or the daily cap is spent, as soon as a cool-down would
    // outlast every asker's deadline, and when nobody waits any more.
    void ask(const QString& server, std::shared_ptr<Askers> askers, Send send, Refuse refuse);

    ServerLimit limitFor(const QString& server) const { return m_limits.limitFor(server); }
    bool isCooling(const QString& server) const;
    int queued(const QString& server) const;

signals:
    // A server signalled a limit and is not asked for `milliseconds` (from now).
    void coolingDown(const QString& server, qint64 milliseconds);

private:
    struct Ticket {
        std::shared_ptr<Askers> askers;
        Send send;
        Refuse refuse;
    };
    struct Server {
        explicit Server(const ServerLimit& limit)
            : limiter(limit)
        {
        }
        ServerLimiter limiter;
        FairQueue<Ticket> queue;
        Clock::TimePoint wakeAt = Clock::TimePoint::max();
    };

    Server& server(const QString& name);
    void pump(const QString& name);
    void start(const QString& name, Ticket ticket);
    struct Started {
        Clock::TimePoint at;
        quint64 request; // the limiter's number for it
    };
    void finished(const QString& name, Ticket ticket, Started started, Outcome outcome,
                  std::chrono::seconds retryAfter);
    bool capSpent(const QString& name, const ServerLimit& limit);
    // Refuses, outside the loop over the queue, what leaves it.
    void refuseAll(std::deque<Ticket> tickets, Refusal why);
    void wake(const QString& name, Clock::TimePoint at);
    void sweep();

    LimitsTable m_limits;
    int m_maxQueue;
    DailyCounts m_daily;
    Clock& m_clock;
    std::map<QString, std::unique_ptr<Server>> m_servers; // stable while a request starts
    bool m_sweeping = false;
};
