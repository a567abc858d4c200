#include "service/front/front_routes.h"

#include "core/protocol/wire_protocol.h"
#include "service/engine/domain_name.h"
#include "service/engine/lookup_service.h"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>

namespace {

QString OutcomeName(LookupStatus status)
{
    switch (status) {
    case LookupStatus::Found: return QStringLiteral("found");
    case LookupStatus::NotRegistered: return QStringLiteral("not-registered");
    case LookupStatus::Invalid: return QStringLiteral("invalid");
    case LookupStatus::BadToken: return QStringLiteral("bad-token");
    case LookupStatus::UpstreamFailed: return QStringLiteral("upstream-failed");
    case LookupStatus::RateLimited: return QStringLiteral("rate-limited");
    }
    return QStringLiteral("?");
}

void Log(LogFormat format, const QString& client, const QString& name, const QString& outcome,
         const QString& upstream, double milliseconds)
{
    WriteLogLine(FormatLogLine(format, LogEntry{UtcNow(), client, name, outcome, upstream, milliseconds}));
}

} // namespace

FrontRoutes::FrontRoutes(const ServiceSettings& settings, LookupService& lookups, Metrics* metrics)
    : m_settings(settings)
    , m_lookups(lookups)
    , m_metrics(metrics)
    , m_replies(std::make_shared<ReplyCache>(10000))
{
}

void FrontRoutes::handle(const FrontRequest& request, Answer answer)
{
    const qsizetype query = request.target.indexOf('?');
    const QByteArray path = query < 0 ? request.target : request.target.left(query);
    if (m_metrics) {
        const QByteArray route = path == wire::kLookupPath    ? QByteArray("lookup")
                                 : path == wire::kVersionPath ? QByteArray("version")
                                                              : QByteArray("other");
        answer = [metrics = m_metrics, route, answer = std::move(answer)](FrontReply reply) {
            metrics->request(route, reply.status);
            answer(std::move(reply));
        };
    }
    if (path == wire::kLookupPath && request.method == "GET") {
        lookUp(request, std::move(answer));
    } else if (path == wire::kVersionPath && request.method == "POST") {
        const QJsonObject reply =
            wire::FormNamesProduct(request.body)
                ? wire::VersionAnswer(m_settings.version, m_settings.sid, m_settings.must)
                : wire::Refusal(wire::kUnknownProduct.toString());
        answer(FrontReply{200, wire::ReplyBody(reply)});
    } else {
        answer(FrontReply{404, {}});
    }
}

void FrontRoutes::sweep()
{
    m_replies->sweep(ReplyCache::Clock::now());
}

void FrontRoutes::lookUp(const FrontRequest& request, Answer answer)
{
    QElapsedTimer clock;
    clock.start();
    const LogFormat format = m_settings.logFormat;
    if (const std::optional<ReplyCache::Entry> hit =
            m_replies->find(request.target, ReplyCache::Clock::now())) {
        Log(format, request.client, hit->name, hit->outcome, hit->upstream, clock.nsecsElapsed() / 1e6);
        answer(FrontReply{200, hit->body});
        return;
    }
    const wire::LookupQuery query = wire::ReadLookupTarget(request.target);
    const QString& name = query.name;
    // Answers the lookup cache keeps may be repeated here for a moment. Nothing here
    // refers to the front: the answer may come after it has gone.
    const auto lifetime = [found = m_settings.foundTtl, missing = m_settings.notRegisteredTtl,
                           reuse = m_settings.replyReuse](LookupStatus status) {
        const std::chrono::seconds ttl = status == LookupStatus::Found           ? found
                                         : status == LookupStatus::NotRegistered ? missing
                                                                                 : std::chrono::seconds(0);
        return std::min<std::chrono::milliseconds>(ttl, reuse);
    };
    auto done = [format, request, name, clock, lifetime, replies = m_replies,
                 answer = std::move(answer)](const LookupResult& result) {
        const QString outcome = OutcomeName(result.status);
        Log(format, request.client, name, outcome, result.upstream, clock.nsecsElapsed() / 1e6);
        const QByteArray body = wire::ReplyBody(LookupReply(result));
        if (const std::chrono::milliseconds keep = lifetime(result.status); keep.count() > 0)
            replies->store(request.target,
                           {body, name, outcome, result.upstream, ReplyCache::Clock::now() + keep});
        answer(FrontReply{200, body});
    };
    // Nothing goes upstream without a valid token.
    if (!query.isSigned()) {
        done(LookupResult::failed(LookupStatus::BadToken));
        return;
    }
    const std::optional<DomainName> domain = DomainName::parse(name);
    if (!domain) {
        done(LookupResult::invalid(name));
        return;
    }
    // The deadline counts from the request's arrival, on the lookups' own clock.
    QMetaObject::invokeMethod(
        &m_lookups,
        [lookups = &m_lookups, domain = *domain, done, clock, client = request.client, gone = request.gone,
         within = m_settings.answerWithin] {
        LookupCaller caller{client,
                            lookups->clock().now() + within - std::chrono::nanoseconds(clock.nsecsElapsed())};
        if (gone)
            caller.gone = gone;
        lookups->lookup(domain, std::move(caller), done);
        },
        Qt::QueuedConnection);
}
