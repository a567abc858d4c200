// Start-up to first paint, and peak memory at idle, of the main window beside a bare
// Qt Widgets window of the same size (and the same with one label of Chinese). Run
// without arguments: it starts itself as a child per sample ("bare", "label" or
// "app") and prints the medians.
#include "bench_util.h"
#include "widgets/main_window/main_window.h"
#include "support/scripted_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

class FirstPaint final : public QObject {
public:
    explicit FirstPaint(QElapsedTimer& clock)
        : m_clock(clock)
    {
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Report once the paint has been handled, then idle a while for memory.
            QTimer::singleShot(0, [this] {
                std::printf("painted %lld\n", static_cast<long long>(m_clock.nsecsElapsed() / 1000));
                std::fflush(stdout);
                QTimer::singleShot(500, [] {
                    std::printf("peak %ld\n", bench::StatusKb("VmHWM"));
                    std::printf("anon %ld\n", bench::StatusKb("RssAnon"));
                    std::fflush(stdout);
                    QApplication::exit(0);
                });
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer& m_clock;
    bool m_seen = false;
};

int Child(int argc, char* argv[], const QByteArray& kind)
{
    QElapsedTimer clock;
    clock.start();
    QApplication application(argc, argv);
    FirstPaint probe(clock);
    ScriptedPlatform platform;
    QNetworkAccessManager network;
    std::unique_ptr<QWidget> window;
    if (kind == "app") {
        auto main = std::make_unique<MainWindow>(Endpoints{}, platform, network);
        main->installEventFilter(&probe);
        main->load();
        window = std::move(main);
    } else {
        window = std::make_unique<QWidget>();
        window->setFixedSize(1209, 679);
        if (kind == "label") {
            // The same bare window with one line of Chinese: what any window that shows
            // text pays for the font database and a CJK face.
            auto* label = new QLabel(QStringLiteral("正在检测程序最新版本.."), window.get());
            label->move(10, 10);
        }
        window->installEventFilter(&probe);
        window->show();
    }
    return application.exec();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1)
        return Child(argc, argv, QByteArray(argv[1]));

    constexpr int kSamples = 15;
    for (const char* kind : {"bare", "label", "app"}) {
        std::vector<double> anonMb;
        std::vector<double> startMs;
        std::vector<double> paintMs;
        std::vector<double> peakMb;
        for (int i = 0; i < kSamples; ++i) {
            QElapsedTimer wall;
            wall.start();
            QProcess child;
            child.start(QString::fromLocal8Bit(argv[0]), {QString::fromLatin1(kind)});
            child.waitForStarted();
            double painted = -1;
            while (child.state() != QProcess::NotRunning || child.canReadLine()) {
                if (!child.canReadLine() && !child.waitForReadyRead(5000))
                    break;
                while (child.canReadLine()) {
                    const QByteArray line = child.readLine().trimmed();
                    if (line.startsWith("painted ")) {
                        painted = wall.nsecsElapsed() / 1e6;
                        paintMs.push_back(line.mid(8).toDouble() / 1000.0);
                    } else if (line.startsWith("peak ")) {
                        peakMb.push_back(line.mid(5).toDouble() / 1024.0);
                    } else if (line.startsWith("anon ")) {
                        anonMb.push_back(line.mid(5).toDouble() / 1024.0);
                    }
                }
            }
            child.waitForFinished();
            startMs.push_back(painted);
        }
        std::printf("%-5s  start to first paint: median %5.1f ms (in-process %5.1f ms); "
                    "idle peak RSS %5.1f MB, of it anonymous %4.1f MB\n",
                    kind, Median(startMs), Median(paintMs), Median(peakMb), Median(anonMb));
    }
    return 0;
}
