#include "front_routes.h"

#include "digest/md5_hex.h"
#include "domain_name.h"
#include "lookup_service.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QUrl>
#include <QUrlQuery>

#include <cstdio>

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

QByteArray Json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

FrontRoutes::FrontRoutes(const ServiceSettings& settings, LookupService& lookups)
    : m_settings(settings)
    , m_lookups(lookups)
{
}

void FrontRoutes::handle(const FrontRequest& request, Answer answer)
{
    const qsizetype query = request.target.indexOf('?');
    const QByteArray path = query < 0 ? request.target : request.target.left(query);
    if (path == "/index.php/Index/web_whois" && request.method == "GET") {
        lookUp(request, std::move(answer));
    } else if (path == "/index.php/Index/soft_version" && request.method == "POST") {
        const QUrlQuery form(QString::fromUtf8(request.body));
        QJsonObject reply;
        if (form.queryItemValue(QStringLiteral("sn")) == u"whois") {
            reply = QJsonObject{{QStringLiteral("result"), 1},
                                {QStringLiteral("message"), QString()},
                                {QStringLiteral("info"), QJsonObject{{QStringLiteral("version"), m_settings.version},
                                                                     {QStringLiteral("sid"), m_settings.sid},
                                                                     {QStringLiteral("must"), m_settings.must}}}};
        } else {
            reply = QJsonObject{{QStringLiteral("result"), 0},
                                {QStringLiteral("message"), QStringLiteral("未知的软件..")}};
        }
        answer(FrontReply{200, Json(reply)});
    } else {
        answer(FrontReply{404, {}});
    }
}

void FrontRoutes::lookUp(const FrontRequest& request, Answer answer)
{
    QElapsedTimer clock;
    clock.start();
    const QUrlQuery query(QUrl::fromEncoded(request.target));
    const QString name = query.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded);
    const QString token = query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
    const LogFormat format = m_settings.jsonLog ? LogFormat::Json : LogFormat::Text;
    auto done = [client = request.client.toString(), name, clock, format,
                 answer = std::move(answer)](const LookupResult& result) {
        const QByteArray line = FormatLogLine(
            format, LogEntry{QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs), client, name,
                             OutcomeName(result.status), result.upstream, clock.nsecsElapsed() / 1e6});
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        answer(FrontReply{200, Json(LookupReply(result))});
    };
    // Nothing goes upstream without a valid token.
    if (token.isEmpty() || token != Md5Hex(name + QStringLiteral("tamlo"), 32)) {
        done(LookupResult::failed(LookupStatus::BadToken));
        return;
    }
    const std::optional<DomainName> domain = DomainName::parse(name);
    if (!domain) {
        done(LookupResult::failed(LookupStatus::Invalid));
        return;
    }
    QMetaObject::invokeMethod(
        &m_lookups, [lookups = &m_lookups, domain = *domain, done] { lookups->lookup(domain, done); },
        Qt::QueuedConnection);
}
