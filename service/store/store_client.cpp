#include "service/store/store_client.h"

#include "service/store/qt_redis_adapter.h"

#include <hiredis/async.h>
#include <hiredis/hiredis.h>

#include <QMetaObject>
#include <QVarLengthArray>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr std::chrono::milliseconds kFirstRetry{250};
constexpr std::chrono::milliseconds kLongestRetry{10000};
// Time-outs in a row after which the connection is taken for stuck and made again.
constexpr int kTimeoutsBeforeDrop = 3;

StoreReply Copy(const redisReply* reply)
{
    StoreReply copy;
    if (!reply)
        return copy;
    switch (reply->type) {
    case REDIS_REPLY_NIL: copy.kind = StoreReply::Kind::Nil; break;
    case REDIS_REPLY_INTEGER:
        copy.kind = StoreReply::Kind::Integer;
        copy.integer = reply->integer;
        break;
    case REDIS_REPLY_STRING:
    case REDIS_REPLY_STATUS:
    case REDIS_REPLY_ERROR:
        copy.kind = reply->type == REDIS_REPLY_STRING   ? StoreReply::Kind::Text
                    : reply->type == REDIS_REPLY_STATUS ? StoreReply::Kind::Status
                                                        : StoreReply::Kind::Error;
        copy.text = QByteArray(reply->str, qsizetype(reply->len));
        break;
    case REDIS_REPLY_ARRAY:
        copy.kind = StoreReply::Kind::Array;
        for (size_t i = 0; i < reply->elements; ++i)
            copy.elements.append(Copy(reply->element[i]));
        break;
    default: copy.kind = StoreReply::Kind::Error; break;
    }
    return copy;
}

// What a refused handshake step means for the operator.
QString HandshakeProblem(const QByteArray& step, const QByteArray& error)
{
    const QString said = QString::fromUtf8(error);
    if (step == "AUTH")
        return QStringLiteral("the store refused the password (%1)").arg(said);
    if (error.startsWith("NOAUTH"))
        return QStringLiteral("the store wants a password (--store-password-file): %1").arg(said);
    if (step == "SELECT")
        return QStringLiteral("the store refused the database number (%1)").arg(said);
    return QStringLiteral("the store refused us (%1)").arg(said);
}

} // namespace

