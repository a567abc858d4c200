#include "fake_whois_server.h"

#include <QEventLoop>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

FakeWhoisServer::FakeWhoisServer()
{
    QSemaphore listening;
    m_thread.reset(QThread::create([this, &listening] {
        QTcpServer server;
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
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
        if (!server.listen(QHostAddress::LocalHost))
            qFatal("fake WHOIS server cannot listen");
        m_port = server.serverPort();
        listening.release();
        QEventLoop loop;
        loop.exec();
    }));
    m_thread->start();
    listening.acquire();
}

FakeWhoisServer::~FakeWhoisServer()
{
    m_thread->quit();
    m_thread->wait();
}

QString FakeWhoisServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
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

int FakeWhoisServer::delay() const
{
    QMutexLocker lock(&m_mutex);
    return m_delay;
}

QList<QByteArray> FakeWhoisServer::queries() const
{
    QMutexLocker lock(&m_mutex);
    return m_queries;
}

QByteArray FakeWhoisServer::answerFor(const QByteArray& query)
{
    QMutexLocker lock(&m_mutex);
    m_queries.append(query);
    return m_answers.value(query);
}
