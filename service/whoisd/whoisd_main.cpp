// whoisd: the lookup and update service behind the batch WHOIS tool.
#include "service/front/http_front.h"
#include "service/engine/lookup_service.h"
#include "service/config/settings.h"
#include "service/metrics/metrics.h"
#include "service/status/status_listener.h"
#include "service/store/shared_cache.h"
#include "service/store/shared_limits.h"
#include "service/store/store_client.h"

#include <systemd/sd-daemon.h>

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each connection holds a descriptor: allow as many as the system lets this process
// have, and no more connections than fit in them.
int RaiseDescriptorLimit(int connections)
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return connections;
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    ::getrlimit(RLIMIT_NOFILE, &files);
    constexpr rlim_t kSpare = 64; // upstreams, files, the signal pipe
    if (files.rlim_cur == RLIM_INFINITY || files.rlim_cur >= rlim_t(connections) + kSpare)
        return connections;
    return int(std::max<rlim_t>(files.rlim_cur, 2 * kSpare) - kSpare);
}

// The store's password: the file named, else the one systemd hands over as the
// credential "store-password"; empty when neither is there.
QByteArray StorePassword(const ServiceSettings& settings)
{
    QString path = settings.storePasswordFile;
    const QByteArray credentials = qgetenv("CREDENTIALS_DIRECTORY");
    if (path.isEmpty() && !credentials.isEmpty())
        path = QString::fromLocal8Bit(credentials) + QStringLiteral("/store-password");
    return path.isEmpty() ? QByteArray() : ReadFile(path).trimmed();
}

// Under systemd with WatchdogSec=, pings from the event loop: a loop that hangs stops
// them and systemd restarts the service.
void StartWatchdog(QObject* owner)
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    auto* ping = new QTimer(owner);
    ping->setInterval(std::chrono::milliseconds(std::max<uint64_t>(usec / 2000, 1)));
    QObject::connect(ping, &QTimer::timeout, [] { sd_notify(0, "WATCHDOG=1"); });
    ping->start();
}

// How this instance names itself in its claims on names being asked: host, process and a
// random part.
QByteArray InstanceName()
{
    return QSysInfo::machineHostName().toUtf8() + ':' + QByteArray::number(::getpid()) + ':' +
           QByteArray::number(QRandomGenerator::system()->generate(), 16);
}

// The store and what is shared through it; all empty without a store.
struct StoreParts {
    std::unique_ptr<StoreClient> store;
    std::unique_ptr<SharedCache> shared;
    std::unique_ptr<SharedLimits> pace;
};

StoreParts ConnectStore(const ServiceSettings& settings, Clock& clock)
{
    StoreParts parts;
    if (!settings.store)
        return parts;
    parts.store =
        std::make_unique<StoreClient>(StoreClient::Options{*settings.store, StorePassword(settings),
                                                           settings.storeTimeout, settings.logFormat},
                                      clock);
    const QByteArray instance = InstanceName();
    parts.shared = std::make_unique<SharedCache>(*parts.store, settings.storePrefix.toLatin1(), instance);
    // A lease outlives the longest exchange, so only a vanished holder's expires.
    parts.pace = std::make_unique<SharedLimits>(*parts.store, settings.storePrefix.toLatin1(), instance,
                                                clock, settings.totalTimeout + std::chrono::seconds(5));
    parts.store->start();
    parts.pace->startAnnouncing();
    return parts;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("whoisd"));
    QString message;
    bool help = false;
    std::optional<ServiceSettings> settings =
        ServiceSettings::fromArguments(QCoreApplication::arguments(), &message, &help);
    if (!settings) {
        std::fputs(qPrintable(message), help ? stdout : stderr);
        return help ? 0 : 2;
    }

    const int connections = RaiseDescriptorLimit(settings->maxConnections);
    if (connections < settings->maxConnections) {
        LogNotice(settings->logFormat,
                  QStringLiteral("at most %1 connections (descriptor limit)").arg(connections));
        settings->maxConnections = connections;
    }

    // SIGTERM and SIGINT end the event loop through a pipe, outside the handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return 1;
    QSocketNotifier stop(g_signalPipe[0], QSocketNotifier::Read);
    const LogFormat logFormat = settings->logFormat;
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [logFormat] {
        sd_notify(0, "STOPPING=1");
        LogNotice(logFormat, QStringLiteral("stopping"));
        QCoreApplication::quit();
    });
    std::signal(SIGTERM, OnTerminate);
    std::signal(SIGINT, OnTerminate);

    QNetworkAccessManager network;
    SystemClock clock;
    Metrics metrics;
    StoreParts parts = ConnectStore(*settings, clock);
    std::unique_ptr<StoreClient>& store = parts.store;
    std::unique_ptr<SharedLimits>& pace = parts.pace;
    const auto storeView = [&store, &pace]() -> std::optional<StoreView> {
        if (!store)
            return std::nullopt;
        return StoreView{store->state(), store->problem(), pace->instancesLastSeen()};
    };
    metrics.addGauges([storeView] { return StoreGauges(storeView()); });
    StatusListener status(
        metrics, [storeView, &metrics] { return JudgeHealth(storeView(), metrics.unreachableInARow()); });

    LookupService lookups(*settings, network, clock, parts.shared.get(), pace.get(), &metrics);
    lookups.startBootstrap();
    HttpFront front(*settings, lookups, &metrics);
    QString error;
    const quint16 port =
        front.listen(ReadFile(settings->certificateFile), ReadFile(settings->keyFile), &error);
    if (port == 0) {
        LogNotice(settings->logFormat, error);
        return 1;
    }
    const quint16 statusPort = status.listen(settings->metricsAddress, settings->metricsPort, &error);
    if (statusPort == 0) {
        LogNotice(settings->logFormat, error);
        return 1;
    }
    LogNotice(settings->logFormat, QStringLiteral("health and metrics on http://%1:%2")
                                       .arg(settings->metricsAddress.toString())
                                       .arg(statusPort));
    LogNotice(settings->logFormat,
              QStringLiteral("listening on https://%1:%2").arg(settings->listenAddress.toString()).arg(port));
    sd_notify(0, "READY=1");
    StartWatchdog(&app);
    return app.exec();
}
