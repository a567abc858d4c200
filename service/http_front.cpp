#include "http_front.h"

#include "digest/md5_hex.h"
#include "domain_name.h"
#include "lookup_service.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpSocket>
#include <QUrlQuery>

#include <cstdio>
#include <memory>

namespace {

const char* OutcomeName(LookupStatus status)
{
    switch (status) {
    case LookupStatus::Found: return "found";
    case LookupStatus::NotRegistered: return "not-registered";
    case LookupStatus::Invalid: return "invalid";
    case LookupStatus::BadToken: return "bad-token";
    case LookupStatus::UpstreamFailed: return "upstream-failed";
    case LookupStatus::RateLimited: return "rate-limited";
    }
    return "?";
}

void Log(const QHostAddress& source, const QString& name, LookupStatus status,
         const QString& upstream, const QElapsedTimer& clock)
{
    std::fprintf(stderr, "%s %s %s %s upstream=%s %.1fms\n",
                 qPrintable(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)),
                 qPrintable(source.toString()), qPrintable(name.isEmpty() ? QStringLiteral("-") : name),
                 OutcomeName(status), qPrintable(upstream.isEmpty() ? QStringLiteral("-") : upstream),
                 clock.nsecsElapsed() / 1e6);
}

QByteArray Json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

HttpFront::HttpFront(const ServiceSettings& settings, LookupService& lookups, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_lookups(lookups)
{
    m_server.route(QStringLiteral("/index.php/Index/soft_version"), QHttpServerRequest::Method::Post,
                   [this](const QHttpServerRequest& request) {
                       const QUrlQuery form(QString::fromUtf8(request.body()));
                       QJsonObject reply;
                       if (form.queryItemValue(QStringLiteral("sn")) == u"whois") {
                           reply = QJsonObject{
                               {QStringLiteral("result"), 1},
                               {QStringLiteral("message"), QString()},
                               {QStringLiteral("info"),
                                QJsonObject{{QStringLiteral("version"), m_settings.version},
                                            {QStringLiteral("sid"), m_settings.sid},
                                            {QStringLiteral("must"), m_settings.must}}}};
                       } else {
                           reply = QJsonObject{{QStringLiteral("result"), 0},
                                               {QStringLiteral("message"), QStringLiteral("未知的软件..")}};
                       }
                       return QHttpServerResponse(QByteArrayLiteral("application/json"), Json(reply));
                   });

    m_server.route(QStringLiteral("/index.php/Index/web_whois"), QHttpServerRequest::Method::Get,
                   [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                       QElapsedTimer clock;
                       clock.start();
                       const QUrlQuery query = request.query();
                       const QString name = query.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded);
                       const QString token = query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
                       const QHostAddress source = request.remoteAddress();
                       auto answer = [source, name, clock](QHttpServerResponder* out, const LookupResult& result) {
                           Log(source, name, result.status, result.upstream, clock);
                           if (out)
                               out->write(Json(LookupReply(result)), QByteArrayLiteral("application/json"));
                       };
                       // Nothing goes upstream without a valid token.
                       if (token.isEmpty() || token != Md5Hex(name + QStringLiteral("tamlo"), 32)) {
                           answer(&responder, LookupResult::failed(LookupStatus::BadToken));
                           return;
                       }
                       const std::optional<DomainName> domain = DomainName::parse(name);
                       if (!domain) {
                           answer(&responder, LookupResult::invalid(name));
                           return;
                       }
                       auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
                       QPointer<QTcpSocket> socket = pending->socket();
                       m_lookups.lookup(*domain, [pending, socket, answer](LookupResult result) {
                           // The client may have gone while the registry was asked.
                           answer(socket ? pending.get() : nullptr, result);
                       });
                   });
}

quint16 HttpFront::listen(const QByteArray& certificatePem, const QByteArray& keyPem, QString* error)
{
    const QSslCertificate certificate(certificatePem, QSsl::Pem);
    const QSslKey key(keyPem, QSsl::Rsa, QSsl::Pem);
    if (certificate.isNull() || key.isNull()) {
        *error = QStringLiteral("the TLS certificate or key cannot be read");
        return 0;
    }
    m_server.sslSetup(certificate, key);
    const quint16 port = m_server.listen(m_settings.listenAddress, m_settings.port);
    if (port == 0)
        *error = QStringLiteral("cannot listen on %1:%2").arg(m_settings.listenAddress.toString()).arg(m_settings.port);
    return port;
}
