#include "service/store/shared_cache.h"

#include "service/store/store_client.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>
#include <array>

namespace {

// The first byte of every stored answer; a value of another layout (another version of
// the service, or damage) is not an answer.
constexpr quint8 kLayout = 2;
constexpr quint8 kFound = 1;
constexpr quint8 kNotRegistered = 2;

// The texts of a result in their stored order.
template <typename Result>
auto Texts(Result& result)
{
    auto& r = result.record;
    return std::array{&result.upstream, &r.registrar,   &r.email,       &r.phone,   &r.created,
                      &r.expires,       &r.whoisServer, &r.nameServers, &r.statuses};
}

} // namespace

QByteArray StoredAnswer(const LookupResult& result)
{
    const QLatin1StringView source = SourceName(result.source);
    QByteArray value;
    QDataStream out(&value, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    // Only answers worth sharing are ever written.
    out << kLayout << (result.status == LookupStatus::Found ? kFound : kNotRegistered)
        << QByteArray(source.data(), source.size());
    for (const QString* text : Texts(result))
        out << text->toUtf8();
    return value;
}

std::optional<LookupResult> AnswerFromStore(const QByteArray& value)
{
    // Length-prefixed rather than JSON: every answer shared between instances is read
    // here, and parsing JSON was most of what a shared hit cost this process.
    QDataStream in(value);
    in.setVersion(QDataStream::Qt_6_4);
    quint8 layout = 0;
    quint8 status = 0;
    QByteArray source;
    in >> layout;
    if (layout != kLayout)
        return std::nullopt;
    in >> status >> source;
    LookupResult result;
    result.status = status == kFound ? LookupStatus::Found : LookupStatus::NotRegistered;
    result.source = SourceNamed(QString::fromLatin1(source));
    for (QString* text : Texts(result)) {
        QByteArray utf8;
        in >> utf8;
        *text = QString::fromUtf8(utf8);
    }
    if (in.status() != QDataStream::Ok || !in.atEnd() || (status != kFound && status != kNotRegistered))
        return std::nullopt;
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
    // The value and its time to live, sent together so that they cost one round trip:
    // plain reads, far cheaper for the store than a script, and a full store answers them.
    static const QByteArray kGet = "GET";
    static const QByteArray kPttl = "PTTL";
    const QByteArray key = answerKey(ace);
    auto value = std::make_shared<StoreReply>();
    m_store.command({kGet, key}, [value](StoreReply reply) { *value = std::move(reply); });
    m_store.command({kPttl, key}, [value, done = std::move(done)](StoreReply ttl) {
        if (value->kind == StoreReply::Kind::Text && ttl.kind == StoreReply::Kind::Integer &&
            ttl.integer > 0) {
            if (std::optional<LookupResult> result = AnswerFromStore(value->text)) {
                done(Hit{std::move(*result), std::chrono::milliseconds(ttl.integer)}, true);
                return;
            }
        }
        done(std::nullopt, value->answered() && !value->isError() && ttl.answered());
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
