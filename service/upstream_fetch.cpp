#include "upstream_fetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

void FetchHttp(QNetworkAccessManager& network, const QUrl& url, const UpstreamLimits& limits,
               std::function<void(HttpAnswer)> done)
{
    QNetworkRequest request(url);
    request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("application/rdap+json"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(static_cast<int>(limits.connectTimeout.count()));
    QNetworkReply* reply = network.get(request);

    // Which limit ended the exchange, for the reason the reply gives.
    auto cause = std::make_shared<UpstreamError>(UpstreamError::None);
    auto limit = new QTimer(reply);
    limit->setSingleShot(true);
    QObject::connect(limit, &QTimer::timeout, reply, [reply, cause] {
        *cause = UpstreamError::Timeout;
        reply->abort();
    });
    limit->start(limits.totalTimeout);
    const qint64 maxBytes = limits.maxBytes;
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [reply, maxBytes, cause](qint64 received, qint64) {
                         if (received > maxBytes) {
                             *cause = UpstreamError::TooLarge;
                             reply->abort();
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, maxBytes, cause, done = std::move(done)] {
        reply->deleteLater();
        HttpAnswer answer;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (reply->error() == QNetworkReply::OperationCanceledError || !status.isValid()) {
            answer.error = *cause != UpstreamError::None ? *cause
                           : reply->error() == QNetworkReply::TimeoutError ||
                                   reply->error() == QNetworkReply::OperationCanceledError
                               ? UpstreamError::Timeout
                               : UpstreamError::CannotConnect;
            done(answer);
            return;
        }
        answer.body = reply->readAll();
        if (answer.body.size() > maxBytes) {
            answer = HttpAnswer{};
            answer.error = UpstreamError::TooLarge;
            done(answer);
            return;
        }
        answer.status = status.toInt();
        answer.retryAfter = std::chrono::seconds(reply->rawHeader("Retry-After").trimmed().toLongLong());
        done(std::move(answer));
    });
}

void FetchWhois(const QString& address, quint16 port, const QString& query,
                const UpstreamLimits& limits, std::function<void(WhoisAnswer)> done)
{
    auto* socket = new QTcpSocket;
    struct State {
        QByteArray answer;
        bool finished = false;
        std::function<void(WhoisAnswer)> done;
    };
    auto state = std::make_shared<State>();
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

    auto* connectLimit = new QTimer(socket);
    connectLimit->setSingleShot(true);
    QObject::connect(connectLimit, &QTimer::timeout, socket, [finish] { finish(UpstreamError::Timeout); });
    auto* totalLimit = new QTimer(socket);
    totalLimit->setSingleShot(true);
    QObject::connect(totalLimit, &QTimer::timeout, socket, [finish] { finish(UpstreamError::Timeout); });

    QObject::connect(socket, &QTcpSocket::connected, socket, [socket, connectLimit, query] {
        connectLimit->stop();
        socket->write(query.toUtf8() + "\r\n");
    });
    const qint64 maxBytes = limits.maxBytes;
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, state, finish, maxBytes] {
        state->answer += socket->readAll();
        if (state->answer.size() > maxBytes)
            finish(UpstreamError::TooLarge);
    });
    // Everything the server sent has come through readyRead before it closes.
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [finish] { finish(UpstreamError::None); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket, [state, finish](QAbstractSocket::SocketError error) {
        // The server closing after its answer is the normal end of an exchange.
        if (error == QAbstractSocket::RemoteHostClosedError && !state->answer.isEmpty()) {
            finish(UpstreamError::None);
            return;
        }
        finish(error == QAbstractSocket::SocketTimeoutError ? UpstreamError::Timeout
                                                            : UpstreamError::CannotConnect);
    });
    connectLimit->start(limits.connectTimeout);
    totalLimit->start(limits.totalTimeout);
    socket->connectToHost(address, port);
}
