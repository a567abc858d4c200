// whoisd while a port-43 registry hangs and clients give up on their lookups, at the
// service's default limits. First: lookups of new names sent during the hang, their
// connections dropped; how many still reach the registry once it has recovered, and
// how the first fresh lookup after the recovery is answered. Second: as many dropped
// lookups as the service has connection slots; whether a cached lookup is still
// answered. Run from the build tree: bench/bench_dropped [hang seconds (40)] [dropped (300)]
#include "support/fake_whois_server.h"
#include "support/hostile_clients.h"
#include "support/test_files.h"
#include "support/test_https_server.h"
#include "support/whoisd_process.h"

#include "core/protocol/wire_protocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

const QByteArray kRegistrar = "Hong Kong Domain Name Registration Company Limited";

QByteArray Lookup(const QString& name)
{
    return "GET " + wire::LookupTarget(name).toLatin1() +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

// One lookup on a fresh connection: the reply, and the time taken.
QByteArray Ask(quint16 port, const QString& name, double* ms, int limitMs = 30000)
{
    QElapsedTimer clock;
    clock.start();
    QSslSocket socket;
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    QByteArray reply;
    if (socket.waitForEncrypted(limitMs)) {
        socket.write(Lookup(name));
        QDeadlineTimer deadline(limitMs);
        while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired() &&
               socket.waitForReadyRead(int(deadline.remainingTime())))
            reply += socket.readAll();
        reply += socket.readAll();
    }
    *ms = clock.nsecsElapsed() / 1e6;
    return reply;
}

const char* Outcome(const QByteArray& reply)
{
    if (reply.contains(kRegistrar))
        return "found";
    if (reply.contains("\xe8\xb6\x85\xe6\x97\xb6")) // 超时
        return "timed out";
    return reply.isEmpty() ? "no answer (connection refused or closed)" : "other answer";
}

// Lookups of new names, `batch` connections at a time, each dropped once sent.
void SendAndDrop(quint16 port, int count, const QString& prefix)
{
    for (int done = 0; done < count; done += 100) {
        const int batch = std::min(100, count - done);
        auto clients = hostile::Open<QSslSocket>(batch, port);
        hostile::AllOf(clients, hostile::Encrypted);
        for (int i = 0; i < batch; ++i)
            clients[std::size_t(i)]->write(
                Lookup(prefix + QString::number(done + i) + QStringLiteral(".hang")));
        hostile::AllOf(clients, [](const QSslSocket& s) {
            return s.encryptedBytesToWrite() == 0 && s.bytesToWrite() == 0;
        });
        QTest::qWait(300); // read by the service
        for (auto& client : clients)
            client->abort();
    }
}

struct Service {
    explicit Service(const QStringList& extra = {})
        : process(QStringList{QStringLiteral("--bootstrap-url"), QString(), QStringLiteral("--whois-server"),
                              QStringLiteral("hang=whois.hang"), QStringLiteral("--whois-address"),
                              QStringLiteral("whois.hang=") + registry.address()} +
                  extra)
    {
    }
    FakeWhoisServer registry; // first: up before the service
    WhoisdProcess process;
};

void DroppedDuringHang(int hangSeconds, int dropped)
{
    Service service;
    const QByteArray found = ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_hk.txt"));
    service.registry.answer("fresh.hang", found);
    service.registry.hang(hangSeconds * 1000);
    QElapsedTimer sending;
    sending.start();
    SendAndDrop(service.process.port, dropped, QStringLiteral("new"));
    std::printf("%d lookups sent and dropped in %.1f s of a %d s hang\n", dropped, sending.elapsed() / 1e3,
                hangSeconds);
    if (!QTest::qWaitFor([&] { return !service.registry.hanging(); }, hangSeconds * 1000 + 1000))
        std::printf("the registry did not recover\n");
    const qsizetype duringHang = service.registry.queries().size();
    double ms = 0;
    const QByteArray reply = Ask(service.process.port, QStringLiteral("fresh.hang"), &ms);
    std::printf("first fresh lookup after the recovery: %s in %.0f ms\n", Outcome(reply), ms);
    // At the registry's pace (100 ms), every dropped lookup would have gone by then.
    const int watchMs = dropped * 100 + 5000;
    QTest::qWait(watchMs);
    const QList<QByteArray> after = service.registry.queries().mid(duringHang);
    std::printf(
        "queries at the registry: %lld during the hang, %lld for dropped lookups in the %.0f s after it\n",
        static_cast<long long>(duringHang), static_cast<long long>(after.size() - after.count("fresh.hang")),
        watchMs / 1e3);
}

void DroppedHoldingSlots(int hangSeconds)
{
    const int cap = 20;
    Service service({QStringLiteral("--max-connections"), QString::number(cap)});
    const QByteArray found = ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_hk.txt"));
    service.registry.answer("cached.hang", found);
    double ms = 0;
    if (!Ask(service.process.port, QStringLiteral("cached.hang"), &ms).contains(kRegistrar)) {
        std::printf("the cached lookup was not found in the first place\n");
        return;
    }
    service.registry.hang(hangSeconds * 1000);
    SendAndDrop(service.process.port, cap, QStringLiteral("held"));
    // A cached lookup four times a second for the next 15 s (the upstream time-out).
    int answered = 0;
    int asked = 0;
    double first = -1;
    double slowest = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000) {
        const bool ok =
            Ask(service.process.port, QStringLiteral("cached.hang"), &ms, 2000).contains(kRegistrar);
        answered += ok ? 1 : 0;
        ++asked;
        if (first < 0)
            first = ok ? ms : 1e9;
        slowest = std::max(slowest, ms);
        QTest::qWait(250);
    }
    const QByteArray firstText = first < 1e9 ? "in " + QByteArray::number(first, 'f', 0) + " ms" : "not";
    std::printf("%d dropped lookups with %d slots: cached lookup answered %d of %d times in 15 s "
                "(the first %s, slowest %.0f ms)\n",
                cap, cap, answered, asked, firstText.constData(), slowest);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int hangSeconds = argc > 1 ? std::atoi(argv[1]) : 40;
    const int dropped = argc > 2 ? std::atoi(argv[2]) : 300;
    TestHttpsServer::trustTestAuthority();
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    DroppedDuringHang(hangSeconds, dropped);
    DroppedHoldingSlots(hangSeconds);
    return 0;
}
