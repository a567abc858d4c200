#include "test_https_server.h"

#include "server_thread.h"
#include "test_files.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

namespace {

QByteArray ReadCertFile(const char* name)
{
    return ReadTestFile(QStringLiteral(WHOIS_TEST_CERT_DIR "/") + QString::fromLatin1(name));
}

QByteArray ReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

// Parses one request from the bytes received so far; false while it is incomplete.
bool ParseRequest(const QByteArray& buffer, TestHttpsServer::Request& request)
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
    request = {};
    request.method = start.value(0);
    request.target = start.value(1);
    const qsizetype question = request.target.indexOf('?');
    request.path = question < 0 ? request.target : request.target.left(question);
    request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    const qsizetype length = request.header("Content-Length").toLongLong();
    if (buffer.size() < headEnd + 4 + length)
        return false;
    request.body = buffer.mid(headEnd + 4, length);
    return true;
}

void Serve(QSslSocket* socket, TestHttpsServer& owner)
{
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QSslSocket::readyRead, socket, [socket, buffer, &owner] {
        buffer->append(socket->readAll());
        TestHttpsServer::Request request;
        if (!ParseRequest(*buffer, request))
            return;
        buffer->clear();
        const TestHttpsServer::Response response = owner.answer(request);
        const bool keepAlive = owner.keepAlive();
        auto send = [socket, response, keepAlive] {
            if (response.hangUp) {
                socket->abort();
                return;
            }
            QByteArray bytes = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                               ReasonPhrase(response.status) + "\r\n";
            bytes += "Content-Type: " + response.contentType + "\r\n";
            if (response.declareLength)
                bytes += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
            for (const auto& [name, value] : response.headers)
                bytes += name + ": " + value + "\r\n";
            const bool close = !keepAlive || !response.declareLength;
            bytes += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
            bytes += response.body;
            socket->write(bytes);
            if (close)
                socket->disconnectFromHost();
        };
        if (response.delayMs > 0)
            QTimer::singleShot(response.delayMs, socket, send);
        else
            send();
    });
}

} // namespace

QByteArray TestHttpsServer::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

int TestHttpsServer::Request::headerCount(const QByteArray& name) const
{
    int count = 0;
    for (const auto& header : headers)
        count += header.first.compare(name, Qt::CaseInsensitive) == 0 ? 1 : 0;
    return count;
}

TestHttpsServer::TestHttpsServer(Certificate certificate, quint16 port)
    : m_handler([](const Request&) { return Response{}; })
{
    m_thread = std::make_unique<ServerThread>([this, certificate, port](QObject& owner) -> quint16 {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        const bool trusted = certificate == Certificate::Trusted;
        tls.setLocalCertificate(QSslCertificate(ReadCertFile(trusted ? "server.crt" : "untrusted.crt")));
        tls.setPrivateKey(QSslKey(ReadCertFile(trusted ? "server.key" : "untrusted.key"), QSsl::Rsa));
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);

        auto* server = new QSslServer(&owner);
        server->setSslConfiguration(tls);
        QObject::connect(server, &QTcpServer::pendingConnectionAvailable, server, [this, server] {
            while (auto* socket = qobject_cast<QSslSocket*>(server->nextPendingConnection()))
                Serve(socket, *this);
        });
        return server->listen(QHostAddress::LocalHost, port) ? server->serverPort() : 0;
    });
}

TestHttpsServer::~TestHttpsServer() = default;

quint16 TestHttpsServer::port() const
{
    return m_thread->port();
}

QString TestHttpsServer::baseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(port());
}

void TestHttpsServer::setHandler(Handler handler)
{
    QMutexLocker lock(&m_mutex);
    m_handler = std::move(handler);
}

void TestHttpsServer::respondWith(Response response)
{
    setHandler([response](const Request&) { return response; });
}

QList<TestHttpsServer::Request> TestHttpsServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

void TestHttpsServer::clearRequests()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
}

TestHttpsServer::Response TestHttpsServer::answer(const Request& request)
{
    Handler handler;
    {
        QMutexLocker lock(&m_mutex);
        if (m_keepRequests)
            m_requests.append(request);
        handler = m_handler;
    }
    return handler(request);
}

void TestHttpsServer::trustTestAuthority()
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(QSslCertificate::fromData(ReadCertFile("ca.crt")));
    QSslConfiguration::setDefaultConfiguration(tls);
}
