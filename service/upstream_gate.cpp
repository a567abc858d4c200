#include "upstream_gate.h"

#include <QTimer>

UpstreamGate::UpstreamGate(int maxInFlight, std::chrono::milliseconds minSpacing, QObject* parent)
    : QObject(parent)
    , m_maxInFlight(maxInFlight)
    , m_minSpacing(minSpacing)
{
}

void UpstreamGate::enter(const QString& server, std::function<void()> start)
{
    m_servers[server].waiting.enqueue(std::move(start));
    pump(server);
}

void UpstreamGate::release(const QString& server)
{
    Server& state = m_servers[server];
    state.inFlight = std::max(0, state.inFlight - 1);
    pump(server);
}

void UpstreamGate::pause(const QString& server, std::chrono::milliseconds duration)
{
    m_servers[server].pausedUntil = QDeadlineTimer(duration);
}

bool UpstreamGate::isPaused(const QString& server) const
{
    const auto it = m_servers.constFind(server);
    return it != m_servers.constEnd() && !it->pausedUntil.hasExpired();
}

void UpstreamGate::pump(const QString& server)
{
    while (true) {
        // Looked up afresh each round: a start may add servers to the table.
        Server& state = m_servers[server];
        if (state.waiting.isEmpty() || state.inFlight >= m_maxInFlight)
            return;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            state.nextStart.remainingTimeAsDuration());
        if (wait.count() > 0) {
            if (!state.scheduled) {
                state.scheduled = true;
                QTimer::singleShot(wait, this, [this, server] {
                    m_servers[server].scheduled = false;
                    pump(server);
                });
            }
            return;
        }
        ++state.inFlight;
        state.nextStart = QDeadlineTimer(m_minSpacing);
        const std::function<void()> start = state.waiting.dequeue();
        start();
    }
}
