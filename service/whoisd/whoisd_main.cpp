// whoisd: the lookup and update service behind the batch WHOIS tool.
#include "service/front/http_front.h"
#include "service/engine/lookup_service.h"
#include "service/config/settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSocketNotifier>

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
        LogNotice(settings->logFormat, QStringLiteral("at most %1 connections (descriptor limit)").arg(connections));
        settings->maxConnections = connections;
    }

    // SIGTERM and SIGINT end the event loop through a pipe, outside the handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return 1;
    QSocketNotifier stop(g_signalPipe[0], QSocketNotifier::Read);
    const LogFormat logFormat = settings->logFormat;
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [logFormat] {
        LogNotice(logFormat, QStringLiteral("stopping"));
        QCoreApplication::quit();
    });
    std::signal(SIGTERM, OnTerminate);
    std::signal(SIGINT, OnTerminate);

    QNetworkAccessManager network;
    SystemClock clock;
    LookupService lookups(*settings, network, clock);
    lookups.startBootstrap();
    HttpFront front(*settings, lookups);
    QString error;
    const quint16 port = front.listen(ReadFile(settings->certificateFile), ReadFile(settings->keyFile), &error);
    if (port == 0) {
        LogNotice(settings->logFormat, error);
        return 1;
    }
    LogNotice(settings->logFormat,
              QStringLiteral("listening on https://%1:%2").arg(settings->listenAddress.toString()).arg(port));
    return app.exec();
}
