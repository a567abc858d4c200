#include "service/engine/upstream_gate.h"

UpstreamGate::UpstreamGate(int maxInFlight, std::chrono::milliseconds minSpacing, Clock& clock,
                           QObject* parent)
    : QObject(parent)
    , m_maxInFlight(maxInFlight)
    , m_minSpacing(minSpacing)
    , m_clock(clock)
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
    m_servers[server].pausedUntil = m_clock.now() + duration;
}

bool UpstreamGate::isPaused(const QString& server) const
{
    const auto it = m_servers.constFind(server);
    return it != m_servers.constEnd() && m_clock.now() < it->pausedUntil;
}

void UpstreamGate::pump(const QString& server)
{
    while (true) {
        // Looked up afresh each round: a start may add servers to the table.
        Server& state = m_servers[server];
        if (state.waiting.isEmpty() || state.inFlight >= m_maxInFlight)
            return;
        const Clock::TimePoint now = m_clock.now();
        if (now < state.nextStart) {
            if (!state.scheduled) {
                state.scheduled = true;
                // Rounded up: woken a little early, the server would only wait again.
                const auto wait =
                    std::chrono::ceil<std::chrono::milliseconds>(state.nextStart - now);
                m_clock.callAfter(wait, this, [this, server] {
                    m_servers[server].scheduled = false;
                    pump(server);
                });
            }
            return;
        }
        ++state.inFlight;
        state.nextStart = now + m_minSpacing;
        const std::function<void()> start = state.waiting.dequeue();
        start();
    }
}
