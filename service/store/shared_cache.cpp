#include "service/store/shared_cache.h"

#include "service/store/store_client.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// Only answers worth sharing are ever written.
const char* StatusName(LookupStatus status)
{
    return status == LookupStatus::Found ? "found" : "not-registered";
}

} // namespace

QByteArray StoredAnswer(const LookupResult& result)
{
    const WhoisRecord& r = result.record;
    const QJsonObject object{{QStringLiteral("v"), 1},
                             {QStringLiteral("status"), QLatin1StringView(StatusName(result.status))},
                             {QStringLiteral("source"), SourceName(result.source)},
                             {QStringLiteral("upstream"), result.upstream},
                             {QStringLiteral("registrar"), r.registrar},
                             {QStringLiteral("email"), r.email},
                             {QStringLiteral("phone"), r.phone},
                             {QStringLiteral("created"), r.created},
                             {QStringLiteral("expires"), r.expires},
                             {QStringLiteral("whoisServer"), r.whoisServer},
                             {QStringLiteral("nameServers"), r.nameServers},
                             {QStringLiteral("statuses"), r.statuses}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<LookupResult> AnswerFromStore(const QByteArray& value)
{
    const QJsonObject o = QJsonDocument::fromJson(value).object();
    if (o.value(QStringLiteral("v")).toInt() != 1)
        return std::nullopt;
    const QString status = o.value(QStringLiteral("status")).toString();
    if (status != u"found" && status != u"not-registered")
        return std::nullopt;
    LookupResult result;
    result.status = status == u"found" ? LookupStatus::Found : LookupStatus::NotRegistered;
    result.source = SourceNamed(o.value(QStringLiteral("source")).toString());
    result.upstream = o.value(QStringLiteral("upstream")).toString();
    const auto text = [&o](const char* name) { return o.value(QLatin1StringView(name)).toString(); };
    WhoisRecord& r = result.record;
    r.registrar = text("registrar");
    r.email = text("email");
    r.phone = text("phone");
    r.created = text("created");
    r.expires = text("expires");
    r.whoisServer = text("whoisServer");
    r.nameServers = text("nameServers");
    r.statuses = text("statuses");
    return result;
}

SharedCache::SharedCache(StoreClient& store, QByteArray prefix, QByteArray instance)
    : m_store(store)
    , m_prefix(std::move(prefix))
    , m_instance(std::move(instance))
{
}

QByteArray SharedCache::answerKey(const QString& ace) const
{
    return m_prefix + "answer:" + ace.toLatin1();
}

QByteArray SharedCache::claimKey(const QString& ace) const
{
    return m_prefix + "asking:" + ace.toLatin1();
}

void SharedCache::look(const QString& ace, std::chrono::milliseconds hold, std::function<void(Look)> done)
{
    if (!m_store.isUp()) {
        done(Look{});
        return;
    }
    // Plain commands rather than a script, so that a full store still answers reads;
    // the answer first, as most looks find one.
    read(ace, [this, ace, hold, done = std::move(done)](std::optional<Hit> hit, bool answered) mutable {
        if (hit || !answered) {
            done(hit ? Look{Look::Next::Use, std::move(hit)} : Look{});
            return;
        }
        // Claim the name, then read again: an asker that kept its answer and let its
        // claim go in between is seen either way.
        auto claimed = std::make_shared<StoreReply>();
        m_store.command({"SET", claimKey(ace), m_instance, "NX", "PX",
                         QByteArray::number(qint64(std::max<qint64>(hold.count(), 1)))},
                        [claimed](StoreReply claim) { *claimed = std::move(claim); });
        read(ace, [this, ace, claimed, done = std::move(done)](std::optional<Hit> hit, bool) {
            const bool mine = claimed->kind == StoreReply::Kind::Status;
            if (hit && mine)
                release(ace);
            if (hit)
                done(Look{Look::Next::Use, std::move(hit)});
            else // claimed, or the store could not say (full, slow): ask
                done(Look{claimed->kind == StoreReply::Kind::Nil ? Look::Next::Wait : Look::Next::Ask,
                          std::nullopt});
        });
    });
}

void SharedCache::read(const QString& ace, std::function<void(std::optional<Hit>, bool answered)> done)
{
    // The value and its time to live in one reply: half the round trips of GET and PTTL,
    // which is what a lookup answered from the store costs. Read-only, so a full store
    // still answers.
    static const QByteArray kRead = R"lua(#!lua flags=no-writes
local value = redis.call('GET', KEYS[1])
if not value then return {} end
return {value, redis.call('PTTL', KEYS[1])}
)lua";
    m_store.command({"EVAL", kRead, "1", answerKey(ace)}, [done = std::move(done)](StoreReply reply) {
        const StoreReply value = reply.elements.value(0);
        const StoreReply ttl = reply.elements.value(1);
        if (value.kind == StoreReply::Kind::Text && ttl.kind == StoreReply::Kind::Integer &&
            ttl.integer > 0) {
            if (std::optional<LookupResult> result = AnswerFromStore(value.text)) {
                done(Hit{std::move(*result), std::chrono::milliseconds(ttl.integer)}, true);
                return;
            }
        }
        done(std::nullopt, reply.answered() && !reply.isError());
    });
}

void SharedCache::release(const QString& ace)
{
    // Only this instance's own claim goes; a full store still lets it go (that frees room).
    static const QByteArray kRelease = R"lua(#!lua flags=allow-oom
if redis.call('GET', KEYS[1]) == ARGV[1] then redis.call('DEL', KEYS[1]) end
return 1
)lua";
    m_store.command({"EVAL", kRelease, "1", claimKey(ace), m_instance}, [](StoreReply) {});
}

void SharedCache::keep(const QString& ace, const LookupResult& result, std::chrono::seconds ttl)
{
    if (!m_store.isUp())
        return;
    const bool worthSharing =
        result.status == LookupStatus::Found || result.status == LookupStatus::NotRegistered;
    if (worthSharing && ttl.count() > 0)
        m_store.command(
            {"SET", answerKey(ace), StoredAnswer(result), "PX",
             QByteArray::number(qint64(ttl.count()) * 1000)},
            [](StoreReply) {}, true);
    release(ace);
}
