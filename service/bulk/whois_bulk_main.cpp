// whois-bulk: looks up a list of domain names, each registry at its own pace.
#include "service/bulk/bulk_options.h"
#include "service/bulk/bulk_output.h"
#include "service/bulk/bulk_run.h"
#include "service/bulk/name_asker.h"
#include "service/bulk/name_input.h"
#include "service/bulk/progress_text.h"
#include "service/engine/lookup_service.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kInterrupted = 130;
constexpr int kBadUsage = 2;
int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

int Fail(const QString& message, int code)
{
    std::fputs(qPrintable(QStringLiteral("whois-bulk: ") + message + u'\n'), stderr);
    return code;
}

QByteArray ReadStdin()
{
    QFile in;
    return in.open(stdin, QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

std::unique_ptr<NameAsker> MakeAsker(const BulkOptions& options, QNetworkAccessManager& network, Clock& clock,
                                     std::unique_ptr<LookupService>& engine)
{
    const auto wallClock = [] { return QDateTime::currentDateTimeUtc(); };
    if (!options.serviceUrl.isEmpty())
        return std::make_unique<ServiceAsker>(network, options.serviceUrl, options.serviceAuthorities,
                                              wallClock);
    engine = std::make_unique<LookupService>(options.settings, network, clock);
    engine->startBootstrap();
    return std::make_unique<EngineAsker>(*engine, clock, wallClock);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("whois-bulk"));
    QString message;
    bool help = false;
    const std::optional<BulkOptions> options =
        BulkOptions::fromArguments(QCoreApplication::arguments(), &message, &help);
    if (!options) {
        std::fputs(qPrintable(message), help ? stdout : stderr);
        return help ? 0 : kBadUsage;
    }
    // Everything is read and checked before anything is written.
    const NameInput input = NameInput::read(options->inputs, ReadStdin);
    if (!input.problem.isEmpty())
        return Fail(input.problem, kBadUsage);
    BulkOutput output;
    if (const std::optional<QString> problem = output.open(options->output, options->resume))
        return Fail(*problem, kBadUsage);
    const QStringList names = output.notYetDone(input.names);

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return Fail(QStringLiteral("cannot set up signal handling"), 1);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);

    QNetworkAccessManager network;
    SystemClock clock;
    std::unique_ptr<LookupService> engine;
    const std::unique_ptr<NameAsker> asker = MakeAsker(*options, network, clock, engine);
    BulkRun run(names, *asker, output.sink());

    // Progress on a terminal only: a redirected standard error keeps just the messages.
    const bool showProgress = !options->quiet && ::isatty(STDERR_FILENO);
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer progress;
    const auto drawProgress = [&] {
        const QString line =
            ProgressText(run.counts(), std::chrono::milliseconds(elapsed.elapsed()), asker->coolingServers());
        std::fputs(qPrintable(QStringLiteral("\r") + line + QStringLiteral("\x1b[K")), stderr);
    };
    if (showProgress) {
        QObject::connect(&progress, &QTimer::timeout, &app, drawProgress);
        progress.start(500);
    }

    int code = 0;
    QSocketNotifier stop(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, [&] {
        run.stop();
        code = kInterrupted;
        QCoreApplication::quit();
    });
    QObject::connect(&run, &BulkRun::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QTimer::singleShot(0, &run, &BulkRun::start);
    app.exec();

    if (showProgress) {
        drawProgress();
        std::fputs("\n", stderr);
    }
    if (const std::optional<QString> problem = output.finish())
        return Fail(*problem, code == kInterrupted ? code : 1);
    if (run.writeFailed())
        return Fail(QStringLiteral("cannot write ") + output.name(), 1);
    return code == kInterrupted ? code : ExitCodeOf(run.counts());
}
