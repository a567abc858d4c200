#pragma once

#include <QSignalSpy>
#include <QTcpServer>

// A loopback port that only notes whether anything connected to it: where the service
// must not go, whatever it would have said there.
struct LoopbackListener {
    LoopbackListener() { server.listen(QHostAddress::LocalHost); }
    bool reached() { return connections.count() > 0 || server.hasPendingConnections(); }
    quint16 port() const { return server.serverPort(); }

    QTcpServer server;
    QSignalSpy connections{&server, &QTcpServer::newConnection};
};
