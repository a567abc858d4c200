// A batch of 10,000 names against a loopback service that answers at once, ticks
// driven directly (bench_batch [NAMES] [hidden]): the program's own cost per lookup (selection to request on
// the wire, plus reply to row and status), its CPU per lookup, memory per result row, and how the table
// behaves with 10,000 rows.
#include "widgets/batch/result_table.h"
#include "bench_util.h"
#include "widgets/domain_list/pending_list.h"
#include "widgets/main_window/main_window.h"
#include "support/scripted_platform.h"
#include "support/test_https_server.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int kNames = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;

    WindowFixture fixture;
    QElapsedTimer clock;
    clock.start();
    QMutex mutex;
    qint64 requestAt = 0;
    qint64 replyAt = 0;
    fixture.server.setKeepAlive(true);
    fixture.server.setHandler([&](const TestHttpsServer::Request& request) {
        const qint64 received = clock.nsecsElapsed();
        auto response = WindowFixture::DefaultAnswer(request);
        QMutexLocker lock(&mutex);
        requestAt = received;
        replyAt = clock.nsecsElapsed();
        return response;
    });
    fixture.window->load();
    if (!QTest::qWaitForWindowExposed(fixture.window.get()))
        std::fprintf(stderr, "the window was not exposed\n");
    fixture.openForWork();
    // "hidden": the same batch with the window not shown, so nothing is painted: the
    // lookups' logic and networking alone.
    const bool hidden = argc > 2 && QByteArray(argv[2]) == "hidden";
    if (hidden)
        fixture.window->hide();

    QStringList names;
    for (int i = 0; i < kNames; ++i)
        names.append(QStringLiteral("name%1.com").arg(i));
    fixture.list().append(names);

    // The window's first paint allocates its backing store (about 3 MB): a cost of
    // start-up, not of the lookups, so it happens before measuring.
    QCoreApplication::processEvents();
    const long rssBefore = bench::StatusKb("VmRSS");
    double ownNs = 0;
    double wallNs = 0;
    const double cpuBefore = bench::ThreadCpuMs();
    auto timed = [&](auto&& step) {
        const qint64 start = clock.nsecsElapsed();
        step();
        const qint64 end = clock.nsecsElapsed();
        QMutexLocker lock(&mutex);
        wallNs += end - start;
        ownNs += (requestAt - start) + (end - replyAt);
    };
    const long heapBefore = bench::HeapInUseBytes();
    timed([&] { fixture.button("Command2").click(); });
    for (int i = 1; i < kNames; ++i) {
        timed([&] { fixture.tickTimer1(); });
        // Between two ticks the program is back in its event loop.
        QCoreApplication::processEvents();
        // The loopback server lives in this process: its log of requests is not the
        // program's memory.
        if (i % 100 == 0)
            fixture.server.clearRequests();
    }
    const double cpuMs = bench::ThreadCpuMs() - cpuBefore;
    const int rows = fixture.table().rowCount();
    std::printf("window %s: %d lookups, %d rows, batch ended: %s\n", hidden ? "hidden" : "shown", kNames,
                rows, fixture.button("Command2").text() == QStringLiteral("批量查询") ? "yes" : "no");
    std::printf("per lookup: %.3f ms wall, of it the program's own %.3f ms; UI-thread CPU %.3f ms\n",
                wallNs / 1e6 / kNames, ownNs / 1e6 / kNames, cpuMs / kNames);
    fixture.server.clearRequests();
    const double growth = (bench::StatusKb("VmRSS") - rssBefore) * 1024.0 / kNames;
    std::printf("growth over the batch per lookup: resident %.0f bytes, heap in use %.0f bytes\n", growth,
                double(bench::HeapInUseBytes() - heapBefore) / kNames);

    // The table alone: memory per row and work with 10,000 rows in it. Each row gets
    // texts of its own, as a lookup's row has (a copy would share the batch's).
    ResultTable table;
    table.resize(1009, 545);
    table.show();
    QApplication::processEvents();
    const long tableBefore = bench::StatusKb("VmRSS");
    for (int i = 0; i < kNames; ++i) {
        ResultRow row = fixture.table().row(i % rows);
        for (QString& field : row.fields)
            field = QString(field.constData(), field.size());
        table.appendRow(std::move(row));
    }
    QApplication::processEvents();
    const double perRow = (bench::StatusKb("VmRSS") - tableBefore) * 1024.0 / kNames;
    std::printf("table: %.0f bytes per row; the batch's resident growth beyond the row: %.0f bytes "
                "per lookup\n",
                perRow, growth - perRow);
    QElapsedTimer step;
    step.start();
    for (int i = 0; i < 100; ++i) {
        table.verticalScrollBar()->setValue(table.verticalScrollBar()->maximum() / 100 * i);
        table.viewport()->repaint();
    }
    std::printf("table with %d rows: scroll + repaint %.2f ms per jump", table.rowCount(),
                step.nsecsElapsed() / 1e6 / 100);
    step.restart();
    table.appendRow(fixture.table().row(0));
    table.viewport()->repaint();
    std::printf(", one more row + repaint %.2f ms\n", step.nsecsElapsed() / 1e6);
    return 0;
}