StoreClient::StoreClient(Options options, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_clock(clock)
{
}

StoreClient::~StoreClient()
{
    m_pending.clear(); // their callers are going too
    if (m_context) {
        m_context->data = nullptr;
        redisAsyncFree(m_context);
    }
}

void StoreClient::start()
{
    connectNow();
}

void StoreClient::connectNow()
{
    ++m_attempt;
    const QByteArray path = m_options.address.socketPath.toLocal8Bit();
    const QByteArray host = m_options.address.host.toLatin1();
    redisAsyncContext* context = m_options.address.isUnixSocket()
                                     ? redisAsyncConnectUnix(path.constData())
                                     : redisAsyncConnect(host.constData(), m_options.address.port);
    if (!context || context->err) {
        const QString why =
            context ? QString::fromLocal8Bit(context->errstr) : QStringLiteral("out of memory");
        if (context)
            redisAsyncFree(context);
        setState(StoreState::Down, QStringLiteral("cannot connect (%1)").arg(why));
        retryLater();
        return;
    }
    context->data = this;
    AttachToEventLoop(context, this);
    redisAsyncSetConnectCallback(context, &StoreClient::onConnect);
    redisAsyncSetDisconnectCallback(context, &StoreClient::onDisconnect);
    m_context = context;
    // The handshake's own commands time out; the connection itself might never complete.
    const quint64 attempt = m_attempt;
    m_clock.callAfter(std::max(m_options.timeout, std::chrono::milliseconds(1000)), this, [this, attempt] {
        if (attempt == m_attempt && !m_ready && m_context)
            drop(QStringLiteral("cannot connect (no answer)"));
    });
    handshake();
}

void StoreClient::handshake()
{
    std::vector<QList<QByteArray>> steps;
    if (!m_options.password.isEmpty())
        steps.push_back({"AUTH", m_options.password});
    if (m_options.address.database != 0)
        steps.push_back({"SELECT", QByteArray::number(m_options.address.database)});
    steps.push_back({"PING"});
    const quint64 attempt = m_attempt;
    auto refused = std::make_shared<bool>(false);
    for (size_t i = 0; i < steps.size(); ++i) {
        const bool last = i + 1 == steps.size();
        const QByteArray step = steps[i].first();
        send(steps[i], [this, attempt, refused, last, step](StoreReply reply) {
            if (attempt != m_attempt || *refused)
                return;
            if (!reply.answered() || reply.isError()) {
                *refused = true;
                if (reply.kind == StoreReply::Kind::TimedOut)
                    drop(QStringLiteral("no answer within %1 ms").arg(m_options.timeout.count()));
                else if (reply.isError())
                    drop(HandshakeProblem(step, reply.text));
                return;
            }
            if (last) {
                m_ready = true;
                m_backoff = std::chrono::milliseconds(0);
                m_timeoutsInARow = 0;
                setState(StoreState::Up, {});
            }
        });
    }
}

void StoreClient::command(const QList<QByteArray>& arguments, Done done, bool writes)
{
    if (!m_ready) {
        done(StoreReply{});
        return;
    }
    send(arguments, std::move(done), writes);
}

void StoreClient::send(const QList<QByteArray>& arguments, Done done, bool writes)
{
    QVarLengthArray<const char*, 8> words;
    QVarLengthArray<size_t, 8> lengths;
    for (const QByteArray& argument : arguments) {
        words.append(argument.constData());
        lengths.append(size_t(argument.size()));
    }
    const quint64 id = m_nextId++;
    m_pending.insert(id, Pending{std::move(done), writes});
    const int sent =
        redisAsyncCommandArgv(m_context, &StoreClient::onReply, reinterpret_cast<void*>(quintptr(id)),
                              int(words.size()), words.data(), lengths.data());
    if (sent != REDIS_OK) {
        answer(id, StoreReply{});
        return;
    }
    m_deadlines.emplace_back(id, m_clock.now() + m_options.timeout);
    if (!m_watching)
        watchDeadlines();
}

void StoreClient::watchDeadlines()
{
    // All commands share one time-out, so the oldest is due first: a timer per command
    // would cost more than the lookup that sent it.
    m_watching = false;
    while (true) {
        while (!m_deadlines.empty() && !m_pending.contains(m_deadlines.front().first))
            m_deadlines.pop_front();
        if (m_deadlines.empty())
            return;
        const auto [id, due] = m_deadlines.front();
        const Clock::TimePoint now = m_clock.now();
        if (due > now) {
            m_watching = true;
            m_clock.callAfter(std::chrono::ceil<std::chrono::milliseconds>(due - now), this,
                              [this] { watchDeadlines(); });
            return;
        }
        m_deadlines.pop_front();
        timedOut(id);
    }
}

void StoreClient::answer(quint64 id, StoreReply reply)
{
    const Pending pending = m_pending.take(id);
    if (!pending.done)
        return;
    if (reply.isError() && reply.text.contains("OOM command not allowed") && m_state == StoreState::Up)
        setState(StoreState::Full, QStringLiteral("the store is full (maxmemory), it keeps nothing new"));
    else if (pending.writes && reply.answered() && !reply.isError() && m_state == StoreState::Full)
        setState(StoreState::Up, {});
    pending.done(std::move(reply));
}

void StoreClient::timedOut(quint64 id)
{
    if (!m_pending.contains(id))
        return;
    StoreReply late;
    late.kind = StoreReply::Kind::TimedOut;
    answer(id, std::move(late));
    if (m_ready && ++m_timeoutsInARow >= kTimeoutsBeforeDrop)
        drop(QStringLiteral("no answer within %1 ms, %2 times in a row")
                 .arg(m_options.timeout.count())
                 .arg(kTimeoutsBeforeDrop));
}

void StoreClient::drop(const QString& why)
{
    redisAsyncContext* context = std::exchange(m_context, nullptr);
    lost(why);
    if (!context)
        return;
    // This may run inside the library's callback for this very connection: stop the
    // event loop driving it now, free it once the library has returned.
    context->data = nullptr;
    context->ev.delRead(context->ev.data);
    context->ev.delWrite(context->ev.data);
    QMetaObject::invokeMethod(
        this, [context] { redisAsyncFree(context); }, Qt::QueuedConnection);
}

void StoreClient::lost(const QString& why)
{
    ++m_attempt;
    m_ready = false;
    m_context = nullptr;
    setState(StoreState::Down, why);
    failPending();
    retryLater();
}

void StoreClient::failPending()
{
    const QHash<quint64, Pending> pending = std::exchange(m_pending, {});
    for (const Pending& one : pending)
        one.done(StoreReply{});
}

void StoreClient::retryLater()
{
    if (m_retryPending)
        return;
    m_retryPending = true;
    m_backoff = m_backoff.count() == 0 ? kFirstRetry : std::min(m_backoff * 2, kLongestRetry);
    m_clock.callAfter(m_backoff, this, [this] {
        m_retryPending = false;
        if (!m_context)
            connectNow();
    });
}

void StoreClient::setState(StoreState state, const QString& problem)
{
    // Once per change of state: a store that stays down for another reason (lost, then
    // refusing connections) is not news.
    const bool changed = state != m_state;
    m_problem = problem;
    if (!changed)
        return;
    m_state = state;
    const QString where = m_options.address.display();
    switch (state) {
    case StoreState::Up: LogNotice(m_options.logFormat, QStringLiteral("store up at ") + where); break;
    case StoreState::Full:
        LogNotice(m_options.logFormat, QStringLiteral("store at %1: %2").arg(where, problem));
        break;
    case StoreState::Down:
        LogNotice(m_options.logFormat,
                  QStringLiteral("store down at %1: %2; answering from this instance alone until it is back")
                      .arg(where, problem));
        break;
    case StoreState::Connecting: break;
    }
    emit stateChanged();
}

void StoreClient::onConnect(const redisAsyncContext* context, int status)
{
    auto* client = static_cast<StoreClient*>(context->data);
    if (!client || status == REDIS_OK || client->m_context != context)
        return;
    // The library frees the connection after this returns.
    client->lost(QStringLiteral("cannot connect (%1)").arg(QString::fromLocal8Bit(context->errstr)));
}

void StoreClient::onDisconnect(const redisAsyncContext* context, int)
{
    auto* client = static_cast<StoreClient*>(context->data);
    if (client && client->m_context == context)
        client->lost(QStringLiteral("connection lost (%1)").arg(QString::fromLocal8Bit(context->errstr)));
}

void StoreClient::onReply(redisAsyncContext* context, void* reply, void* id)
{
    auto* client = static_cast<StoreClient*>(context->data);
    if (!client)
        return;
    // No reply: the library is closing this connection and frees it afterwards.
    if (!reply && client->m_context == context)
        client->lost(
            QStringLiteral("connection lost (%1)")
                .arg(context->errstr ? QString::fromLocal8Bit(context->errstr) : QStringLiteral("closed")));
    if (reply)
        client->m_timeoutsInARow = 0;
    client->answer(quintptr(id), Copy(static_cast<const redisReply*>(reply)));
}
