// The memory a refused 100 MB upstream answer costs: over HTTPS without a length
// (read until the server closes), over HTTPS with its length declared, and over
// port 43. A child process (this program with --serve) streams the answers, so only
// the fetching side is measured; --busy holds the event loop 20 ms at a time meanwhile,
// as a loaded service would. Run from the build tree: bench/bench_upstream_answer [--busy]
#include "bench_util.h"
#include "support/test_https_server.h"
#include "service/engine/upstream_fetch.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

constexpr qint64 kAnswerBytes = 100 * 1024 * 1024;

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `head`, then filler until kAnswerBytes have gone, never holding more than
// a few chunks, then closes.
void Stream(QTcpSocket* socket, const QByteArray& head)
{
    static const QByteArray chunk(64 * 1024, 'x');
    auto sent = std::make_shared<qint64>(0);
    socket->write(head);
    const auto more = [socket, sent] {
        while (socket->bytesToWrite() < 64 * chunk.size() && *sent < kAnswerBytes) {
            socket->write(chunk);
            *sent += chunk.size();
        }
        if (*sent >= kAnswerBytes && socket->bytesToWrite() == 0)
            socket->disconnectFromHost();
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    more();
}

int Serve()
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(ReadFile(QStringLiteral(WHOIS_TEST_CERT_DIR "/server.crt"))));
    tls.setPrivateKey(QSslKey(ReadFile(QStringLiteral(WHOIS_TEST_CERT_DIR "/server.key")), QSsl::Rsa));
    QSslServer https;
    https.setSslConfiguration(tls);
    QObject::connect(&https, &QTcpServer::pendingConnectionAvailable, &https, [&https] {
        while (auto* socket = qobject_cast<QSslSocket*>(https.nextPendingConnection())) {
            QObject::connect(socket, &QSslSocket::readyRead, socket, [socket] {
                const QByteArray request = socket->readAll();
                QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: "
                                  "application/rdap+json\r\nConnection: close\r\n";
                if (request.startsWith("GET /declared"))
                    head += "Content-Length: " + QByteArray::number(kAnswerBytes) + "\r\n";
                Stream(socket, head + "\r\n");
            });
        }
    });
    QTcpServer whois;
    QObject::connect(&whois, &QTcpServer::newConnection, &whois, [&whois] {
        while (QTcpSocket* socket = whois.nextPendingConnection())
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { Stream(socket, {}); });
    });
    if (!https.listen(QHostAddress::LocalHost) || !whois.listen(QHostAddress::LocalHost))
        return 1;
    std::printf("%u %u\n", https.serverPort(), whois.serverPort());
    std::fflush(stdout);
    return QCoreApplication::exec();
}

const char* Name(UpstreamError error)
{
    switch (error) {
    case UpstreamError::None: return "answered";
    case UpstreamError::Timeout: return "timed out";
    case UpstreamError::CannotConnect: return "no connection";
    case UpstreamError::TooLarge: return "refused as too large";
    }
    return "?";
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--serve")))
        return Serve();

    TestHttpsServer::trustTestAuthority();
    QProcess server;
    server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});
    if (!server.waitForReadyRead(10000))
        return 1;
    const QList<QByteArray> ports = server.readLine().trimmed().split(' ');
    const quint16 httpsPort = static_cast<quint16>(ports.value(0).toUInt());
    const quint16 whoisPort = static_cast<quint16>(ports.value(1).toUInt());

    QNetworkAccessManager network;
    const UpstreamLimits limits{std::chrono::seconds(5), std::chrono::seconds(60), 1024 * 1024};
    const QString base = QStringLiteral("https://127.0.0.1:%1").arg(httpsPort);
    const OutboundPolicy policy = OutboundPolicy().trusting(QUrl(base));
    std::printf("a 100 MB answer against a 1 MB cap; memory over the resident size before it\n");
    // A busy service: the event loop is held 20 ms at a time while the answer streams in.
    QTimer busy;
    const bool loaded = app.arguments().contains(QStringLiteral("--busy"));
    QObject::connect(&busy, &QTimer::timeout, &busy, [] {
        const double until = bench::ThreadCpuMs() + 20;
        while (bench::ThreadCpuMs() < until) {
        }
    });
    if (loaded)
        busy.start(1);
    for (const char* path : {"/streamed", "/declared"}) {
        bench::ResetPeak();
        const long before = bench::StatusKb("VmRSS");
        std::optional<HttpAnswer> answer;
        FetchHttp(network, QUrl(base + QString::fromLatin1(path)), policy, limits,
                  [&answer](HttpAnswer got) { answer = std::move(got); });
        [[maybe_unused]] const bool ended = QTest::qWaitFor([&answer] { return answer.has_value(); }, 70000);
        std::printf("HTTPS %-9s %-22s peak +%.1f MB\n", path, answer ? Name(answer->error) : "no end",
                    (bench::StatusKb("VmHWM") - before) / 1024.0);
    }
    {
        bench::ResetPeak();
        const long before = bench::StatusKb("VmRSS");
        std::optional<WhoisAnswer> answer;
        FetchWhois(network, QStringLiteral("127.0.0.1"), whoisPort, QStringLiteral("big.example"), false,
                   limits, [&answer](WhoisAnswer got) { answer = std::move(got); });
        [[maybe_unused]] const bool ended = QTest::qWaitFor([&answer] { return answer.has_value(); }, 70000);
        std::printf("port 43             %-22s peak +%.1f MB\n", answer ? Name(answer->error) : "no end",
                    (bench::StatusKb("VmHWM") - before) / 1024.0);
    }
    server.kill();
    server.waitForFinished();
    return 0;
}
