#include "service/bulk/name_asker.h"

#include "core/batch/lookup_reply.h"
#include "service/engine/domain_name.h"
#include "service/engine/lookup_service.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <chrono>

namespace {

// Long enough never to end a lookup: a bulk run waits for every registry's pace.
constexpr std::chrono::hours kBulkPatience{24};
// whoisd answers within 25 s; a reply later than this is not coming.
constexpr std::chrono::seconds kServiceReplyWithin{40};
constexpr int kServiceAttempts = 4;
constexpr std::chrono::seconds kServiceRetryAfter{15};

} // namespace

EngineAsker::EngineAsker(LookupService& lookups, Clock& clock, WallClock wallClock)
    : m_lookups(lookups)
    , m_clock(clock)
    , m_wallClock(std::move(wallClock))
    , m_caller{QStringLiteral("whois-bulk"), {}}
{
    QObject::connect(&m_lookups.gate(), &UpstreamGate::coolingDown, &m_context,
                     [this](const QString& server, qint64 milliseconds) {
        m_coolingUntil[server] = m_clock.now() + std::chrono::milliseconds(milliseconds);
    });
}

QStringList EngineAsker::coolingServers() const
{
    QStringList servers;
    for (const auto& [server, until] : m_coolingUntil)
        if (until > m_clock.now())
            servers.append(server);
    return servers;
}

void EngineAsker::ask(const QString& name, Done done)
{
    const std::optional<DomainName> domain = DomainName::parse(name);
    if (!domain) {
        done(BulkRecord::fromResult(LookupResult::invalid(name), m_wallClock()));
        return;
    }
    LookupCaller caller = m_caller;
    caller.deadline = m_clock.now() + kBulkPatience;
    m_lookups.lookup(*domain, caller, [done = std::move(done), wallClock = m_wallClock](LookupResult result) {
        done(BulkRecord::fromResult(result, wallClock()));
    });
}

void EngineAsker::stop()
{
    m_caller.gone->store(true, std::memory_order_relaxed);
}

ServiceAsker::ServiceAsker(QNetworkAccessManager& network, QString serviceUrl,
                           const QList<QSslCertificate>& authorities, WallClock wallClock)
    : m_network(network)
    , m_serviceUrl(std::move(serviceUrl))
    , m_wallClock(std::move(wallClock))
    , m_tls(QSslConfiguration::defaultConfiguration())
{
    m_tls.addCaCertificates(authorities);
    while (m_serviceUrl.endsWith(u'/'))
        m_serviceUrl.chop(1);
}

void ServiceAsker::ask(const QString& name, Done done)
{
    send(name, 1, done);
}

void ServiceAsker::stop()
{
    m_stopped = true;
}

void ServiceAsker::send(const QString& name, int attempt, const Done& done)
{
    QNetworkRequest request{QUrl(LookupUrl(m_serviceUrl, name))};
    request.setTransferTimeout(int(std::chrono::milliseconds(kServiceReplyWithin).count()));
    request.setSslConfiguration(m_tls);
    QNetworkReply* reply = m_network.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, name, attempt, done] {
        reply->deleteLater();
        if (m_stopped)
            return;
        wire::RowFields failed;
        failed[0] = name;
        failed[6] = QUrl(m_serviceUrl).host();
        const auto failure = [&](QStringView why) {
            failed[8] = wire::UpstreamFailedText(why);
            done(BulkRecord::fromRow(failed, m_wallClock()));
        };
        if (reply->error() == QNetworkReply::OperationCanceledError ||
            reply->error() == QNetworkReply::TimeoutError)
            return failure(wire::kTimedOut);
        if (reply->error() != QNetworkReply::NoError && reply->error() < QNetworkReply::ContentAccessDenied)
            return failure(wire::kCannotConnect);
        const LookupOutcome outcome = MapLookupReply(QString::fromUtf8(reply->readAll()));
        if (std::holds_alternative<LookupRefused>(outcome))
            return failure(wire::kRegistryRefused);
        if (!std::holds_alternative<ResultRow>(outcome))
            return failure(wire::kUnreadableAnswer);
        const auto& fields = std::get<ResultRow>(outcome).fields;
        BulkRecord record = BulkRecord::fromRow(wire::RowFields(fields), m_wallClock());
        if (record.verdict == Verdict::RateLimited && attempt < kServiceAttempts) {
            QTimer::singleShot(kServiceRetryAfter, this, [this, name, attempt, done] {
                if (!m_stopped)
                    send(name, attempt + 1, done);
            });
            return;
        }
        done(std::move(record));
    });
}
