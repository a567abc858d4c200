#include "service/engine/upstream_gate.h"

#include <QPointer>

namespace {

// How often queues are combed for lookups nobody waits for any more; a request waiting
// for the shared pace looks at least this often whether anyone still waits for it.
constexpr std::chrono::milliseconds kSweepEvery{1000};
// How soon a request with no place in this instance's share looks again.
constexpr std::chrono::milliseconds kShareFullRetry{50};

// One instance's part of a limit among `instances`, rounded down but never to nothing.
ServerLimit Share(ServerLimit limit, int instances)
{
    limit.rate /= instances;
    limit.burst = std::max(1, limit.burst / instances);
    limit.concurrency = std::max(1, limit.concurrency / instances);
    if (limit.daily > 0)
        limit.daily = std::max(1, limit.daily / instances);
    return limit;
}

} // namespace

UpstreamGate::UpstreamGate(LimitsTable limits, int maxQueue, const QString& stateDirectory, Clock& clock,
                           SharedPace* shared, QObject* parent)
    : QObject(parent)
    , m_limits(std::move(limits))
    , m_maxQueue(maxQueue)
    , m_daily(stateDirectory)
    , m_clock(clock)
    , m_shared(shared)
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
    ticket.request = state.limiter.started(m_clock.now());
    if (state.limiter.limit().daily > 0)
        m_daily.add(name, std::chrono::floor<std::chrono::days>(m_clock.wallNow()));
    if (m_shared)
        askShared(name, std::move(ticket));
    else
        send(name, std::move(ticket), {}, false);
}

void UpstreamGate::askShared(const QString& name, Ticket ticket)
{
    if (!ticket.askers->waiting(m_clock.now())) {
        giveUp(name, std::move(ticket), Refusal::NobodyWaits);
        return;
    }
    m_shared->acquire(name, server(name).limiter.limit(),
                      [gate = QPointer<UpstreamGate>(this), name, ticket](SharedPace::Grant grant) {
        if (gate)
            gate->granted(name, ticket, grant);
    });
}

void UpstreamGate::granted(const QString& name, Ticket ticket, const SharedPace::Grant& grant)
{
    using Kind = SharedPace::Grant::Kind;
    const Clock::TimePoint now = m_clock.now();
    if (const bool sharing = grant.kind != Kind::NoStore; sharing != m_sharing) {
        m_sharing = sharing;
        if (!sharing) {
            for (auto& [server, state] : m_servers)
                state->share.reset();
        }
        emit sharingChanged(sharing, std::max(1, m_shared->instancesLastSeen()));
    }
    switch (grant.kind) {
    case Kind::Go: send(name, std::move(ticket), grant.lease, false); return;
    case Kind::Wait: askSharedAt(name, std::move(ticket), now + grant.wait); return;
    case Kind::DailySpent: giveUp(name, std::move(ticket), Refusal::DailyCapSpent); return;
    case Kind::NoStore: break;
    }
    ServerLimiter& share = shareOf(server(name));
    // This request is counted already, so the share is spent only when it is exceeded.
    const int daily = share.limit().daily;
    if (daily > 0 && m_daily.count(name, std::chrono::floor<std::chrono::days>(m_clock.wallNow())) > daily) {
        giveUp(name, std::move(ticket), Refusal::DailyCapSpent);
    } else if (!share.hasRoom()) {
        askSharedAt(name, std::move(ticket), now + kShareFullRetry);
    } else if (const Clock::TimePoint at = share.nextStart(now); at > now) {
        askSharedAt(name, std::move(ticket), at);
    } else {
        ticket.shareRequest = share.started(now);
        send(name, std::move(ticket), {}, true);
    }
}

void UpstreamGate::askSharedAt(const QString& name, Ticket ticket, Clock::TimePoint at)
{
    if (at > ticket.askers->deadline()) {
        giveUp(name, std::move(ticket), Refusal::CoolingDown);
        return;
    }
    const auto delay =
        std::min(std::chrono::ceil<std::chrono::milliseconds>(at - m_clock.now()), kSweepEvery);
    m_clock.callAfter(delay, this, [this, name, ticket] { askShared(name, ticket); });
}

ServerLimiter& UpstreamGate::shareOf(Server& state)
{
    const int instances = std::max(1, m_shared->instancesLastSeen());
    if (!state.share || state.shareAmong != instances) {
        state.share = std::make_unique<ServerLimiter>(Share(state.limiter.limit(), instances));
        state.shareAmong = instances;
        // As though it had just sent: the shared pace may have let a full second's
        // queries go just before.
        state.share->ended(state.share->started(m_clock.now()), m_clock.now());
    }
    return *state.share;
}

void UpstreamGate::send(const QString& name, Ticket ticket, const QByteArray& lease, bool onShare)
{
    ticket.askers->queued = false;
    const Clock::TimePoint now = m_clock.now();
    const Send send = ticket.send;
    auto over = std::make_shared<bool>(false);
    send([this, name, ticket = std::move(ticket), now, over, lease,
          onShare](Outcome outcome, std::chrono::seconds retryAfter) {
        if (std::exchange(*over, true))
            return;
        if (!lease.isEmpty())
            m_shared->release(name, lease);
        if (onShare)
            shareOf(server(name)).ended(ticket.shareRequest, m_clock.now());
        finished(name, ticket, now, outcome, retryAfter);
    });
}

void UpstreamGate::giveUp(const QString& name, Ticket ticket, Refusal why)
{
    server(name).limiter.ended(ticket.request, m_clock.now());
    ticket.askers->queued = false;
    ticket.refuse(why);
    pump(name);
}

void UpstreamGate::finished(const QString& name, Ticket ticket, Clock::TimePoint startedAt, Outcome outcome,
                            std::chrono::seconds retryAfter)
{
    Server& state = server(name);
    const Clock::TimePoint now = m_clock.now();
    state.limiter.ended(ticket.request, now);
    if (outcome == Outcome::Answered)
        state.limiter.answered();
    if (outcome == Outcome::Limited) {
        const Clock::TimePoint before = state.limiter.coolingUntil();
        state.limiter.limited(now, startedAt, retryAfter);
        if (const Clock::TimePoint until = state.limiter.coolingUntil(); until != before) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - now);
            if (m_shared)
                m_shared->coolDown(name, wait);
            emit coolingDown(name, wait.count());
        }
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
    m_clock.callAfter(delay, this, [this, name] {
        // Woken a little early, the pump must be free to schedule this wake again.
        server(name).wakeAt = Clock::TimePoint::max();
        pump(name);
    });
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
