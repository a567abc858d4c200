// whoisd's HTTPS front beside nginx on loopback: cached lookups per second and p99
// latency at 50 connections (wrk; the same request, JSON reply and certificate for
// both), memory under 1,000 idle connections, and a normal request after 1,000 idle
// TCP connections, 1,000 idle TLS connections and 10,000 handshakes given up at each
// stage. Fairness on this machine: both servers get two workers (whoisd
// --front-threads 2, nginx worker_processes 2) and share every core with wrk -t2;
// they run one at a time, alternately. nginx and wrk are needed for the comparison
// only (apt-get install nginx-light wrk). Run from the build tree: bench/bench_front
#include "support/fake_whois_server.h"
#include "support/hostile_clients.h"
#include "support/test_files.h"
#include "support/test_https_server.h"

#include "core/protocol/wire_protocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr quint16 kWhoisdPort = 8544;
constexpr quint16 kNginxPort = 8545;
const QString kName = QStringLiteral("example.bench");

QByteArray Target()
{
    return wire::LookupTarget(kName).toLatin1();
}

// One request on a fresh connection, handshake included: the body, and the time taken.
QByteArray Fetch(quint16 port, double* ms = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    QSslSocket socket;
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForEncrypted(5000))
        return {};
    socket.write("GET " + Target() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    QDeadlineTimer deadline(5000);
    while (!reply.endsWith('}') && !deadline.hasExpired() &&
           socket.waitForReadyRead(int(deadline.remainingTime())))
        reply += socket.readAll();
    if (ms)
        *ms = clock.nsecsElapsed() / 1e6;
    return reply.mid(reply.indexOf("\r\n\r\n") + 4);
}

long RssKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("VmRSS:");
    return text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLong();
}

// A process and its children (nginx's workers); shared pages count once per process.
long TreeRssKb(qint64 pid)
{
    long total = RssKb(pid);
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (children.open(QIODevice::ReadOnly))
        for (const QByteArray& child : children.readAll().split(' '))
            total += child.trimmed().isEmpty() ? 0 : RssKb(child.trimmed().toLongLong());
    return total;
}

struct WrkFigures {
    double rate = 0;
    double p99 = 0; // ms
};

double Milliseconds(const QByteArray& text)
{
    const double value =
        text.left(text.size() - (text.endsWith("us") || text.endsWith("ms") ? 2 : 1)).toDouble();
    return text.endsWith("us") ? value / 1000 : text.endsWith("ms") ? value : value * 1000;
}

WrkFigures Wrk(quint16 port, int seconds = 5)
{
    QProcess wrk;
    wrk.start(QStringLiteral("wrk"),
              {QStringLiteral("-t2"), QStringLiteral("-c50"), QStringLiteral("-d%1s").arg(seconds),
               QStringLiteral("--latency"),
               QStringLiteral("https://127.0.0.1:%1").arg(port) + QString::fromLatin1(Target())});
    WrkFigures figures;
    if (!wrk.waitForFinished(30000))
        return figures;
    for (const QByteArray& line : wrk.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (line.contains("Requests/sec:"))
            figures.rate = words.value(1).toDouble();
        else if (words.value(0) == "99%")
            figures.p99 = Milliseconds(words.value(1));
        else if (line.contains("Non-2xx") || line.contains("Socket errors"))
            std::printf("  wrk: %s\n", line.trimmed().constData());
    }
    return figures;
}

