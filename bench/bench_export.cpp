// Exporting a large result table (bench_export [ROWS], 100,000 by default): time and
// memory added by writing CSV and Excel files, and the time of one sort of the table
// by a date column. Files go to a temporary folder and are removed afterwards.
#include "core/batch/export_files.h"
#include "widgets/batch/result_table.h"
#include "bench_util.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

ResultRow SampleRow(int i)
{
    const QString name = QStringLiteral("name%1.com").arg(i);
    return ResultRow{
        {name, QStringLiteral("示例注册商有限公司, Inc."), QStringLiteral("abuse@") + name,
         QStringLiteral("+86.1055550%1").arg(i % 1000),
         QDate(1995, 1, 1).addDays(i % 9000).toString(Qt::ISODate),
         QDate(2026, 1, 1).addDays(i % 3000).toString(Qt::ISODate), QStringLiteral("whois.registrar.example"),
         QStringLiteral("ns1.example.net,ns2.example.net"), QStringLiteral("clientTransferProhibited")}};
}

void Measure(const char* label, const QString& path, const RowSource& rows,
             std::optional<QString> (*write)(const QString&, const RowSource&))
{
    const long before = bench::StatusKb("VmRSS");
    bench::ResetPeak();
    const double cpuBefore = bench::ProcessCpuMs();
    QElapsedTimer clock;
    clock.start();
    const std::optional<QString> failure = write(path, rows);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double cpuSeconds = (bench::ProcessCpuMs() - cpuBefore) / 1e3;
    const long added = bench::StatusKb("VmHWM") - before;
    std::printf("%-5s %d rows: %.2f s (CPU %.2f s), file %.1f MB, memory added at peak %.1f MB%s\n", label,
                rows.count, seconds, cpuSeconds, QFileInfo(path).size() / 1e6, added / 1024.0,
                failure ? " (FAILED)" : "");
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    ResultTable table;
    for (int i = 0; i < count; ++i)
        table.appendRow(SampleRow(i));
    QTemporaryDir dir;
    Measure("CSV", dir.filePath(QStringLiteral("export.csv")), table.rows(), &WriteCsvFile);
    Measure("xlsx", dir.filePath(QStringLiteral("export.xlsx")), table.rows(), &WriteXlsxFile);

    QElapsedTimer clock;
    clock.start();
    table.sortByColumn(5, Qt::AscendingOrder);
    const double sortMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    table.appendRow(SampleRow(count));
    std::printf("sort by expiry date: %.0f ms; one more row while sorted: %.3f ms\n", sortMs,
                clock.nsecsElapsed() / 1e6);
    return 0;
}
