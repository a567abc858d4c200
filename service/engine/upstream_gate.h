#pragma once

#include "service/engine/clock.h"

#include <QHash>
#include <QObject>
#include <QQueue>
#include <QString>

#include <chrono>
#include <functional>

// Keeps each upstream server within bounds: at most a few requests in flight, a
// minimum spacing between starts, and a pause after it said "too many requests".
class UpstreamGate final : public QObject {
    Q_OBJECT
public:
    UpstreamGate(int maxInFlight, std::chrono::milliseconds minSpacing, Clock& clock,
                 QObject* parent = nullptr);

    // Runs `start` when the server may take another request; `start` must call
    // release(server) once that request has ended.
    void enter(const QString& server, std::function<void()> start);
    void release(const QString& server);

    // The server asked us to wait; false if it is still paused (then fail fast).
    void pause(const QString& server, std::chrono::milliseconds duration);
    bool isPaused(const QString& server) const;

private:
    struct Server {
        int inFlight = 0;
        Clock::TimePoint nextStart{};
        Clock::TimePoint pausedUntil{};
        QQueue<std::function<void()>> waiting;
        bool scheduled = false;
    };
    void pump(const QString& server);

    int m_maxInFlight;
    std::chrono::milliseconds m_minSpacing;
    Clock& m_clock;
    QHash<QString, Server> m_servers;
};