// nginx serving the reply as a static file at the same path, as a child process.
bool StartNginx(QProcess& nginx, QTemporaryDir& dir, const QByteArray& reply)
{
    const QString program =
        QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin")});
    if (program.isEmpty())
        return false;
    // Its workers may run as another user: they must reach the file.
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ReadOther | QFile::ExeOther);
    const QString path = dir.filePath(QStringLiteral("www") + QLatin1StringView(wire::kLookupPath));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reply);
    file.close();
    const QByteArray certs = QByteArray(WHOIS_TEST_CERT_DIR);
    QFile config(dir.filePath(QStringLiteral("nginx.conf")));
    config.open(QIODevice::WriteOnly);
    config.write(
        "worker_processes 2;\ndaemon off;\npid " + dir.filePath(QStringLiteral("nginx.pid")).toUtf8() +
        ";\nerror_log stderr error;\nevents { worker_connections 4096; }\nhttp {\n"
        "  access_log /dev/null;\n  default_type application/json;\n  keepalive_requests 1000000;\n"
        "  client_body_temp_path tmp; proxy_temp_path tmp; fastcgi_temp_path tmp; uwsgi_temp_path tmp; scgi_temp_path tmp;\n"
        "  server {\n    listen 127.0.0.1:" +
        QByteArray::number(kNginxPort) +
        " ssl;\n"
        "    ssl_certificate " +
        certs + "/server.crt;\n    ssl_certificate_key " + certs +
        "/server.key;\n"
        "    root " +
        dir.filePath(QStringLiteral("www")).toUtf8() + ";\n  }\n}\n");
    config.close();
    QDir(dir.path()).mkpath(QStringLiteral("tmp"));
    nginx.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    nginx.start(program, {QStringLiteral("-p"), dir.path(), QStringLiteral("-c"), config.fileName(),
                          QStringLiteral("-e"), QStringLiteral("stderr")});
    return nginx.waitForStarted() && QTest::qWaitFor([] { return !Fetch(kNginxPort).isEmpty(); }, 5000);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestHttpsServer::trustTestAuthority();
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    FakeWhoisServer registry;
    registry.answer(kName.toLatin1(), ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_hk.txt")));
    QProcess whoisd;
    whoisd.setStandardErrorFile(QProcess::nullDevice()); // a line per request
    whoisd.start(QStringLiteral(WHOISD_PATH),
                 {QStringLiteral("--metrics-listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--port"),
                  QString::number(kWhoisdPort), QStringLiteral("--front-threads"), QStringLiteral("2"),
                  QStringLiteral("--bootstrap-url"), QString(), QStringLiteral("--whois-server"),
                  QStringLiteral("bench=whois.bench"), QStringLiteral("--whois-address"),
                  QStringLiteral("whois.bench=") + registry.address(), QStringLiteral("--cert"),
                  QStringLiteral(WHOIS_TEST_CERT_DIR "/server.crt"), QStringLiteral("--key"),
                  QStringLiteral(WHOIS_TEST_CERT_DIR "/server.key")});
    const QByteArray answered = '"' + wire::kResult.toLatin1() + "\":1";
    QByteArray reply;
    if (!whoisd.waitForStarted() ||
        !QTest::qWaitFor([&] { return (reply = Fetch(kWhoisdPort)).contains(answered); }, 5000)) {
        std::fprintf(stderr, "whoisd does not answer\n");
        return 1;
    }

    // Throughput, alternately.
    QTemporaryDir dir;
    QProcess nginx;
    const bool haveNginx = StartNginx(nginx, dir, reply);
    const bool haveWrk = !QStandardPaths::findExecutable(QStringLiteral("wrk")).isEmpty();
    if (!haveNginx || !haveWrk)
        std::printf("%s missing (apt-get install nginx-light wrk): no throughput comparison\n",
                    !haveWrk ? "wrk" : "nginx");
    if (haveNginx && haveWrk) { // both warm, their caches full
        Wrk(kWhoisdPort, 1);
        Wrk(kNginxPort, 1);
    }
    for (int round = 0; haveNginx && haveWrk && round < 3; ++round) {
        const WrkFigures ours = Wrk(kWhoisdPort);
        const WrkFigures theirs = Wrk(kNginxPort);
        std::printf(
            "cached lookups at 50 connections, round %d: whoisd %.0f/s p99 %.2f ms, nginx %.0f/s p99 %.2f ms: "
            "%.2fx the rate, %.2fx the p99\n",
            round + 1, ours.rate, ours.p99, theirs.rate, theirs.p99, ours.rate / theirs.rate,
            ours.p99 / theirs.p99);
    }

    // Memory under idle connections.
    using namespace hostile;
    const long start = RssKb(whoisd.processId());
    const auto idle = [&](quint16 port, qint64 pid, const char* who) {
        const long before = TreeRssKb(pid);
        auto tcp = Open<QTcpSocket>(1000, port);
        AllOf(tcp, Connected);
        QTest::qWait(500);
        const long withTcp = TreeRssKb(pid);
        tcp.clear();
        auto tls = Open<QSslSocket>(1000, port);
        AllOf(tls, Encrypted);
        QTest::qWait(500);
        std::printf("%s memory: %.1f MB; with 1,000 idle TCP connections +%.1f MB; with 1,000 idle TLS "
                    "connections +%.1f MB\n",
                    who, before / 1024.0, (withTcp - before) / 1024.0, (TreeRssKb(pid) - before) / 1024.0);
    };
    idle(kWhoisdPort, whoisd.processId(), "whoisd");
    if (haveNginx)
        idle(kNginxPort, nginx.processId(), "nginx (master and workers)");

    // The hostile run at full scale.
    double ms = 0;
    {
        auto tcp = Open<QTcpSocket>(1000, kWhoisdPort);
        auto tls = Open<QSslSocket>(1000, kWhoisdPort);
        AllOf(tcp, Connected);
        AllOf(tls, Encrypted);
        Fetch(kWhoisdPort, &ms);
        std::printf(
            "a request while 1,000 TCP and 1,000 TLS connections sit idle: %.1f ms (handshake included)\n",
            ms);
    }
    const QByteArray hello = ClientHello();
    QElapsedTimer clock;
    clock.start();
    bool clean = true;
    for (Stage stage : {Stage::Connected, Stage::HalfHello, Stage::ServerAnswered, Stage::Handshaken})
        clean = GiveUp(kWhoisdPort, stage, 2500, hello) && clean;
    const double storm = clock.elapsed() / 1000.0;
    Fetch(kWhoisdPort, &ms);
    std::printf(
        "10,000 handshakes given up (2,500 at each of 4 stages) in %.1f s%s; the next request: %.1f ms\n",
        storm, clean ? "" : " (some stuck)", ms);
    QTest::qWait(3000); // closing connections finish, freed memory is handed back
    std::printf("whoisd memory after all that: %.1f MB, started at %.1f MB (%+.1f MB)\n",
                RssKb(whoisd.processId()) / 1024.0, start / 1024.0,
                (RssKb(whoisd.processId()) - start) / 1024.0);

    whoisd.terminate();
    whoisd.waitForFinished();
    nginx.terminate();
    nginx.waitForFinished();
    return 0;
}
