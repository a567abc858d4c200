#include "service/engine/upstream_gate.h"

namespace {

// How often queues are combed for lookups nobody waits for any more.
constexpr std::chrono::milliseconds kSweepEvery{1000};

} // namespace

UpstreamGate::UpstreamGate(LimitsTable limits, int maxQueue, const QString& stateDirectory, Clock& clock,
                           QObject* parent)
    : QObject(parent)
    , m_limits(std::move(limits))
    , m_maxQueue(maxQueue)
    , m_daily(stateDirectory)
    , m_clock(clock)
{
}

UpstreamGate::Server& UpstreamGate::server(const QString& name)
{
    std::unique_ptr<Server>& slot = m_servers[name];
    if (!slot)
        slot = std::make_unique<Server>(m_limits.limitFor(name));
    return *slot;
}

bool UpstreamGate::isCooling(const QString& name) const
{
    const auto it = m_servers.find(name);
    return it != m_servers.end() && it->second->limiter.isCooling(m_clock.now());
}

int UpstreamGate::queued(const QString& name) const
{
    const auto it = m_servers.find(name);
    return it == m_servers.end() ? 0 : it->second->queue.size();
}

bool UpstreamGate::capSpent(const QString& name, const ServerLimit& limit)
{
    return limit.daily > 0 &&
           m_daily.count(name, std::chrono::floor<std::chrono::days>(m_clock.wallNow())) >= limit.daily;
}

void UpstreamGate::ask(const QString& name, std::shared_ptr<Askers> askers, Send send, Refuse refuse)
{
    Server& state = server(name);
    const Clock::TimePoint now = m_clock.now();
    if (capSpent(name, state.limiter.limit())) {
        refuse(Refusal::DailyCapSpent);
        return;
    }
    if (!askers->waiting(now)) {
        refuse(Refusal::NobodyWaits);
        return;
    }
    if (state.limiter.coolingUntil() > askers->deadline()) {
        refuse(Refusal::CoolingDown);
        return;
    }
    if (state.queue.size() >= m_maxQueue) {
        refuse(Refusal::QueueFull);
        return;
    }
    askers->queued = true;
    const QString client = askers->client();
    state.queue.push(client, Ticket{std::move(askers), std::move(send), std::move(refuse)});
    pump(name);
    if (!m_sweeping && !state.queue.isEmpty()) {
        m_sweeping = true;
        m_clock.callAfter(kSweepEvery, this, [this] { sweep(); });
    }
}

void UpstreamGate::pump(const QString& name)
{
    Server& state = server(name);
    while (!state.queue.isEmpty()) {
        const Clock::TimePoint now = m_clock.now();
        if (capSpent(name, state.limiter.limit())) {
            refuseAll(state.queue.takeIf([](const Ticket&) { return true; }), Refusal::DailyCapSpent);
            continue;
        }
        if (state.limiter.isCooling(now)) {
            const Clock::TimePoint until = state.limiter.coolingUntil();
            refuseAll(state.queue.takeIf(
                          [until](const Ticket& ticket) { return ticket.askers->deadline() < until; }),
                      Refusal::CoolingDown);
            if (state.queue.isEmpty())
                return;
        }
        if (!state.queue.head().askers->waiting(now)) {
            Ticket left = state.queue.take();
            left.askers->queued = false;
            left.refuse(Refusal::NobodyWaits);
            continue;
        }
        if (!state.limiter.hasRoom())
            return; // the next request to end pumps again
        if (const Clock::TimePoint at = state.limiter.nextStart(now); at > now) {
            wake(name, at);
            return;
        }
        start(name, state.queue.take());
    }
}

void UpstreamGate::start(const QString& name, Ticket ticket)
{
    Server& state = server(name);
    const Clock::TimePoint now = m_clock.now();
    const quint64 request = state.limiter.started(now);
    if (state.limiter.limit().daily > 0)
        m_daily.add(name, std::chrono::floor<std::chrono::days>(m_clock.wallNow()));
    ticket.askers->queued = false;
    const Send send = ticket.send;
    auto over = std::make_shared<bool>(false);
    send([this, name, ticket = std::move(ticket), now, request, over](Outcome outcome,
                                                                      std::chrono::seconds retryAfter) {
        if (std::exchange(*over, true))
            return;
        finished(name, ticket, {now, request}, outcome, retryAfter);
    });
}

void UpstreamGate::finished(const QString& name, Ticket ticket, Started started, Outcome outcome,
                            std::chrono::seconds retryAfter)
{
    Server& state = server(name);
    const Clock::TimePoint now = m_clock.now();
    const Clock::TimePoint startedAt = started.at;
    state.limiter.ended(started.request, now);
    if (outcome == Outcome::Answered)
        state.limiter.answered();
    if (outcome == Outcome::Limited) {
        const Clock::TimePoint before = state.limiter.coolingUntil();
        state.limiter.limited(now, startedAt, retryAfter);
        if (const Clock::TimePoint until = state.limiter.coolingUntil(); until != before)
            emit coolingDown(name, std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
        // The name waits again, first in its client's line, unless nobody could use
        // an answer that late.
        if (!ticket.askers->waiting(now)) {
            ticket.refuse(Refusal::NobodyWaits);
        } else if (state.limiter.coolingUntil() > ticket.askers->deadline()) {
            ticket.refuse(Refusal::CoolingDown);
        } else {
            ticket.askers->queued = true;
            const QString client = ticket.askers->client();
            state.queue.pushFront(client, std::move(ticket));
        }
    }
    pump(name);
}

void UpstreamGate::refuseAll(std::deque<Ticket> tickets, Refusal why)
{
    for (Ticket& ticket : tickets) {
        ticket.askers->queued = false;
        ticket.refuse(why);
    }
}

void UpstreamGate::wake(const QString& name, Clock::TimePoint at)
{
    Server& state = server(name);
    const Clock::TimePoint now = m_clock.now();
    if (state.wakeAt > now && state.wakeAt <= at)
        return; // an earlier wake pumps, and schedules the next
    state.wakeAt = at;
    // Rounded up: woken early, the queue would only wait again.
    const auto delay = std::chrono::ceil<std::chrono::milliseconds>(at - now);
    m_clock.callAfter(delay, this, [this, name] { pump(name); });
}

void UpstreamGate::sweep()
{
    const Clock::TimePoint now = m_clock.now();
    bool anyQueued = false;
    for (auto& [name, state] : m_servers) {
        refuseAll(state->queue.takeIf([now](const Ticket& ticket) { return !ticket.askers->waiting(now); }),
                  Refusal::NobodyWaits);
        anyQueued = anyQueued || !state->queue.isEmpty();
    }
    m_sweeping = anyQueued;
    if (anyQueued)
        m_clock.callAfter(kSweepEvery, this, [this] { sweep(); });
}
