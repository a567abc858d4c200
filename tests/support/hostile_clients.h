#pragma once

#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

// Clients that open connections and leave them idle or give up half-way, for the
// service's hostile-client test and benchmark. All of them wait with the event loop
// running, on loopback only.
namespace hostile {

template <typename Socket>
using Sockets = std::vector<std::unique_ptr<Socket>>;

// `count` connections to 127.0.0.1:port; QSslSocket ones start the TLS handshake.
template <typename Socket>
Sockets<Socket> Open(int count, quint16 port)
{
    Sockets<Socket> sockets;
    for (int i = 0; i < count; ++i) {
        sockets.push_back(std::make_unique<Socket>());
        if constexpr (std::is_same_v<Socket, QSslSocket>)
            sockets.back()->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        else
            sockets.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    return sockets;
}

template <typename Socket, typename Predicate>
int Count(const Sockets<Socket>& sockets, Predicate predicate)
{
    return int(std::count_if(sockets.begin(), sockets.end(), [&](const auto& s) { return predicate(*s); }));
}

inline bool Connected(const QTcpSocket& socket)
{
    return socket.state() == QAbstractSocket::ConnectedState;
}
inline bool Closed(const QTcpSocket& socket)
{
    return socket.state() == QAbstractSocket::UnconnectedState;
}
inline bool Encrypted(const QSslSocket& socket)
{
    return socket.isEncrypted();
}

// Whether every socket came to satisfy `predicate` within `ms`.
template <typename Socket, typename Predicate>
bool AllOf(const Sockets<Socket>& sockets, Predicate predicate, int ms = 20000)
{
    return QTest::qWaitFor([&] { return Count(sockets, predicate) == int(sockets.size()); }, ms);
}

// The first bytes a TLS client sends, caught on a plain listener.
inline QByteArray ClientHello()
{
    QTcpServer listener;
    listener.listen(QHostAddress::LocalHost);
    QSslSocket client;
    client.connectToHostEncrypted(QStringLiteral("127.0.0.1"), listener.serverPort());
    if (!QTest::qWaitFor([&] { return listener.hasPendingConnections(); }))
        return {};
    std::unique_ptr<QTcpSocket> server(listener.nextPendingConnection());
    QByteArray hello;
    const bool whole = QTest::qWaitFor([&] {
        hello += server->readAll();
        return hello.size() >= 5 && hello.size() >= 5 + (uchar(hello[3]) << 8 | uchar(hello[4]));
    });
    return whole ? hello : QByteArray();
}

// Stages at which a client gives up: straight after connecting, half-way through its
// hello, after the service's first answer (left unread, so closing resets), and once
// the handshake is done.
enum class Stage { Connected, HalfHello, ServerAnswered, Handshaken };

// `count` connections given up at `stage`, 100 at a time; false if any got stuck.
inline bool GiveUp(quint16 port, Stage stage, int count, const QByteArray& hello)
{
    for (int done = 0; done < count; done += 100) {
        const int batch = std::min(100, count - done);
        if (stage == Stage::Handshaken) {
            auto tls = Open<QSslSocket>(batch, port);
            if (!AllOf(tls, Encrypted))
                return false;
            for (auto& socket : tls)
                socket->abort();
            continue;
        }
        auto tcp = Open<QTcpSocket>(batch, port);
        if (!AllOf(tcp, Connected))
            return false;
        for (auto& socket : tcp)
            socket->write(stage == Stage::Connected   ? QByteArray()
                          : stage == Stage::HalfHello ? hello.left(hello.size() / 2)
                                                      : hello);
        if (stage == Stage::ServerAnswered &&
            !AllOf(tcp, [](const QTcpSocket& s) { return s.bytesAvailable() > 0; }))
            return false;
        for (auto& socket : tcp)
            socket->abort();
    }
    return true;
}

} // namespace hostile
