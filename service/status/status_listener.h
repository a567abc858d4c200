#pragma once

#include "service/status/health.h"

#include <QHostAddress>
#include <QTcpServer>

#include <functional>

class Metrics;

// The plain-HTTP listener for operators and balancers: GET /healthz and GET /metrics,
// one request per connection. It runs on the engine's thread, so an engine that hangs
// stops answering here too.
class StatusListener final : public QObject {
    Q_OBJECT
public:
    StatusListener(const Metrics& metrics, std::function<Health()> health, QObject* parent = nullptr);

    // The port listened on, or 0 (with the reason).
    quint16 listen(const QHostAddress& address, quint16 port, QString* error);

private:
    void serve(QTcpSocket* socket);
    QByteArray reply(const QByteArray& head) const;

    const Metrics& m_metrics;
    std::function<Health()> m_health;
    QTcpServer m_server;
};

// The HTTP response for a request's head (request line and headers).
QByteArray StatusReply(const QByteArray& head, const Health& health,
                       const std::function<QByteArray()>& metrics);
