#pragma once

#include "core/protocol/wire_protocol.h"
#include "service/config/option_table.h"
#include "service/config/server_limits.h"
#include "service/config/store_address.h"
#include "service/log/request_log.h"

#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// Everything the service can be told, from its command line and an optional settings
// file (INI; the command line wins). "whoisd --help" lists the options. A default is
// the field's initial value here: the option rows show it in the help, the manual and
// the installed settings file.
struct ServiceSettings {
    QHostAddress listenAddress = QHostAddress::LocalHost;
    quint16 port = 8443;
    QString certificateFile;
    QString keyFile;

    // The update endpoint's answer; by default the version built alongside is current.
    QString version = wire::kCheckedVersion.toString();
    QString sid = QStringLiteral("1");
    QString must = QStringLiteral("0");

    // Upstreams.
    QString bootstrapFile;  // snapshot of the IANA DNS bootstrap file
    QString stateDirectory; // where a refreshed bootstrap file is kept; empty: nowhere
    QString bootstrapUrl = QStringLiteral("https://data.iana.org/rdap/dns.json");
    QString ianaWhois = QStringLiteral("whois.iana.org");
    QHash<QString, QString> rdapOverrides;  // tld -> RDAP base URL
    QHash<QString, QString> whoisServers;   // tld -> port-43 host, before the table's
    QHash<QString, QString> whoisAddresses; // port-43 host -> "address:port" to connect to
    quint16 whoisPort = 43;
    // DNS, the second witness asked before a name is answered as not registered, or
    // as failed or limited at the registry.
    bool dnsWitness = true;
    QStringList dnsResolvers; // "address[:port]"; none: the system's
    std::chrono::milliseconds dnsTimeout{3000};
    // The only port of links and redirects that lead away from the upstreams above
    // (not an option: tests move it to a loopback fake's).
    quint16 httpsPort = 443;

    // Limits.
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds totalTimeout{15000};
    // A lookup answers within this even while upstreams are still being asked (RDAP,
    // then port 43, then a registrar can add up): the program waits 30 s at most.
    std::chrono::milliseconds answerWithin{25000};
    qint64 maxAnswerBytes = 1024 * 1024;
    // Each upstream server's pace: the shipped table (registry-limits.txt), its rows
    // replaced by these (--limit). The two below, when given, set the table's row for
    // servers it does not list (a spacing of 0: no pacing).
    QHash<QString, ServerLimit> limits;
    std::optional<int> maxInFlightPerServer;
    std::optional<std::chrono::milliseconds> minSpacing;
    // Lookups waiting for one server at most; beyond, they are answered "too many".
    int maxQueue = 5000;
    int cacheEntries = 100000;
    std::chrono::seconds foundTtl{3600};
    std::chrono::seconds notRegisteredTtl{300};

    // The HTTPS front: what one client may hold or send.
    int frontThreads = 2;
    int maxConnections = 4096;
    std::chrono::milliseconds handshakeTimeout{5000};
    std::chrono::milliseconds idleTimeout{15000};
    int maxHeaderBytes = 16 * 1024;
    int maxHeaderCount = 100;
    int maxUrlBytes = 8 * 1024;
    int maxBodyBytes = 64 * 1024;
    // How long the serving threads repeat an answer the lookup cache keeps (0: never).
    std::chrono::milliseconds replyReuse{1000};
    LogFormat logFormat = LogFormat::Text; // or one JSON object per line

    // The store instances share answers (and limits) in; none: this instance alone.
    std::optional<StoreAddress> store;
    QString storePasswordFile;
    QString storePrefix = QStringLiteral("whoisd:");
    std::chrono::milliseconds storeTimeout{250};
    // Plain-HTTP health and metrics; port 0 picks a free one.
    QHostAddress metricsAddress = QHostAddress::LocalHost;
    quint16 metricsPort = 9464;

    // The option rows, bound to this object's fields: looking names up (any program
    // that runs lookups takes these), the HTTPS front and its update answer, the log.
    OptionGroup engineOptions();
    OptionGroup frontOptions();
    OptionGroup storeOptions();
    OptionGroup logOptions();

    // Parses whoisd's arguments (argv[0] first). On a usage error or a help request,
    // the text to print is returned in `message` (and `help` says which it was).
    static std::optional<ServiceSettings> fromArguments(const QStringList& arguments, QString* message,
                                                        bool* help = nullptr);
};
