#pragma once

#include "service/config/store_address.h"
#include "service/engine/clock.h"
#include "service/log/request_log.h"
#include "service/store/store_reply.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>

#include <chrono>
#include <deque>
#include <functional>

struct redisAsyncContext;

// How the shared store is doing, as health and metrics report it.
enum class StoreState {
    Connecting, // not reached yet since start-up
    Up,
    Full, // answers, but refuses writes (its memory limit)
    Down, // unreachable, refusing us, or too slow: retried with back-off
};

// One connection to the shared store, driven on the thread it lives on. Every command is
// answered by its time-out at the latest, so a slow or stopped store never holds up a
// lookup; after a few time-outs in a row the connection is dropped and made again. State
// changes are logged once each.
class StoreClient final : public QObject {
    Q_OBJECT
public:
    struct Options {
        StoreAddress address;
        QByteArray password; // empty: none sent
        std::chrono::milliseconds timeout{250};
        LogFormat logFormat = LogFormat::Text;
    };
    using Done = std::function<void(StoreReply)>;

    StoreClient(Options options, Clock& clock, QObject* parent = nullptr);
    ~StoreClient() override;

    void start();

    // Sends a command (each argument one word, binary safe). `done` runs once, on this
    // thread: at once (Unavailable) when the store is not up. A full store is taken
    // for one with room again once a command that `writes` succeeds.
    void command(const QList<QByteArray>& arguments, Done done, bool writes = false);

    StoreState state() const { return m_state; }
    bool isUp() const { return m_state == StoreState::Up || m_state == StoreState::Full; }
    // Why the store is not plainly up; empty when it is.
    QString problem() const { return m_problem; }
    const Options& options() const { return m_options; }

signals:
    void stateChanged();

private:
    void connectNow();
    void handshake();
    void send(const QList<QByteArray>& arguments, Done done, bool writes = false);
    void answer(quint64 id, StoreReply reply);
    void timedOut(quint64 id);
    // Times out what is overdue, and sets one timer for the oldest command still out.
    void watchDeadlines();
    // Leaves the connection (later, outside the library's callbacks) and retries.
    void drop(const QString& why);
    void lost(const QString& why);
    void retryLater();
    void setState(StoreState state, const QString& problem);
    void failPending();

    static void onConnect(const redisAsyncContext* context, int status);
    static void onDisconnect(const redisAsyncContext* context, int status);
    static void onReply(redisAsyncContext* context, void* reply, void* id);

    const Options m_options;
    Clock& m_clock;
    redisAsyncContext* m_context = nullptr;
    quint64 m_attempt = 0;
    bool m_ready = false; // connected and past the password check
    bool m_retryPending = false;
    std::chrono::milliseconds m_backoff{0};
    int m_timeoutsInARow = 0;
    quint64 m_nextId = 1;
    struct Pending {
        Done done;
        bool writes = false;
    };
    QHash<quint64, Pending> m_pending;
    // When each command sent is due, in the order sent (answered ones leave lazily).
    std::deque<std::pair<quint64, Clock::TimePoint>> m_deadlines;
    bool m_watching = false;
    StoreState m_state = StoreState::Connecting;
    QString m_problem = QStringLiteral("not connected yet");
};
