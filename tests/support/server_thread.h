#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QThread;

// Runs a test server on a thread of its own, so that it answers even while the test's
// thread is blocked. `listen` runs on that thread: it creates the server as a child of
// `owner` (which lives there), starts listening and returns the port.
class ServerThread final {
public:
    explicit ServerThread(std::function<quint16(QObject& owner)> listen);
    ~ServerThread();
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    quint16 port() const { return m_port; }

private:
    std::unique_ptr<QThread> m_thread;
    quint16 m_port = 0;
};
