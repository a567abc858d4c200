#pragma once

#include "service/engine/clock.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

class StoreClient;

// One upstream server's limits as every instance enforces them together.
struct SharedLimit {
    double rate = 1;     // queries a second
    int burst = 1;       // queries at once after a quiet spell
    int concurrency = 0; // in flight at most; 0: no cap
    int daily = 0;       // a day (UTC) at most; 0: no cap
};

// Each server's pace across all instances, kept in the store: a rate (GCRA, on the
// store's clock, so instances' clocks do not matter), in-flight leases that expire
// should their holder die, the daily count, and cool-downs one instance's limit signal
// starts for all. Instances announce themselves with an expiring entry, so that each
// knows its share should the store go away.
class SharedLimits final : public QObject {
    // A QObject only as the context of its timers.
public:
    struct Grant {
        enum class Kind {
            Go,         // send now, then release(lease)
            Wait,       // not before `wait` has passed
            DailySpent, // the day's cap is used up
            NoStore,    // the store cannot say: pace this instance at its share
        };
        Kind kind = Kind::NoStore;
        std::chrono::milliseconds wait{0};
        QByteArray lease;
    };

    // `leaseLife`: how long a query may hold its in-flight place (longer than the
    // upstream time-out).
    SharedLimits(StoreClient& store, QByteArray prefix, QByteArray instance, Clock& clock,
                 std::chrono::milliseconds leaseLife, QObject* parent = nullptr);

    void acquire(const QString& server, const SharedLimit& limit, std::function<void(Grant)> done);
    void release(const QString& server, const QByteArray& lease);
    void coolDown(const QString& server, std::chrono::milliseconds duration);

    // Announces this instance now and every few seconds.
    void startAnnouncing();
    // Instances announced when the store was last reached (this one included).
    int instancesLastSeen() const { return m_instances; }

private:
    void announce();
    QByteArray key(const char* kind, const QString& server) const;

    StoreClient& m_store;
    const QByteArray m_prefix;
    const QByteArray m_instance;
    Clock& m_clock;
    const std::chrono::milliseconds m_leaseLife;
    quint64 m_nextLease = 1;
    int m_instances = 1;
};
