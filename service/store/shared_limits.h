#pragma once

#include "service/engine/clock.h"
#include "service/engine/shared_pace.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

class StoreClient;

// Each server's pace across all instances, kept in the store: a rate (GCRA, on the
// store's clock, so instances' clocks do not matter), in-flight leases that expire
// should their holder die, the daily count, and cool-downs one instance's limit signal
// starts for all. Instances announce themselves with an expiring entry, so that each
// knows its share should the store go away.
class SharedLimits final : public QObject, public SharedPace {
    // A QObject only as the context of its timers.
public:
    // `leaseLife`: how long a query may hold its in-flight place (longer than the
    // upstream time-out).
    SharedLimits(StoreClient& store, QByteArray prefix, QByteArray instance, Clock& clock,
                 std::chrono::milliseconds leaseLife, QObject* parent = nullptr);

    void acquire(const QString& server, const ServerLimit& limit, std::function<void(Grant)> done) override;
    void release(const QString& server, const QByteArray& lease) override;
    void coolDown(const QString& server, std::chrono::milliseconds duration) override;

    // Announces this instance now and every few seconds.
    void startAnnouncing();
    // Instances announced when the store was last reached (this one included).
    int instancesLastSeen() const override { return m_instances; }

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
