#include "service/status/status_listener.h"

#include "service/metrics/metrics.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr qsizetype kMaxHead = 8 * 1024;
constexpr std::chrono::seconds kIdle{5};

QByteArray Response(int status, const char* reason, const QByteArray& type, const QByteArray& body, bool head)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
           (head ? QByteArray() : body);
}

} // namespace

QByteArray StatusReply(const QByteArray& head, const Health& health,
                       const std::function<QByteArray()>& metrics)
{
    const qsizetype lineEnd = head.indexOf("\r\n");
    const QList<QByteArray> line = (lineEnd < 0 ? head : head.left(lineEnd)).split(' ');
    if (line.size() != 3 || !line[2].startsWith("HTTP/1."))
        return Response(400, "Bad Request", "text/plain", "bad request\n", false);
    const bool headOnly = line[0] == "HEAD";
    if (line[0] != "GET" && !headOnly)
        return Response(405, "Method Not Allowed", "text/plain", "GET or HEAD only\n", false);
    const qsizetype query = line[1].indexOf('?');
    const QByteArray path = query < 0 ? line[1] : line[1].left(query);
    if (path == "/healthz")
        return Response(health.httpStatus(), health.httpStatus() == 200 ? "OK" : "Service Unavailable",
                        "text/plain; charset=utf-8", health.text(), headOnly);
    if (path == "/metrics")
        return Response(200, "OK", "text/plain; version=0.0.4; charset=utf-8", metrics(), headOnly);
    return Response(404, "Not Found", "text/plain", "/healthz or /metrics\n", headOnly);
}

StatusListener::StatusListener(const Metrics& metrics, std::function<Health()> health, QObject* parent)
    : QObject(parent)
    , m_metrics(metrics)
    , m_health(std::move(health))
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

quint16 StatusListener::listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (m_server.listen(address, port))
        return m_server.serverPort();
    *error = QStringLiteral("cannot listen for /healthz and /metrics on %1:%2: %3")
                 .arg(address.toString())
                 .arg(port)
                 .arg(m_server.errorString());
    return 0;
}

void StatusListener::serve(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kIdle, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        if (socket->property("answered").toBool())
            return;
        const QByteArray seen = socket->peek(kMaxHead);
        const qsizetype end = seen.indexOf("\r\n\r\n");
        if (end < 0 && seen.size() < kMaxHead)
            return;
        socket->setProperty("answered", true);
        socket->write(end < 0 ? StatusReply({}, {}, {}) : reply(seen.left(end)));
        socket->disconnectFromHost();
    });
}

QByteArray StatusListener::reply(const QByteArray& head) const
{
    return StatusReply(head, m_health(), [this] { return m_metrics.text(); });
}
