// Start-up to first paint, and peak memory at idle, of the main window beside a bare
// Qt Widgets window of the same size (and the same with one label of Chinese). Run
// without arguments: it starts itself as a child per sample ("bare", "label" or
// "app") and prints the medians. The kinds take turns sample by sample, so that a
// change in the machine's load falls on all three alike, and each kind's ratio to the
// bare window is also taken round by round (median and quartiles); the child's CPU
// time up to the paint is printed too, as it depends far less on other work.
// The main window starts as the program's main starts it: fonts read on a second
// thread, Qt's Chinese translations, and the skin found next to this program (the
// build copies it here). The figures hold for the platform the children run on,
// which the first line names: set DISPLAY for a display server (a window manager
// running), or QT_QPA_PLATFORM=offscreen for none.
#include "bench_util.h"
#include "widgets/controls/font_warm_up.h"
#include "widgets/main_window/main_window.h"
#include "widgets/main_window/qt_translations.h"
#include "support/scripted_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

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
                std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
                std::printf("cpu %.3f\n", bench::ProcessCpuMs());
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
    // The application starts as the program's main does; the other kinds are the
    // yardsticks of a plain window.
    std::optional<FontWarmUp> fonts;
    if (kind == "app")
        fonts.emplace();
    QApplication application(argc, argv);
    if (fonts) {
        fonts->wait();
        InstallQtChineseTranslations(application);
    }
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

double Quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

double Median(std::vector<double> values)
{
    return Quantile(std::move(values), 0.5);
}

// Each kind's sample over the bare window's sample of the same round: the two were
// taken moments apart, so a change in the machine's load mostly cancels out.
std::vector<double> PairedRatios(const std::vector<double>& kind, const std::vector<double>& bare)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(kind.size(), bare.size()); ++i)
        ratios.push_back(kind[i] / bare[i]);
    return ratios;
}

struct Samples {
    QByteArray platform;
    std::vector<double> startMs;
    std::vector<double> paintMs;
    std::vector<double> cpuMs;
    std::vector<double> peakMb;
    std::vector<double> anonMb;
};

void RunChild(const char* program, const char* kind, Samples& samples)
{
    QElapsedTimer wall;
    wall.start();
    QProcess child;
    child.start(QString::fromLocal8Bit(program), {QString::fromLatin1(kind)});
    child.waitForStarted();
    double painted = -1;
    while (child.state() != QProcess::NotRunning || child.canReadLine()) {
        if (!child.canReadLine() && !child.waitForReadyRead(5000))
            break;
        while (child.canReadLine()) {
            const QByteArray line = child.readLine().trimmed();
            if (line.startsWith("painted ")) {
                painted = wall.nsecsElapsed() / 1e6;
                samples.paintMs.push_back(line.mid(8).toDouble() / 1000.0);
            } else if (line.startsWith("platform ")) {
                samples.platform = line.mid(9);
            } else if (line.startsWith("cpu ")) {
                samples.cpuMs.push_back(line.mid(4).toDouble());
            } else if (line.startsWith("peak ")) {
                samples.peakMb.push_back(line.mid(5).toDouble() / 1024.0);
            } else if (line.startsWith("anon ")) {
                samples.anonMb.push_back(line.mid(5).toDouble() / 1024.0);
            }
        }
    }
    child.waitForFinished();
    samples.startMs.push_back(painted);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1)
        return Child(argc, argv, QByteArray(argv[1]));

    constexpr int kSamples = 15;
    constexpr std::array<const char*, 3> kKinds{"bare", "label", "app"};
    std::array<Samples, kKinds.size()> samples;
    for (int i = 0; i < kSamples; ++i) {
        for (std::size_t k = 0; k < kKinds.size(); ++k)
            RunChild(argv[0], kKinds[k], samples[k]);
    }
    std::printf("platform: %s, %d samples per kind\n", samples[0].platform.constData(), kSamples);
    const double bareStart = Median(samples[0].startMs);
    const double bareCpu = Median(samples[0].cpuMs);
    for (std::size_t k = 0; k < kKinds.size(); ++k) {
        const Samples& s = samples[k];
        const std::vector<double> paired = PairedRatios(s.startMs, samples[0].startMs);
        std::printf("%-5s  start to first paint: median %5.1f ms (%.2fx bare; paired by round %.2fx, "
                    "quartiles %.2f-%.2fx; in-process %5.1f ms; CPU %5.1f ms, %.2fx bare); "
                    "idle peak RSS %5.1f MB, of it anonymous %4.1f MB\n",
                    kKinds[k], Median(s.startMs), Median(s.startMs) / bareStart, Median(paired),
                    Quantile(paired, 0.25), Quantile(paired, 0.75), Median(s.paintMs), Median(s.cpuMs),
                    Median(s.cpuMs) / bareCpu, Median(s.peakMb), Median(s.anonMb));
    }
    return 0;
}
