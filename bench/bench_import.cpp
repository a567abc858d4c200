// Import of a large list: from the press of the import button (message box and file
// dialog answered by the scripted platform) to the count in the status bar, with the
// peak memory it adds, then how long the full list takes to scroll and repaint.
#include "bench_util.h"
#include "widgets/domain_list/pending_list.h"
#include "widgets/main_window/main_window.h"
#include "widgets/controls/status_bar.h"
#include "support/scripted_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

QString WriteList(const QTemporaryDir& dir, int lines)
{
    QByteArray bytes;
    bytes.reserve(lines * 21);
    for (int i = 0; i < lines; ++i) {
        switch (i % 4) {
        case 0: bytes += "http://www.shop-name" + QByteArray::number(i) + ".com\r\n"; break;
        case 1: bytes += "www.my-site" + QByteArray::number(i) + ".net\r\n"; break;
        case 2: bytes += "\r\n"; break;
        default: bytes += "some-domain" + QByteArray::number(i) + ".org\r\n"; break;
        }
    }
    const QString path = dir.filePath(QStringLiteral("list%1.txt").arg(lines));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write");
    file.write(bytes);
    std::printf("%d lines, %.1f MB\n", lines, bytes.size() / 1048576.0);
    return path;
}

void Measure(MainWindow& window, ScriptedPlatform& platform, const QString& path)
{
    auto* list = window.findChild<PendingList*>(QStringLiteral("List1"));
    auto* status = window.findChild<StatusBar*>(QStringLiteral("s1"));
    list->clear();
    QApplication::processEvents();
    platform.fileChoices.enqueue(path);
    const long before = bench::StatusKb("VmRSS");
    bench::ResetPeak();
    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    const double importMs = clock.nsecsElapsed() / 1e6;
    const long peak = bench::StatusKb("VmHWM");
    std::printf("  import to status text: %7.1f ms, %lld names, \"%s\"\n", importMs,
                static_cast<long long>(list->count()), qPrintable(status->message()));
    std::printf("  added peak memory:     %7.1f MB (resident after: +%.1f MB)\n", (peak - before) / 1024.0,
                (bench::StatusKb("VmRSS") - before) / 1024.0);

    // Scroll through the whole list in 100 jumps, repainting each time.
    QScrollBar* bar = list->verticalScrollBar();
    clock.restart();
    constexpr int kJumps = 100;
    for (int i = 0; i <= kJumps; ++i) {
        bar->setValue(bar->maximum() / kJumps * i);
        list->viewport()->repaint();
    }
    std::printf("  scroll + repaint:      %7.2f ms per jump\n", clock.nsecsElapsed() / 1e6 / (kJumps + 1));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    ScriptedPlatform platform;
    QNetworkAccessManager network;
    MainWindow window(Endpoints{}, platform, network);
    window.load();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not exposed\n");
    QTemporaryDir dir;
    for (const int lines : {100000, 1000000}) {
        const QString path = WriteList(dir, lines);
        Measure(window, platform, path);
    }
    return 0;
}
