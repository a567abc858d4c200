#include "fake_whois_server.h"

#include "server_thread.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

FakeWhoisServer::FakeWhoisServer()
{
    m_thread = std::make_unique<ServerThread>([this](QObject& owner) -> quint16 {
        auto* server = new QTcpServer(&owner);
        QObject::connect(server, &QTcpServer::newConnection, server, [this, server] {
            while (QTcpSocket* socket = server->nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    buffer->append(socket->readAll());
                    const qsizetype end = buffer->indexOf("\r\n");
                    if (end < 0)
                        return;
                    const QByteArray text = answerFor(buffer->left(end));
                    QTimer::singleShot(delay(), socket, [socket, text] {
                        socket->write(text);
                        socket->disconnectFromHost();
                    });
                });
            }
        });
        return server->listen(QHostAddress::LocalHost) ? server->serverPort() : 0;
    });
}

FakeWhoisServer::~FakeWhoisServer() = default;

quint16 FakeWhoisServer::port() const
{
    return m_thread->port();
}

QString FakeWhoisServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

void FakeWhoisServer::answer(const QByteArray& query, const QByteArray& text)
{
    QMutexLocker lock(&m_mutex);
    m_answers.insert(query, text);
}

void FakeWhoisServer::setDelay(int milliseconds)
{
    QMutexLocker lock(&m_mutex);
    m_delay = milliseconds;
}

void FakeWhoisServer::hang(int milliseconds)
{
    QMutexLocker lock(&m_mutex);
    m_hangEnds.setRemainingTime(milliseconds);
}

bool FakeWhoisServer::hanging() const
{
    QMutexLocker lock(&m_mutex);
    return !m_hangEnds.hasExpired();
}

int FakeWhoisServer::delay() const
{
    QMutexLocker lock(&m_mutex);
    return int(std::max<qint64>(m_delay, m_hangEnds.remainingTime()));
}

QList<QByteArray> FakeWhoisServer::queries() const
{
    QMutexLocker lock(&m_mutex);
    return m_queries;
}

void FakeWhoisServer::limitTo(int perSecond, const QByteArray& beyond)
{
    QMutexLocker lock(&m_mutex);
    m_perSecond = perSecond;
    m_beyond = beyond;
}

QByteArray FakeWhoisServer::answerFor(const QByteArray& query)
{
    QMutexLocker lock(&m_mutex);
    m_queries.append(query);
    if (m_perSecond > 0 && !m_arrivals.admit(m_perSecond))
        return m_beyond;
    return m_answers.value(query);
}
