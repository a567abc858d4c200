// whoisd against fake upstreams on loopback: cached lookups per second at 50
// concurrent connections (wrk), 100 concurrent lookups whose upstreams answer after
// 2 s, the service's own added latency at the median, and the memory of 100,000
// cached answers. Run from the build tree: bench/bench_whoisd
#include "bench_util.h"
#include "core/protocol/wire_protocol.h"
#include "service/engine/lookup_cache.h"
#include "core/net/http_get_text.h"
#include "support/fake_whois_server.h"
#include "support/test_https_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString LookupUrl(quint16 port, const QString& name)
{
    return QStringLiteral("https://127.0.0.1:%1").arg(port) + wire::LookupTarget(name);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestHttpsServer::trustTestAuthority();
    const QString certs = QStringLiteral(WHOIS_TEST_CERT_DIR);
    const QByteArray record = ReadFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/rdap_thick.json"));

    TestHttpsServer rdap;
    rdap.setKeepAlive(true);
    rdap.setHandler([record](const TestHttpsServer::Request&) {
        return TestHttpsServer::Response{200, record, "application/rdap+json"};
    });
    FakeWhoisServer slowWhois;
    slowWhois.setDelay(2000);
    QStringList arguments{QStringLiteral("--metrics-listen"),
                          QStringLiteral("127.0.0.1:0"),
                          QStringLiteral("--port"),
                          QStringLiteral("8543"),
                          QStringLiteral("--cert"),
                          certs + QStringLiteral("/server.crt"),
                          QStringLiteral("--key"),
                          certs + QStringLiteral("/server.key"),
                          QStringLiteral("--bootstrap-url"),
                          QString(),
                          QStringLiteral("--rdap"),
                          QStringLiteral("org=") + rdap.baseUrl() + QStringLiteral("/rdap/"),
                          QStringLiteral("--max-in-flight"),
                          QStringLiteral("8"),
                          QStringLiteral("--min-spacing"),
                          QStringLiteral("0"),
                          QStringLiteral("--timeout"),
                          QStringLiteral("5000")};
    // 100 TLDs, each with a port-43 server of its own that answers after 2 s.
    for (int i = 0; i < 100; ++i) {
        const QString host = QStringLiteral("whois.nic.t%1").arg(i);
        slowWhois.answer(QStringLiteral("slow.t%1").arg(i).toLatin1(),
                         ReadFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_cn.txt")));
        arguments << QStringLiteral("--whois-server") << QStringLiteral("t%1=%2").arg(i).arg(host)
                  << QStringLiteral("--whois-address") << host + u'=' + slowWhois.address();
    }
    QProcess service;
    // Its log of every request goes nowhere here; an unread pipe would stall it.
    service.setStandardErrorFile(QProcess::nullDevice());
    service.setStandardOutputFile(QProcess::nullDevice());
    service.start(QStringLiteral(WHOISD_PATH), arguments);
    if (!service.waitForStarted()) {
        std::fprintf(stderr, "cannot start whoisd\n");
        return 1;
    }
    QThread::msleep(500);
    QNetworkAccessManager network;

    // Added latency: the same RDAP answer fetched through whoisd (never cached: new
    // names) and straight from the fake.
    std::vector<double> direct;
    std::vector<double> through;
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer clock;
        clock.start();
        HttpGetText(network, rdap.baseUrl() + QStringLiteral("/rdap/domain/d%1.org").arg(i));
        direct.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        HttpGetText(network, LookupUrl(8543, QStringLiteral("n%1.org").arg(i)));
        through.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("median latency: straight to the upstream %.2f ms, through whoisd %.2f ms, "
                "added %.2f ms\n",
                Median(direct), Median(through), Median(through) - Median(direct));

    // 100 concurrent lookups whose upstreams take 2 s, each on its own connection,
    // opened (TLS included) before the first request goes out.
    {
        std::vector<std::unique_ptr<QSslSocket>> sockets;
        int encrypted = 0;
        QEventLoop loop;
        for (int i = 0; i < 100; ++i) {
            auto socket = std::make_unique<QSslSocket>();
            QObject::connect(socket.get(), &QSslSocket::encrypted, &loop, [&] {
                if (++encrypted == 100)
                    loop.quit();
            });
            socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), 8543);
            sockets.push_back(std::move(socket));
        }
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();

        const QByteArray kResultMember = '"' + wire::kResult.toLatin1() + "\":";
        QElapsedTimer clock;
        clock.start();
        int done = 0;
        int found = 0;
        double first = 0;
        double last = 0;
        for (int i = 0; i < 100; ++i) {
            QSslSocket* socket = sockets[static_cast<std::size_t>(i)].get();
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QSslSocket::readyRead, &loop, [&, socket, received] {
                received->append(socket->readAll());
                // The reply's last member is its result (members are written sorted).
                if (!received->contains(kResultMember) || !received->endsWith('}'))
                    return;
                found += received->contains(kResultMember + '1') ? 1 : 0;
                last = clock.nsecsElapsed() / 1e6;
                if (done++ == 0)
                    first = last;
                if (done == 100)
                    loop.quit();
            });
            const QByteArray target = QUrl(LookupUrl(8543, QStringLiteral("slow.t%1").arg(i)))
                                          .toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
            socket->write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        }
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        std::printf("100 concurrent lookups with 2 s upstreams (%d connections ready): %d answered "
                    "(%d found), the first after %.0f ms, the last after %.0f ms\n",
                    encrypted, done, found, first, last);
    }

    // Cached answers at 50 concurrent connections.
    HttpGetText(network, LookupUrl(8543, QStringLiteral("example.org")));
    QProcess wrk;
    wrk.start(QStringLiteral("wrk"), {QStringLiteral("-t2"), QStringLiteral("-c50"), QStringLiteral("-d5s"),
                                      LookupUrl(8543, QStringLiteral("example.org"))});
    if (wrk.waitForStarted() && wrk.waitForFinished(30000)) {
        for (const QByteArray& line : wrk.readAllStandardOutput().split('\n')) {
            if (line.contains("Requests/sec") || line.contains("Latency") || line.contains("requests in"))
                std::printf("wrk: %s\n", line.trimmed().constData());
        }
    } else {
        std::printf("wrk not available: cached throughput not measured\n");
    }
    service.terminate();
    service.waitForFinished();

    // 100,000 cached answers.
    const long before = bench::StatusKb("VmRSS");
    {
        SystemClock clock;
        LookupCache cache(100000, std::chrono::hours(1), std::chrono::minutes(5), clock);
        for (int i = 0; i < 100000; ++i) {
            LookupResult result;
            result.status = LookupStatus::Found;
            result.record = WhoisRecord{QStringLiteral("name%1.com").arg(i),
                                        QStringLiteral("Example Registrar, Inc."),
                                        QStringLiteral("abuse@registrar.example"),
                                        QStringLiteral("+1.5555550100"),
                                        QStringLiteral("1995-08-14"),
                                        QStringLiteral("2027-08-13"),
                                        QStringLiteral("whois.verisign-grs.com"),
                                        QStringLiteral("a.iana-servers.net,b.iana-servers.net"),
                                        QStringLiteral("clientDeleteProhibited,clientTransferProhibited")};
            result.upstream = QStringLiteral("rdap.verisign.com");
            cache.store(QStringLiteral("name%1.com").arg(i), result);
        }
        std::printf("100,000 cached answers: %.1f MB (%.0f bytes each)\n",
                    (bench::StatusKb("VmRSS") - before) / 1024.0,
                    (bench::StatusKb("VmRSS") - before) * 1024.0 / 100000);
    }
    return 0;
}
