#include "service/config/settings.h"

#include "service/config/option_parser.h"
#include "service/dns/dns_witness.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr qint64 kTenMinutes = 600000;  // ms
constexpr qint64 kThirtyDays = 2592000; // s

QString HostOrNothing(const QString& text)
{
    return option::IsHost(text) ? text : QString();
}

QString WebUrlOrNothing(const QString& text)
{
    return option::IsWebUrl(text) ? text : QString();
}

// Repeatable --limit rows, each in place of its server's row of the shipped table.
Option LimitOption(QHash<QString, ServerLimit>* limits)
{
    // What a row leaves out: one query back to back, four in flight, no daily cap.
    static constexpr ServerLimit kBase{1, 1, 4, 0};
    Option row{
        QStringLiteral("limit"),
        {},
        QStringLiteral("server=rate[,...]"),
        QStringLiteral("A server's pace, in place of its row in registry-limits.txt: port-43 host or RDAP "
                       "host[:port], queries a second, then burst (default %1), requests in flight "
                       "(default %2) and a daily cap (default %3: none)")
            .arg(kBase.burst)
            .arg(kBase.concurrency)
            .arg(kBase.daily),
        {},
        {},
        true,
        {}};
    row.set = [limits](const OptionValue& value) {
        // The settings file splits its values at commas: a row's options join their server again.
        static const QRegularExpression kLimitPart(QStringLiteral("^\\s*(burst|concurrency|daily)\\s*="));
        QStringList rows;
        for (const QString& text : value.texts()) {
            if (!rows.isEmpty() && value.fromFile() && kLimitPart.match(text).hasMatch())
                rows.last() += u',' + text;
            else
                rows.append(text);
        }
        for (const QString& text : std::as_const(rows)) {
            QString why;
            if (const auto limit = ParseLimitOption(text, kBase, &why))
                limits->insert(limit->first, limit->second);
            else
                value.refuse(text, why);
        }
    };
    return row;
}

// Repeatable --dns: resolvers to ask instead of the system's, or none at all.
Option DnsOption(bool* witness, QStringList* resolvers)
{
    Option row{
        QStringLiteral("dns"),
        {},
        QStringLiteral("address[:port]"),
        QStringLiteral("Resolver asked whether a name the registry did not confirm is delegated, instead of "
                       "the system's (IP addresses); \"off\": DNS is not asked"),
        {},
        {},
        true,
        {}};
    row.set = [witness, resolvers](const OptionValue& value) {
        for (const QString& text : value.texts()) {
            if (text == u"off")
                *witness = false;
            else if (DnsWitness::isResolver(text))
                resolvers->append(text);
            else
                value.refuse(text, QStringLiteral("neither \"off\" nor an IP address with an optional port"));
        }
    };
    return row;
}

} // namespace

