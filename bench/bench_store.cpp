// The shared store's cost. (1) Cached lookups per second through whoisd when every
// answer comes from the store (--cache-entries 0) against its own cache, same run,
// taken in turns with wrk (-t2 -c50; apt-get install wrk), the front's reply reuse
// off for both, and the CPU each lookup costs whoisd and redis-server. (2) The time the shared limiter adds
// to an upstream request: one acquire (the pacing script) and its release, p50 and p99 over 5,000. A real
// redis-server on a Unix socket. Run from the build tree: bench/bench_store
#include "service/store/shared_limits.h"
#include "service/store/store_client.h"
#include "core/protocol/wire_protocol.h"
#include "support/fake_whois_server.h"
#include "support/redis_server.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

// Many names, so that each lookup is a read of its own rather than one hot key.
constexpr int kNames = 500;

QString NameAt(int i)
{
    return QStringLiteral("bench-%1.hk").arg(i);
}

struct Whoisd {
    QTemporaryDir dir;
    QProcess process;
    quint16 port = 0;
};

// whoisd logs a line per lookup: into a file, as a pipe nobody reads while wrk runs
// fills up and stops the service (every round after the first then read 0/s).
bool Start(Whoisd& whoisd, const QStringList& extra, const QString& registry)
{
    const QString logPath = whoisd.dir.filePath(QStringLiteral("whoisd.log"));
    whoisd.process.setStandardErrorFile(logPath);
    whoisd.process.start(
        QStringLiteral(WHOISD_PATH),
        QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--metrics-listen"),
                    QStringLiteral("127.0.0.1:0"), QStringLiteral("--cert"),
                    QStringLiteral(WHOIS_TEST_CERT_DIR "/server.crt"), QStringLiteral("--key"),
                    QStringLiteral(WHOIS_TEST_CERT_DIR "/server.key"), QStringLiteral("--bootstrap-url"),
                    QString(), QStringLiteral("--reply-reuse"), QStringLiteral("0"), QStringLiteral("--dns"),
                    QStringLiteral("off"), QStringLiteral("--whois-address"),
                    QStringLiteral("whois.hkirc.hk=") + registry, QStringLiteral("--limit"),
                    QStringLiteral("whois.hkirc.hk=1000,burst=100,concurrency=50")} +
            extra);
    static const QRegularExpression listening(QStringLiteral("listening on https://[^:]+:(\\d+)"));
    QFile log(logPath);
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(20)) {
        if (!log.isOpen() && !log.open(QIODevice::ReadOnly))
            continue;
        log.seek(0);
        if (const auto match = listening.match(QString::fromUtf8(log.readAll())); match.hasMatch()) {
            whoisd.port = quint16(match.captured(1).toUInt());
            return true;
        }
    }
    return false;
}

// A wrk script asking the names in turn.
QString WriteWrkScript(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("names.lua"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("local paths = {\n");
    for (int i = 0; i < kNames; ++i)
        file.write("  \"" + wire::LookupTarget(NameAt(i)).toLatin1() + "\",\n");
    file.write("}\nlocal i = 0\nrequest = function()\n  i = i % #paths + 1\n"
               "  return wrk.format(\"GET\", paths[i])\nend\n");
    return path;
}

double Wrk(quint16 port, const QString& script, int seconds)
{
    QProcess wrk;
    wrk.start(QStringLiteral("wrk"),
              {QStringLiteral("-t2"), QStringLiteral("-c50"), QStringLiteral("-d%1s").arg(seconds),
               QStringLiteral("-s"), script, QStringLiteral("https://127.0.0.1:%1/").arg(port)});
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

// CPU seconds a process has used so far (user and system).
double CpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

struct Round {
    double rate = 0;
    double whoisdMicros = 0; // CPU per lookup
    double redisMicros = 0;
};

Round Measure(const Whoisd& whoisd, qint64 redisPid, const QString& script, int seconds)
{
    const double whoisdBefore = CpuSeconds(whoisd.process.processId());
    const double redisBefore = CpuSeconds(redisPid);
    Round round;
    round.rate = Wrk(whoisd.port, script, seconds);
    const double lookups = round.rate * seconds;
    if (lookups > 0) {
        round.whoisdMicros = (CpuSeconds(whoisd.process.processId()) - whoisdBefore) * 1e6 / lookups;
        round.redisMicros = (CpuSeconds(redisPid) - redisBefore) * 1e6 / lookups;
    }
    return round;
}

void CacheThroughput(RedisServer& redis, FakeWhoisServer& registry)
{
    if (QStandardPaths::findExecutable(QStringLiteral("wrk")).isEmpty()) {
        std::printf("wrk missing (apt-get install wrk): no cache throughput\n");
        return;
    }
    QTemporaryDir dir;
    const QString script = WriteWrkScript(dir);
    Whoisd shared;
    Whoisd local;
    if (script.isEmpty() ||
        !Start(shared,
               {QStringLiteral("--store"), redis.storeAddress(), QStringLiteral("--cache-entries"),
                QStringLiteral("0")},
               registry.address()) ||
        !Start(local, {}, registry.address())) {
        std::printf("cannot start whoisd\n");
        return;
    }
    // Each asks the registry about every name once, then answers from its cache.
    Wrk(shared.port, script, 2);
    Wrk(local.port, script, 2);
    constexpr int kRounds = 5;
    std::printf(
        "cached lookups/s through whoisd, %d names in turn (wrk -t2 -c50, 5 s each, in turns, %d rounds)\n",
        kNames, kRounds);
    Round sharedSum;
    Round localSum;
    for (int round = 0; round < kRounds; ++round) {
        const Round viaStore = Measure(shared, redis.processId(), script, 5);
        const Round viaLocal = Measure(local, redis.processId(), script, 5);
        for (auto [sum, one] : {std::pair{&sharedSum, &viaStore}, std::pair{&localSum, &viaLocal}}) {
            sum->rate += one->rate / kRounds;
            sum->whoisdMicros += one->whoisdMicros / kRounds;
            sum->redisMicros += one->redisMicros / kRounds;
        }
        std::printf("  round %d: shared store %.0f/s, own cache %.0f/s, ratio %.3f\n", round + 1,
                    viaStore.rate, viaLocal.rate, viaLocal.rate > 0 ? viaStore.rate / viaLocal.rate : 0.0);
    }
    std::printf("  all rounds: ratio %.3f (registry asked %lld times for %d names)\n",
                localSum.rate > 0 ? sharedSum.rate / localSum.rate : 0.0,
                static_cast<long long>(registry.queries().size()), kNames);
    std::printf("  CPU per lookup: shared store whoisd %.1f us + redis %.1f us, own cache whoisd %.1f us\n",
                sharedSum.whoisdMicros, sharedSum.redisMicros, localSum.whoisdMicros);
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
    const QByteArray answer = ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_hk.txt"));
    for (int i = 0; i < kNames; ++i)
        registry.answer(NameAt(i).toLatin1(), answer);
    LimiterLatency(redis);
    CacheThroughput(redis, registry);
    return 0;
}
