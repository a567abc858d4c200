#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class ServerThread;

// A loopback HTTPS server for tests, on a thread of its own so that it answers even
// while the test's thread is blocked. It records every request and answers through a
// handler: any status and body, after a delay, or by hanging up without an answer.
class TestHttpsServer final {
public:
    struct Request {
        QByteArray method;
        QByteArray target; // path and query as sent
        QByteArray path;
        QByteArray query;
        QList<QPair<QByteArray, QByteArray>> headers; // names as sent
        QByteArray body;

        QByteArray header(const QByteArray& name) const; // case-insensitive; empty if absent
        int headerCount(const QByteArray& name) const;
    };

    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json; charset=utf-8";
        int delayMs = 0;
        bool hangUp = false;                               // close the connection without answering
        QList<QPair<QByteArray, QByteArray>> headers = {}; // extra response headers
        bool declareLength = true; // false: no Content-Length, the body ends when we close
    };

    using Handler = std::function<Response(const Request&)>;

    enum class Certificate { Trusted, UnknownAuthority };

    explicit TestHttpsServer(Certificate certificate = Certificate::Trusted, quint16 port = 0);
    ~TestHttpsServer();
    TestHttpsServer(const TestHttpsServer&) = delete;
    TestHttpsServer& operator=(const TestHttpsServer&) = delete;

    // "https://127.0.0.1:PORT"
    QString baseUrl() const;
    quint16 port() const;

    void setHandler(Handler handler);
    void respondWith(Response response);
    void respondWithBody(const QByteArray& body) { respondWith(Response{200, body}); }

    // Keeps connections open between requests, as a production server would.
    void setKeepAlive(bool keepAlive) { m_keepAlive = keepAlive; }
    bool keepAlive() const { return m_keepAlive; }

    QList<Request> requests() const;
    void clearRequests();
    // Off: requests() stays empty (a benchmark's thousands would count as its subject's memory).
    void setKeepRequests(bool keep) { m_keepRequests = keep; }

    // Makes this process trust the tests' own certificate authority (and only tests
    // call it): the default TLS configuration then accepts the trusted server.
    static void trustTestAuthority();

    // Called on the server's thread.
    Response answer(const Request& request);

private:
    mutable QMutex m_mutex;
    Handler m_handler;
    QList<Request> m_requests;
    std::atomic<bool> m_keepAlive = false;
    std::atomic<bool> m_keepRequests = true;
    std::unique_ptr<ServerThread> m_thread; // last: stops before the state above goes
};
