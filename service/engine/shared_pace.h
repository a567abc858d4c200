#pragma once

#include "service/config/server_limits.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

// Each upstream server's limits as every instance of the service enforces them
// together. The gate asks before each send, after its own limiter let the request go;
// calls are made and answered on the engine's thread.
class SharedPace {
public:
    struct Grant {
        enum class Kind {
            Go,         // send now, then release(lease)
            Wait,       // ask again once `wait` has passed
            DailySpent, // the day's cap is used up
            NoStore,    // nobody can say: pace this instance at its share
        };
        Kind kind = Kind::NoStore;
        std::chrono::milliseconds wait{0};
        QByteArray lease;
    };

    virtual ~SharedPace() = default;
    virtual void acquire(const QString& server, const ServerLimit& limit,
                         std::function<void(Grant)> done) = 0;
    virtual void release(const QString& server, const QByteArray& lease) = 0;
    // One instance's limit signal pauses all.
    virtual void coolDown(const QString& server, std::chrono::milliseconds duration) = 0;
    // Instances that shared the limits when they were last seen (this one included).
    virtual int instancesLastSeen() const = 0;
};
