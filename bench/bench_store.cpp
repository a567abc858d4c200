// The shared store's cost. (1) Cached lookups per second through whoisd when every
// answer comes from the store (--cache-entries 0) against its own cache, same run,
// taken in turns with wrk (-t2 -c50; apt-get install wrk), the front's reply reuse
// off for both. (2) The time the shared limiter adds to an upstream request: one
// acquire (the pacing script) and its release, p50 and p99 over 5,000. A real
// redis-server on a Unix socket. Run from the build tree: bench/bench_store
#include "service/store/shared_limits.h"
#include "service/store/store_client.h"
#include "core/protocol/wire_protocol.h"
#include "support/fake_whois_server.h"
#include "support/redis_server.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

namespace {

const QString kName = QStringLiteral("example.hk");

struct Whoisd {
    QProcess process;
    quint16 port = 0;
};

bool Start(Whoisd& whoisd, const QStringList& extra, const QString& registry)
{
    whoisd.process.setReadChannel(QProcess::StandardError);
    whoisd.process.start(
        QStringLiteral(WHOISD_PATH),
        QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--metrics-listen"),
                    QStringLiteral("127.0.0.1:0"), QStringLiteral("--cert"),
                    QStringLiteral(WHOIS_TEST_CERT_DIR "/server.crt"), QStringLiteral("--key"),
                    QStringLiteral(WHOIS_TEST_CERT_DIR "/server.key"), QStringLiteral("--bootstrap-url"),
                    QString(), QStringLiteral("--reply-reuse"), QStringLiteral("0"),
                    QStringLiteral("--whois-address"), QStringLiteral("whois.hkirc.hk=") + registry} +
            extra);
    static const QRegularExpression listening(QStringLiteral("listening on https://[^:]+:(\\d+)"));
    QByteArray log;
    while (whoisd.process.waitForReadyRead(10000)) {
        log += whoisd.process.readAllStandardError();
        if (const auto match = listening.match(QString::fromUtf8(log)); match.hasMatch()) {
            whoisd.port = quint16(match.captured(1).toUInt());
            // From here on its log (a line per lookup) goes nowhere.
            whoisd.process.setStandardErrorFile(QProcess::nullDevice());
            return true;
        }
    }
    return false;
}

double Wrk(quint16 port, int seconds)
{
    QProcess wrk;
    wrk.start(QStringLiteral("wrk"),
              {QStringLiteral("-t2"), QStringLiteral("-c50"), QStringLiteral("-d%1s").arg(seconds),
               QStringLiteral("https://127.0.0.1:%1").arg(port) + wire::LookupTarget(kName)});
    if (!wrk.waitForFinished(60000))
        return 0;
    double rate = 0;
    for (const QByteArray& line : wrk.readAllStandardOutput().split('\n')) {
        if (line.contains("Requests/sec:"))
            rate = line.simplified().split(' ').value(1).toDouble();
        else if (line.contains("Non-2xx") || line.contains("Socket errors"))
            std::printf("  wrk: %s\n", line.trimmed().constData());
    }
    return rate;
}

void CacheThroughput(RedisServer& redis, FakeWhoisServer& registry)
{
    if (QStandardPaths::findExecutable(QStringLiteral("wrk")).isEmpty()) {
        std::printf("wrk missing (apt-get install wrk): no cache throughput\n");
        return;
    }
    Whoisd shared;
    Whoisd local;
    if (!Start(shared,
               {QStringLiteral("--store"), redis.storeAddress(), QStringLiteral("--cache-entries"),
                QStringLiteral("0")},
               registry.address()) ||
        !Start(local, {}, registry.address())) {
        std::printf("cannot start whoisd\n");
        return;
    }
    Wrk(shared.port, 1); // each asks the registry once, then answers from its cache
    Wrk(local.port, 1);
    std::printf("cached lookups/s through whoisd (wrk -t2 -c50, 5 s each, in turns)\n");
    double sharedSum = 0;
    double localSum = 0;
    for (int round = 0; round < 3; ++round) {
        const double viaStore = Wrk(shared.port, 5);
        const double viaLocal = Wrk(local.port, 5);
        sharedSum += viaStore;
        localSum += viaLocal;
        std::printf("  round %d: shared store %.0f/s, own cache %.0f/s, ratio %.3f\n", round + 1, viaStore,
                    viaLocal, viaLocal > 0 ? viaStore / viaLocal : 0.0);
    }
    std::printf("  all rounds: ratio %.3f (registry asked %lld times)\n",
                localSum > 0 ? sharedSum / localSum : 0.0, static_cast<long long>(registry.queries().size()));
    for (Whoisd* whoisd : {&shared, &local}) {
        whoisd->process.terminate();
        whoisd->process.waitForFinished(5000);
    }
}

void LimiterLatency(RedisServer& redis)
{
    SystemClock clock;
    StoreClient store(
        StoreClient::Options{
            *ParseStoreAddress(redis.storeAddress()), {}, std::chrono::milliseconds(250), LogFormat::Text},
        clock);
    store.start();
    if (!QTest::qWaitFor([&] { return store.isUp(); }, 5000)) {
        std::printf("the store does not answer\n");
        return;
    }
    SharedLimits limits(store, "bench:", "one", clock, std::chrono::seconds(20));
    // Ample limits, so every acquire is granted: the cost is the script and the round trip.
    const ServerLimit ample{1000000, 1000, 100, 0};
    QList<double> micros;
    QElapsedTimer timer;
    for (int i = 0; i < 5000; ++i) {
        const QString server = QStringLiteral("whois.s%1.example").arg(i % 16);
        bool granted = false;
        timer.start();
        limits.acquire(server, ample, [&](SharedLimits::Grant grant) {
            granted = true;
            limits.release(server, grant.lease);
        });
        while (!granted)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        micros.append(timer.nsecsElapsed() / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    std::printf(
        "shared limiter, added latency per upstream request (5,000 acquires): p50 %.0f us, p99 %.0f us\n",
        micros[micros.size() / 2], micros[micros.size() * 99 / 100]);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (!RedisServer::installed()) {
        std::printf("redis-server missing (apt-get install redis-server)\n");
        return 1;
    }
    RedisServer redis;
    FakeWhoisServer registry;
    registry.answer(kName.toLatin1(), ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_hk.txt")));
    LimiterLatency(redis);
    CacheThroughput(redis, registry);
    return 0;
}
