// The DNS check's added time per not-registered lookup: the lookup engine in this
// process against a port-43 registry that calls every name unknown and a resolver
// on loopback that knows none of them, each name looked up once (no cache), one at
// a time, with the check on and off in alternate rounds. Prints the medians and the
// difference. Run from the build tree: bench/bench_dns_witness [names a round]
#include "service/engine/lookup_service.h"
#include "support/fake_dns_server.h"
#include "support/fake_whois_server.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Quartile(std::vector<double> values, int which)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() * size_t(which) / 4];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int perRound = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    constexpr int kRounds = 5;

    FakeWhoisServer registry;
    FakeDnsServer resolver;
    const QByteArray notFound = ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_not_found.txt"));
    ServiceSettings settings;
    settings.bootstrapUrl.clear();
    settings.whoisServers = {{QStringLiteral("bench"), QStringLiteral("whois.bench")}};
    settings.whoisAddresses = {{QStringLiteral("whois.bench"), registry.address()}};
    settings.minSpacing = std::chrono::milliseconds(0);
    settings.maxInFlightPerServer = 100;
    settings.dnsResolvers = {resolver.address()};
    ServiceSettings without = settings;
    without.dnsWitness = false;

    QNetworkAccessManager network;
    SystemClock clock;
    LookupService checked(settings, network, clock);
    LookupService unchecked(without, network, clock);
    checked.startBootstrap();
    unchecked.startBootstrap();

    std::vector<double> with, bare;
    int notRegistered = 0;
    int serial = 0;
    const auto run = [&](LookupService& service, std::vector<double>& times) {
        for (int i = 0; i < perRound; ++i) {
            const QString name = QStringLiteral("free-%1.bench").arg(serial++);
            registry.answer(name.toLatin1(), notFound);
            QEventLoop loop;
            QElapsedTimer timer;
            timer.start();
            service.lookup(*DomainName::parse(name), [&](LookupResult result) {
                notRegistered += result.status == LookupStatus::NotRegistered ? 1 : 0;
                loop.quit();
            });
            loop.exec();
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    };
    run(checked, with); // warm both paths up, then measure
    run(unchecked, bare);
    with.clear();
    bare.clear();
    notRegistered = 0;
    for (int round = 0; round < kRounds; ++round) {
        run(checked, with);
        run(unchecked, bare);
    }

    std::printf(
        "not-registered lookups, %d a mode in %d alternating rounds (%d of %d read as not registered)\n",
        perRound * kRounds, kRounds, notRegistered, 2 * perRound * kRounds);
    std::printf("  with DNS check:    median %.3f ms (quartiles %.3f, %.3f)\n", Median(with),
                Quartile(with, 1), Quartile(with, 3));
    std::printf("  without DNS check: median %.3f ms (quartiles %.3f, %.3f)\n", Median(bare),
                Quartile(bare, 1), Quartile(bare, 3));
    std::printf("  added by the check: %.3f ms at the median\n", Median(with) - Median(bare));
    return 0;
}
