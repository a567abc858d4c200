#pragma once

#include "service/config/server_limits.h"
#include "service/engine/clock.h"
#include "service/engine/daily_counts.h"
#include "service/engine/fair_queue.h"
#include "service/engine/lookup_caller.h"
#include "service/engine/server_limiter.h"
#include "service/engine/shared_pace.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>

// Keeps each upstream server within its limits (rate and burst, queries in flight,
// a daily cap, cool-downs after it signalled a limit) and holds what waits for it in
// a bounded queue served in turns between clients. What nobody waits for any more
// leaves the queue unsent. With other instances sharing the limits, a request this
// gate lets go also waits its turn in the shared pace; while nobody can say what that
// is, each server is held to its limit divided by the instances last seen.
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
                 SharedPace* shared = nullptr, QObject* parent = nullptr);

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
    // The shared pace could be asked again (`shared`), or could not: each server is
    // then held to its share among `instances`.
    void sharingChanged(bool shared, int instances);

private:
    struct Ticket {
        std::shared_ptr<Askers> askers;
        Send send;
        Refuse refuse;
        quint64 request = 0;      // the limiter's number for it, once started
        quint64 shareRequest = 0; // the share's, when it goes on the share
    };
    struct Server {
        explicit Server(const ServerLimit& limit)
            : limiter(limit)
        {
        }
        ServerLimiter limiter;
        FairQueue<Ticket> queue;
        Clock::TimePoint wakeAt = Clock::TimePoint::max();
        // This instance's share while the shared pace cannot be asked, and among how many.
        std::unique_ptr<ServerLimiter> share;
        int shareAmong = 0;
    };

    Server& server(const QString& name);
    void pump(const QString& name);
    void start(const QString& name, Ticket ticket);
    // The request this gate let go asks the shared pace (again).
    void askShared(const QString& name, Ticket ticket);
    void granted(const QString& name, Ticket ticket, const SharedPace::Grant& grant);
    void askSharedAt(const QString& name, Ticket ticket, Clock::TimePoint at);
    // Sends; `lease` goes back to the shared pace, `onShare` ends a place in the share.
    void send(const QString& name, Ticket ticket, const QByteArray& lease, bool onShare);
    // A request let go that will not be sent after all.
    void giveUp(const QString& name, Ticket ticket, Refusal why);
    ServerLimiter& shareOf(Server& state);
    void finished(const QString& name, Ticket ticket, Clock::TimePoint startedAt, Outcome outcome,
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
    SharedPace* m_shared;
    std::map<QString, std::unique_ptr<Server>> m_servers; // stable while a request starts
    bool m_sweeping = false;
    bool m_sharing = true; // the shared pace answered last time
};