OptionGroup ServiceSettings::engineOptions()
{
    using namespace option;
    return {
        QStringLiteral("Lookups"),
        {ReadableFile("bootstrap-file",
                      "Snapshot of the IANA DNS bootstrap file, read when the state folder "
                      "holds none (none given: the one beside the program, else the "
                      "installed one)",
                      &bootstrapFile),
         WebUrl("bootstrap-url", "Where to refresh the bootstrap file from, at start and daily; empty: never",
                &bootstrapUrl),
         Folder("state-dir", "Folder, which must exist, where the refreshed bootstrap file is kept",
                &stateDirectory),
         Host("iana-whois", "WHOIS server asked about TLDs no table names", &ianaWhois),
         Pairs("rdap", "tld=url",
               "RDAP base URL for a TLD, before the shipped table's and the bootstrap file's",
               "tld=https://host/path/", WebUrlOrNothing, &rdapOverrides),
         Pairs("whois-server", "tld=host",
               "Port-43 server for a TLD, before the shipped table's; an RDAP \"not found\" or refusal is "
               "final, so for a TLD with RDAP it is the fallback",
               "tld=host", HostOrNothing, &whoisServers),
         Pairs("whois-address", "host=addr:port", "Address to connect to for a port-43 host",
               "host=address:port", HostAndPort, &whoisAddresses),
         Number("whois-port", "port", "Port of WHOIS servers", 1, 65535, &whoisPort),
         DnsOption(&dnsWitness, &dnsResolvers),
         Duration("dns-timeout", "ms",
                  "Time for DNS's answer, in ms; without one in time the registry's answer stands", 1, 60000,
                  &dnsTimeout),
         Duration("connect-timeout", "ms", "Time to connect to an upstream server, in ms", 1, kTenMinutes,
                  &connectTimeout),
         Duration("timeout", "ms", "Time for one upstream exchange in all, in ms", 1, kTenMinutes,
                  &totalTimeout),
         // Each answer in flight may hold this much memory.
         Number("max-answer-bytes", "bytes", "Size cap of an upstream answer", 1024, 64 * 1024 * 1024,
                &maxAnswerBytes),
         Number("max-in-flight", "n", "Requests in flight to a server the limits table does not list", 1, 100,
                &maxInFlightPerServer),
         Duration("min-spacing", "ms",
                  "Least time in ms between two requests to a server the limits table does not list; 0: no "
                  "pacing",
                  0, kTenMinutes, &minSpacing),
         LimitOption(&limits),
         Number("max-queue", "n", "Lookups waiting for one server at most; beyond, they are answered at once",
                1, 10000000, &maxQueue),
         Number("cache-entries", "n", "Answers kept in the cache", 0, 10000000, &cacheEntries),
         Duration("found-ttl", "s", "Seconds a found answer is cached", 0, kThirtyDays, &foundTtl),
         Duration("not-registered-ttl", "s", "Seconds a not-registered answer is cached", 0, kThirtyDays,
                  &notRegisteredTtl)}};
}

OptionGroup ServiceSettings::frontOptions()
{
    using namespace option;
    return {
        QStringLiteral("The HTTPS front"),
        {Address("listen", "Address to listen on", &listenAddress),
         Number("port", "port", "HTTPS port; 0: any free one", 0, 65535, &port),
         ReadableFile("cert", "TLS certificate, PEM", &certificateFile),
         ReadableFile("key", "TLS private key, PEM", &keyFile),
         Text("version-current", "text", "Version the update endpoint reports as current", &version),
         Text("sid", "text", "Product id of the works-detail page in the update answer", &sid),
         Text("must", "text", "\"0\" for an optional update, anything else compulsory", &must),
         Number("front-threads", "n", "Threads serving HTTPS", 1, 64, &frontThreads),
         Number("max-connections", "n", "Open connections at most; beyond, the longest idle one is closed", 1,
                1000000, &maxConnections),
         Duration("handshake-timeout", "ms", "Time for a client's TLS handshake, in ms", 1, kTenMinutes,
                  &handshakeTimeout),
         Duration("idle-timeout", "ms", "Time for the next request on a connection, in ms", 1, 3600000,
                  &idleTimeout),
         Number("max-header-bytes", "bytes", "Size of a request's head at most", 256, 1 << 20,
                &maxHeaderBytes),
         Number("max-headers", "n", "Request header fields at most", 1, 10000, &maxHeaderCount),
         Number("max-url-bytes", "bytes", "Length of a request's URL at most", 64, 1 << 20, &maxUrlBytes),
         Number("max-body-bytes", "bytes", "Size of a request's body at most", 0, 1 << 24, &maxBodyBytes),
         Duration("reply-reuse", "ms",
                  "Time in ms a cached answer is repeated without asking the cache again; 0: never", 0, 60000,
                  &replyReuse)}};
}

