// What waiting for a slow lookup costs: CPU time of the waiting thread while a GET
// whose reply is delayed 5 s is outstanding, and the worst lateness of a 10 ms timer
// that runs meanwhile (the window must stay responsive during the wait).
#include "core/net/http_get_text.h"
#include "support/test_https_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTimer>

#include "bench_util.h"

#include <cstdio>

using bench::ProcessCpuMs;
using bench::ThreadCpuMs;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestHttpsServer::trustTestAuthority();
    TestHttpsServer server;
    QNetworkAccessManager network;

    // Warm up TLS and the connection machinery so the wait is measured on its own.
    HttpGetText(network, server.baseUrl());
    server.respondWith({200, "{\"result\":1}", "application/json", 5000});

    QElapsedTimer clock;
    qint64 lastTick = -1;
    double worstLatenessMs = 0;
    int ticks = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (lastTick >= 0)
            worstLatenessMs = std::max(worstLatenessMs, (now - lastTick) / 1e6 - 10.0);
        lastTick = now;
        ++ticks;
    });

    // First wait alone: what the wait itself costs.
    {
        const double before = ThreadCpuMs();
        QElapsedTimer wall;
        wall.start();
        HttpGetText(network, server.baseUrl());
        const double spent = ThreadCpuMs() - before;
        std::printf("wait alone: %.1f ms wall, %.2f ms CPU of the waiting thread (%.3f%% of a core)\n",
                    wall.nsecsElapsed() / 1e6, spent, 100.0 * spent / (wall.nsecsElapsed() / 1e6));
    }

    // Then the same wait with a 10 ms timer running, as the window's events would.
    const double threadBefore = ThreadCpuMs();
    const double processBefore = ProcessCpuMs();
    clock.start();
    ticker.start();
    const QString body = HttpGetText(network, server.baseUrl());
    ticker.stop();
    const double wallMs = clock.nsecsElapsed() / 1e6;

    std::printf("reply: %s\n", qPrintable(body));
    std::printf("wait (wall):                        %8.1f ms\n", wallMs);
    std::printf("CPU of the waiting (UI) thread:     %8.2f ms (%.3f%% of a core)\n",
                ThreadCpuMs() - threadBefore, 100.0 * (ThreadCpuMs() - threadBefore) / wallMs);
    std::printf("CPU of the whole process (+server): %8.2f ms\n", ProcessCpuMs() - processBefore);
    std::printf("10 ms timer: %d ticks, worst lateness %.2f ms\n", ticks, worstLatenessMs);
    return 0;
}
