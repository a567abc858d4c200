#include "service/store/shared_limits.h"

#include "service/store/store_client.h"

#include <cmath>

namespace {

constexpr std::chrono::seconds kAnnounceEvery{5};
constexpr std::chrono::seconds kAnnouncementLife{15};

// Times on the store's clock in milliseconds. GCRA: `tat` is when the server's bucket
// is full again; a query may go while tat - now <= (burst - 1) * interval.
const QByteArray kAcquire = R"lua(
local t = redis.call('TIME')
local now = tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
local interval, burst = tonumber(ARGV[1]), tonumber(ARGV[2])
local concurrency, daily = tonumber(ARGV[3]), tonumber(ARGV[4])
local cool = tonumber(redis.call('HGET', KEYS[1], 'cool') or '0')
if cool > now then return {'wait', cool - now} end
if concurrency > 0 then
  redis.call('ZREMRANGEBYSCORE', KEYS[2], '-inf', now)
  if redis.call('ZCARD', KEYS[2]) >= concurrency then
    local first = redis.call('ZRANGE', KEYS[2], 0, 0, 'WITHSCORES')
    return {'wait', math.max(10, math.min(tonumber(first[2]) - now, 250))}
  end
end
local day = KEYS[3] .. ':' .. math.floor(now / 86400000)
if daily > 0 and tonumber(redis.call('GET', day) or '0') >= daily then return {'spent', 0} end
local tat = math.max(tonumber(redis.call('HGET', KEYS[1], 'tat') or '0'), now)
local early = tat - now - (burst - 1) * interval
if early > 0 then return {'wait', math.ceil(early)} end
redis.call('HSET', KEYS[1], 'tat', tat + interval)
redis.call('PEXPIRE', KEYS[1], math.ceil(tat + interval - now) + 86400000)
if concurrency > 0 then
  redis.call('ZADD', KEYS[2], now + tonumber(ARGV[6]), ARGV[5])
  redis.call('PEXPIRE', KEYS[2], tonumber(ARGV[6]))
end
if daily > 0 then
  redis.call('INCR', day)
  redis.call('EXPIRE', day, 172800)
end
return {'go', 0}
)lua";

// A cool-down only ever lengthens.
const QByteArray kCoolDown = R"lua(
local t = redis.call('TIME')
local now = tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
local untilMs = now + tonumber(ARGV[1])
if untilMs > tonumber(redis.call('HGET', KEYS[1], 'cool') or '0') then
  redis.call('HSET', KEYS[1], 'cool', untilMs)
  redis.call('PEXPIRE', KEYS[1], tonumber(ARGV[1]) + 86400000)
end
return 1
)lua";

// Announces, forgets instances not heard from, and counts those left.
const QByteArray kAnnounce = R"lua(
local t = redis.call('TIME')
local now = tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
redis.call('ZADD', KEYS[1], now + tonumber(ARGV[2]), ARGV[1])
redis.call('ZREMRANGEBYSCORE', KEYS[1], '-inf', now)
redis.call('PEXPIRE', KEYS[1], tonumber(ARGV[2]))
return redis.call('ZCARD', KEYS[1])
)lua";

} // namespace

SharedLimits::SharedLimits(StoreClient& store, QByteArray prefix, QByteArray instance, Clock& clock,
                           std::chrono::milliseconds leaseLife, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_prefix(std::move(prefix))
    , m_instance(std::move(instance))
    , m_clock(clock)
    , m_leaseLife(leaseLife)
{
}

QByteArray SharedLimits::key(const char* kind, const QString& server) const
{
    return m_prefix + kind + ':' + server.toUtf8();
}

void SharedLimits::acquire(const QString& server, const ServerLimit& limit, std::function<void(Grant)> done)
{
    if (!m_store.isUp()) {
        done(Grant{});
        return;
    }
    const double interval = 1000.0 / std::max(limit.rate, 0.001);
    QByteArray lease = m_instance + ':' + QByteArray::number(m_nextLease++);
    m_store.command(
        {"EVAL", kAcquire, "3", key("pace", server), key("leases", server), key("daily", server),
         QByteArray::number(interval, 'f', 3), QByteArray::number(std::max(limit.burst, 1)),
         QByteArray::number(limit.concurrency), QByteArray::number(limit.daily), lease,
         QByteArray::number(qint64(m_leaseLife.count()))},
        [lease, done = std::move(done)](StoreReply reply) {
        const QByteArray verdict = reply.elements.value(0).text;
        const auto wait = std::chrono::milliseconds(reply.elements.value(1).integer);
        if (verdict == "go")
            done(Grant{Grant::Kind::Go, {}, lease});
        else if (verdict == "wait")
            done(Grant{Grant::Kind::Wait, std::max(wait, std::chrono::milliseconds(1)), {}});
        else if (verdict == "spent")
            done(Grant{Grant::Kind::DailySpent, {}, {}});
        else
            done(Grant{}); // time-out, lost connection, refusal
        },
        true);
}

void SharedLimits::release(const QString& server, const QByteArray& lease)
{
    if (lease.isEmpty() || !m_store.isUp())
        return; // the lease expires on its own
    m_store.command({"ZREM", key("leases", server), lease}, [](StoreReply) {});
}

void SharedLimits::coolDown(const QString& server, std::chrono::milliseconds duration)
{
    if (!m_store.isUp())
        return;
    m_store.command(
        {"EVAL", kCoolDown, "1", key("pace", server), QByteArray::number(qint64(duration.count()))},
        [](StoreReply) {}, true);
}

void SharedLimits::startAnnouncing()
{
    announce();
}

void SharedLimits::announce()
{
    if (m_store.isUp()) {
        m_store.command(
            {"EVAL", kAnnounce, "1", m_prefix + "instances", m_instance,
             QByteArray::number(qint64(std::chrono::milliseconds(kAnnouncementLife).count()))},
            [this](StoreReply reply) {
            if (reply.kind == StoreReply::Kind::Integer && reply.integer > 0)
                m_instances = int(reply.integer);
            },
            true);
    }
    m_clock.callAfter(kAnnounceEvery, this, [this] { announce(); });
}