OptionGroup ServiceSettings::storeOptions()
{
    Option store{
        QStringLiteral("store"),
        {},
        QStringLiteral("address"),
        QStringLiteral("Store the instances share answers in: redis://HOST:PORT/DB or unix:/PATH; none: "
                       "this instance alone"),
        {},
        {},
        false,
        {}};
    store.set = [this](const OptionValue& value) {
        if (value.text().isEmpty())
            return;
        this->store = ParseStoreAddress(value.text());
        if (!this->store)
            value.refuse(value.text(),
                         QStringLiteral("neither redis://HOST:PORT/DB nor unix:/PATH (a password goes "
                                        "in --store-password-file)"));
    };
    Option prefix = option::Text("store-prefix", "text", "Prefix of every key in the store", &storePrefix);
    prefix.set = [this, given = std::move(prefix.set)](const OptionValue& value) {
        given(value);
        static const QRegularExpression kPrefix(QStringLiteral("^[\\x21-\\x7e]{1,64}$"));
        if (!kPrefix.match(storePrefix).hasMatch())
            value.refuse(storePrefix, QStringLiteral("not 1 to 64 printable ASCII characters"));
    };
    Option metrics{QStringLiteral("metrics-listen"),
                   {},
                   QStringLiteral("address:port"),
                   QStringLiteral("Plain-HTTP address of /healthz and /metrics; port 0: any free one"),
                   {},
                   QStringLiteral("127.0.0.1:9464"),
                   false,
                   {}};
    metrics.set = [this](const OptionValue& value) {
        const QString text = value.text();
        if (text.isEmpty())
            return;
        // An IP address (IPv6 in brackets) and a port.
        const qsizetype colon = text.lastIndexOf(u':');
        QString host = text.left(std::max<qsizetype>(colon, 0));
        if (host.startsWith(u'[') && host.endsWith(u']'))
            host = host.mid(1, host.size() - 2);
        bool portOk = false;
        const uint portNumber = text.mid(colon + 1).toUInt(&portOk);
        metricsAddress = QHostAddress(host);
        if (colon <= 0 || !portOk || portNumber > 65535 || metricsAddress.isNull())
            value.refuse(text, QStringLiteral("not of the form address:port"));
        else
            metricsPort = quint16(portNumber);
    };
    return {QStringLiteral("Instances side by side"),
            {std::move(store),
             option::ReadableFile("store-password-file",
                                  "File holding the store's password (none given: the systemd credential "
                                  "store-password, if any)",
                                  &storePasswordFile),
             std::move(prefix),
             option::Duration("store-timeout", "ms",
                              "Time for the store to answer, in ms; a lookup goes on "
                              "without it after that",
                              1, 60000, &storeTimeout),
             std::move(metrics)}};
}

OptionGroup ServiceSettings::logOptions()
{
    return {QStringLiteral("The log"),
            {option::Choice("log-format", "Log lines as plain text or as one JSON object a line",
                            {{"text", LogFormat::Text}, {"json", LogFormat::Json}}, &logFormat)}};
}

std::optional<ServiceSettings> ServiceSettings::fromArguments(const QStringList& arguments, QString* message,
                                                              bool* help)
{
    ServiceSettings settings;
    OptionParser parser(
        QStringLiteral("whoisd"),
        QStringLiteral(
            "Lookup and update service for the batch WHOIS tool: answers over HTTPS from RDAP "
            "and port-43 WHOIS.\n\n"
            "Where a name is looked up: RDAP first, at the --rdap URL for its TLD, else the one\n"
            "rdap-servers.txt or the bootstrap file names. Port 43 when the TLD has no RDAP\n"
            "server, or when RDAP cannot be reached, times out, answers 5xx or answers something\n"
            "unreadable: the --whois-server host for the TLD, else the one in whois-servers.txt\n"
            "shipped with it, else the one whois.iana.org (--iana-whois) names. An RDAP \"not\n"
            "found\" or refusal (4xx) is final; so a --whois-server for a TLD with RDAP serves as\n"
            "its fallback. Before a name is answered as not registered, or as failed or limited\n"
            "at the registry, DNS is asked for its NS records (--dns): a delegated name is\n"
            "answered as registered."),
        {settings.engineOptions(), settings.frontOptions(), settings.storeOptions(), settings.logOptions()});
    const OptionParser::Outcome outcome = parser.parse(arguments, message);
    if (help)
        *help = outcome == OptionParser::Outcome::Help;
    if (outcome != OptionParser::Outcome::Run)
        return std::nullopt;
    return settings;
}
