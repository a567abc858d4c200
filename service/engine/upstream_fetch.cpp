#include "service/engine/upstream_fetch.h"

#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <utility>

namespace {

constexpr int kMaxRedirects = 5;
// What the sockets and replies may hold before we take it: with this the cost of a
// huge answer stays near the cap.
constexpr qint64 kReadChunk = 64 * 1024;

bool IsRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One HTTPS fetch through its redirects. Each hop's host is resolved here and the
// request goes to one checked address, so a second resolution cannot send it elsewhere.
// A child of the network manager: it goes with it if the service stops mid-fetch.
class HttpExchange final : public QObject {
public:
    HttpExchange(QNetworkAccessManager& network, const OutboundPolicy& policy, const UpstreamLimits& limits,
                 std::function<void(HttpAnswer)> done)
        : QObject(&network)
        , m_network(network)
        , m_policy(policy)
        , m_limits(limits)
        , m_done(std::move(done))
    {
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] {
            m_cause = UpstreamError::Timeout;
            if (m_reply)
                m_reply->abort();
            else
                fail(UpstreamError::Timeout);
        });
        m_deadline.start(m_limits.totalTimeout);
    }

    void start(const QUrl& url)
    {
        m_url = url;
        m_addresses.clear();
        m_next = 0;
        if (!m_policy.mayRequest(url)) {
            fail(UpstreamError::CannotConnect);
            return;
        }
        QHostInfo::lookupHost(url.host(), this, [this](const QHostInfo& info) { resolved(info); });
    }

private:
    void resolved(const QHostInfo& info)
    {
        for (const QHostAddress& address : info.addresses()) {
            if (m_policy.mayConnect(m_url, address))
                m_addresses.append(address);
        }
        if (m_addresses.isEmpty()) {
            fail(UpstreamError::CannotConnect);
            return;
        }
        request();
    }

    void request()
    {
        const QHostAddress address = m_addresses.at(m_next);
        QUrl pinned = m_url;
        pinned.setHost(address.toString());
        QNetworkRequest request(pinned);
        // The server and its certificate are still those of the name.
        request.setPeerVerifyName(m_url.host(QUrl::FullyEncoded));
        request.setRawHeader(QByteArrayLiteral("Host"),
                             m_url.authority(QUrl::FullyEncoded | QUrl::RemoveUserInfo).toLatin1());
        request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("application/rdap+json"));
        // Compressed answers could unpack far past the cap.
        request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
        // HTTP/2 would name the address, not the host, as the authority.
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(static_cast<int>(m_limits.connectTimeout.count()));
        m_body.clear();
        m_reply = m_network.get(request);
        m_reply->setReadBufferSize(kReadChunk);
        QNetworkReply* reply = m_reply;
        connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
            if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > m_limits.maxBytes)
                tooLarge(reply);
        });
        connect(reply, &QNetworkReply::readyRead, this, [this, reply] { take(reply); });
        connect(reply, &QNetworkReply::finished, this, [this, reply] { replied(reply); });
    }

    void take(QNetworkReply* reply)
    {
        if (m_cause != UpstreamError::None)
            return;
        m_body += reply->readAll();
        if (m_body.size() > m_limits.maxBytes)
            tooLarge(reply);
    }

    void tooLarge(QNetworkReply* reply)
    {
        m_cause = UpstreamError::TooLarge;
        m_body.clear();
        m_body.squeeze();
        reply->abort();
    }

    void replied(QNetworkReply* reply)
    {
        reply->deleteLater();
        if (reply != m_reply)
            return;
        m_reply = nullptr;
        if (m_cause != UpstreamError::None) {
            fail(m_cause);
            return;
        }
        take(reply);
        if (m_cause != UpstreamError::None) {
            fail(m_cause);
            return;
        }
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            if (reply->error() == QNetworkReply::TimeoutError ||
                reply->error() == QNetworkReply::OperationCanceledError) {
                fail(UpstreamError::Timeout);
                return;
            }
            // A name with several addresses may be reachable on the next one.
            if (++m_next < m_addresses.size())
                request();
            else
                fail(UpstreamError::CannotConnect);
            return;
        }
        const QByteArray location = reply->rawHeader("Location");
        if (IsRedirect(status.toInt()) && !location.isEmpty()) {
            if (++m_redirects > kMaxRedirects)
                fail(UpstreamError::CannotConnect);
            else
                start(m_url.resolved(QUrl::fromEncoded(location)));
            return;
        }
        HttpAnswer answer;
        answer.status = status.toInt();
        answer.body = std::exchange(m_body, {});
        answer.retryAfter = std::chrono::seconds(reply->rawHeader("Retry-After").trimmed().toLongLong());
        finish(std::move(answer));
    }

    void fail(UpstreamError error)
    {
        HttpAnswer answer;
        answer.error = error;
        finish(std::move(answer));
    }

    void finish(HttpAnswer answer)
    {
        if (!m_done)
            return;
        m_deadline.stop();
        const auto done = std::exchange(m_done, {});
        deleteLater();
        done(std::move(answer));
    }

    QNetworkAccessManager& m_network;
    const OutboundPolicy m_policy;
    const UpstreamLimits m_limits;
    std::function<void(HttpAnswer)> m_done;
    QTimer m_deadline;
    QUrl m_url;
    QList<QHostAddress> m_addresses;
    qsizetype m_next = 0;
    int m_redirects = 0;
    QNetworkReply* m_reply = nullptr;
    QByteArray m_body;
    UpstreamError m_cause = UpstreamError::None;
};

// What one port-43 exchange has got so far.
struct WhoisExchange {
    QByteArray answer;
    bool finished = false;
    bool connected = false;
    QList<QHostAddress> untried; // checked addresses still to try
    std::function<void(WhoisAnswer)> done;
};

// Sends the query once connected and gathers the answer until the server closes;
// `finish` ends the exchange.
void WatchWhoisSocket(QTcpSocket* socket, quint16 port, const QString& query, qint64 maxBytes,
                      const std::shared_ptr<WhoisExchange>& state, QTimer* connectLimit,
                      const std::function<void(UpstreamError)>& finish)
{
    QObject::connect(socket, &QTcpSocket::connected, socket, [socket, state, connectLimit, query] {
        state->connected = true;
        connectLimit->stop();
        socket->write(query.toUtf8() + "\r\n");
    });
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, state, finish, maxBytes] {
        state->answer += socket->readAll();
        if (state->answer.size() > maxBytes)
            finish(UpstreamError::TooLarge);
    });
    // Everything the server sent has come through readyRead before it closes.
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [finish] { finish(UpstreamError::None); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [socket, port, state, finish](QAbstractSocket::SocketError error) {
        // A name with several addresses may be reachable on the next one (from the
        // event loop: the socket is not ready for it inside this signal).
        if (!state->connected && !state->untried.isEmpty()) {
            QTimer::singleShot(0, socket, [socket, port, state] {
                socket->abort();
                socket->connectToHost(state->untried.takeFirst(), port);
            });
            return;
        }
        // The server closing after its answer is the normal end of an exchange.
        if (error == QAbstractSocket::RemoteHostClosedError && !state->answer.isEmpty()) {
            finish(UpstreamError::None);
            return;
        }
        finish(error == QAbstractSocket::SocketTimeoutError ? UpstreamError::Timeout
                                                            : UpstreamError::CannotConnect);
    });
}

} // namespace

void FetchHttp(QNetworkAccessManager& network, const QUrl& url, const OutboundPolicy& policy,
               const UpstreamLimits& limits, std::function<void(HttpAnswer)> done)
{
    auto* exchange = new HttpExchange(network, policy, limits, std::move(done));
    // Started from the event loop, so that even a refusal reaches `done` after we return.
    QTimer::singleShot(0, exchange, [exchange, url] { exchange->start(url); });
}

void FetchWhois(QObject& owner, const QString& host, quint16 port, const QString& query, bool publicOnly,
                const UpstreamLimits& limits, std::function<void(WhoisAnswer)> done)
{
    auto* socket = new QTcpSocket(&owner);
    socket->setReadBufferSize(kReadChunk);
    auto state = std::make_shared<WhoisExchange>();
    state->done = std::move(done);
    const auto finish = [socket, state](UpstreamError error) {
        if (state->finished)
            return;
        state->finished = true;
        socket->abort();
        socket->deleteLater();
        // A server that closes without a word has not answered.
        if (error == UpstreamError::None && state->answer.isEmpty())
            error = UpstreamError::CannotConnect;
        state->done(WhoisAnswer{error == UpstreamError::None ? state->answer : QByteArray(), error});
    };

    // The socket closing as its owner deletes it must not call back into an owner half gone.
    QObject::connect(&owner, &QObject::destroyed, socket, [state] { state->finished = true; });

    auto* connectLimit = new QTimer(socket);
    connectLimit->setSingleShot(true);
    QObject::connect(connectLimit, &QTimer::timeout, socket, [finish] { finish(UpstreamError::Timeout); });
    auto* totalLimit = new QTimer(socket);
    totalLimit->setSingleShot(true);
    QObject::connect(totalLimit, &QTimer::timeout, socket, [finish] { finish(UpstreamError::Timeout); });

    WatchWhoisSocket(socket, port, query, limits.maxBytes, state, connectLimit, finish);
    connectLimit->start(limits.connectTimeout);
    totalLimit->start(limits.totalTimeout);
    if (!publicOnly) {
        socket->connectToHost(host, port);
        return;
    }
    // A referral's name is resolved here, and the connection goes to the address checked.
    QHostInfo::lookupHost(host, socket, [socket, port, state, finish](const QHostInfo& info) {
        for (const QHostAddress& address : info.addresses()) {
            if (IsPublicAddress(address))
                state->untried.append(address);
        }
        if (state->untried.isEmpty())
            finish(UpstreamError::CannotConnect);
        else
            socket->connectToHost(state->untried.takeFirst(), port);
    });
}
