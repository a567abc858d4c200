#include "service/config/settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QSettings>

#include <functional>

QHash<QString, QString> ServiceSettings::defaultRdapOverrides()
{
    return {{QStringLiteral("me"), QStringLiteral("https://rdap.identitydigital.services/rdap/")},
            {QStringLiteral("io"), QStringLiteral("https://rdap.identitydigital.services/rdap/")},
            {QStringLiteral("cc"), QStringLiteral("https://tld-rdap.verisign.com/cc/v1/")}};
}

namespace {

// A host to connect to as configured: an IP address or a name of letters, digits,
// hyphens and dots ("localhost" included).
bool IsHost(const QString& text)
{
    if (!QHostAddress(text).isNull())
        return true;
    static const QRegularExpression kName(QStringLiteral(
        "^(?=.{1,253}$)([A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?\\.)*"
        "[A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?\\.?$"));
    return kName.match(QString::fromLatin1(QUrl::toAce(text))).hasMatch();
}

bool IsWebUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"https" || url.scheme() == u"http") && IsHost(url.host());
}

// "host:port" or "[v6]:port", stored as "host:port" (the port follows the last colon).
QString HostAndPort(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return {};
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port < 1 || port > 65535 || !IsHost(host))
        return {};
    return host + u':' + QString::number(port);
}

} // namespace

std::optional<ServiceSettings> ServiceSettings::fromArguments(const QStringList& arguments,
                                                              QString* message)
{
    message->clear();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lookup and update service for the batch WHOIS tool: answers over HTTPS from RDAP "
        "and port-43 WHOIS.\n\n"
        "Where a name is looked up: RDAP first, at the --rdap URL for its TLD, else the one\n"
        "the bootstrap file names. Port 43 when the TLD has no RDAP server, or when RDAP\n"
        "cannot be reached, times out, answers 5xx or answers something unreadable: the\n"
        "--whois-server host for the TLD, else the one in whois-servers.txt shipped with it,\n"
        "else the one whois.iana.org (--iana-whois) names. An RDAP \"not found\" or refusal\n"
        "(4xx) is final; so a --whois-server for a TLD with RDAP serves as its fallback."));
    parser.addHelpOption();
    QStringList known;
    const auto opt = [&](const char* name, const char* description, const char* value = nullptr) {
        known.append(QString::fromLatin1(name));
        QCommandLineOption option(QString::fromLatin1(name), QString::fromLatin1(description));
        if (value)
            option.setValueName(QString::fromLatin1(value));
        parser.addOption(option);
        return option;
    };
    const auto config = opt("config", "Settings file (INI); options given here win.", "file");
    const auto listen = opt("listen", "Address to listen on (default 127.0.0.1).", "address");
    const auto port = opt("port", "HTTPS port (default 8443).", "port");
    const auto cert = opt("cert", "TLS certificate (PEM).", "file");
    const auto key = opt("key", "TLS private key (PEM).", "file");
    const auto version = opt("version-current", "Version the update endpoint reports.", "text");
    const auto sid = opt("sid", "Product id for the works-detail page.", "text");
    const auto must = opt("must", "\"0\" for an optional update, anything else compulsory.", "text");
    const auto bootstrapFile = opt("bootstrap-file", "Snapshot of the IANA DNS bootstrap file.", "file");
    const auto bootstrapUrl = opt("bootstrap-url", "Where to refresh the bootstrap file from.", "url");
    const auto stateDir = opt("state-dir", "Folder where the refreshed bootstrap file is kept.", "dir");
    const auto ianaWhois = opt("iana-whois", "WHOIS server asked for unknown TLDs.", "host");
    const auto rdap = opt("rdap", "RDAP base URL for a TLD, before the bootstrap file's (repeatable).", "tld=url");
    const auto whoisServer = opt("whois-server", "Port-43 server for a TLD, before the shipped table's (repeatable).", "tld=host");
    const auto whoisAddress =
        opt("whois-address", "Connect to this address for a port-43 host (repeatable).", "host=addr:port");
    const auto whoisPort = opt("whois-port", "Port of WHOIS servers (default 43).", "port");
    const auto connectTimeout = opt("connect-timeout", "Upstream connect limit in ms.", "ms");
    const auto totalTimeout = opt("timeout", "Upstream total limit in ms.", "ms");
    const auto maxBytes = opt("max-answer-bytes", "Size cap of an upstream answer.", "bytes");
    const auto inFlight = opt("max-in-flight", "Requests in flight to a server the limits table does not list.", "n");
    const auto spacing = opt("min-spacing", "Minimum ms between requests to a server the limits table does not "
                             "list (0: no pacing).", "ms");
    const auto limit = opt("limit", "A server's pace, in place of its row in registry-limits.txt (repeatable): "
                           "port-43 host or RDAP host[:port], queries a second, then burst (default 1), "
                           "requests in flight (default 4) and a daily cap (default 0: none).",
                           "server=rate[,burst=n][,concurrency=n][,daily=n]");
    const auto maxQueue = opt("max-queue", "Lookups waiting for one server at most (default 5000).", "n");
    const auto cacheEntries = opt("cache-entries", "Answers kept in the cache.", "n");
    const auto foundTtl = opt("found-ttl", "Seconds a found answer is cached.", "s");
    const auto missingTtl = opt("not-registered-ttl", "Seconds a not-registered answer is cached.", "s");
    // The HTTPS front.
    const auto frontThreads = opt("front-threads", "Threads serving HTTPS (default 2).", "n");
    const auto maxConnections = opt("max-connections", "Open connections at most; beyond, the longest idle "
                                    "one is closed (default 4096).", "n");
    const auto handshakeTimeout = opt("handshake-timeout", "Time for a client's TLS handshake in ms (default 5000).", "ms");
    const auto idleTimeout = opt("idle-timeout", "Time for the next request on a connection in ms (default 15000).", "ms");
    const auto maxHeaderBytes = opt("max-header-bytes", "Size of a request's head at most (default 16384).", "bytes");
    const auto maxHeaderCount = opt("max-headers", "Request header fields at most (default 100).", "n");
    const auto maxUrlBytes = opt("max-url-bytes", "Length of a request's URL at most (default 8192).", "bytes");
    const auto maxBodyBytes = opt("max-body-bytes", "Size of a request's body at most (default 65536).", "bytes");
    const auto replyReuse = opt("reply-reuse", "Time in ms a cached answer is repeated without asking the cache "
                                "again (default 1000, 0: never).", "ms");
    const auto logFormat = opt("log-format", "\"text\" (default) or \"json\" (one object a line).", "format");

    if (!parser.parse(arguments)) {
        *message = parser.errorText() + u'\n' + parser.helpText();
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *message = parser.helpText();
        return std::nullopt;
    }

    // Values from the settings file first; the command line overrides them.
    QHash<QString, QString> fileValues;
    QHash<QString, QStringList> fileLists;
    if (parser.isSet(config)) {
        const QString path = parser.value(config);
        if (!QFileInfo(path).isReadable()) {
            *message = QStringLiteral("cannot read the settings file %1\n").arg(path);
            return std::nullopt;
        }
        QSettings file(path, QSettings::IniFormat);
        if (file.status() != QSettings::NoError) {
            *message = QStringLiteral("the settings file %1 is not an INI file\n").arg(path);
            return std::nullopt;
        }
        for (const QString& name : file.allKeys()) {
            // A misspelt setting would otherwise be ignored without a word.
            if (!known.contains(name) || name == u"config") {
                *message += QStringLiteral("unknown setting in %1: %2\n").arg(path, name);
                continue;
            }
            const QVariant value = file.value(name);
            fileValues.insert(name, value.toString());
            fileLists.insert(name, value.toStringList());
        }
    }
    const auto value = [&](const QCommandLineOption& option) {
        return parser.isSet(option) ? parser.value(option) : fileValues.value(option.names().first());
    };
    const auto values = [&](const QCommandLineOption& option) {
        return parser.isSet(option) ? parser.values(option) : fileLists.value(option.names().first());
    };
    // Every problem is collected into `message`; any one refuses the whole command line.
    const auto refuse = [&](const QCommandLineOption& option, const QString& text, const QString& why) {
        *message += QStringLiteral("--%1 %2: %3\n").arg(option.names().first(), text, why);
    };
    const auto number = [&](const QCommandLineOption& option, qint64 fallback, qint64 low, qint64 high) -> qint64 {
        const QString text = value(option);
        if (text.isEmpty()) {
            if (parser.isSet(option) || fileValues.contains(option.names().first()))
                refuse(option, text, QStringLiteral("no value"));
            return fallback;
        }
        bool valid = false;
        const qint64 parsed = text.toLongLong(&valid);
        if (!valid)
            refuse(option, text, QStringLiteral("not a whole number"));
        else if (parsed < low || parsed > high)
            refuse(option, text, QStringLiteral("out of range (%1 to %2)").arg(low).arg(high));
        else
            return parsed;
        return fallback;
    };
    const auto readableFile = [&](const QCommandLineOption& option) {
        const QString path = value(option);
        if (!path.isEmpty() && !(QFileInfo(path).isFile() && QFileInfo(path).isReadable()))
            refuse(option, path, QStringLiteral("not a readable file"));
        return path;
    };
    const auto pairs = [&](const QCommandLineOption& option, QHash<QString, QString>& into,
                           const std::function<QString(const QString&)>& check, const char* form) {
        for (const QString& text : values(option)) {
            const qsizetype equals = text.indexOf(u'=');
            const QString name = text.left(equals).trimmed().toLower();
            const QString checked = equals > 0 && IsHost(name) ? check(text.mid(equals + 1).trimmed()) : QString();
            if (checked.isEmpty())
                refuse(option, text, QStringLiteral("not of the form %1").arg(QLatin1StringView(form)));
            else
                into.insert(name, checked);
        }
    };
    const auto host = [](const QString& text) { return IsHost(text) ? text : QString(); };
    const auto webUrl = [](const QString& text) { return IsWebUrl(text) ? text : QString(); };
    if (!parser.positionalArguments().isEmpty())
        *message += QStringLiteral("unexpected arguments: %1\n").arg(parser.positionalArguments().join(u' '));

    ServiceSettings settings;
    if (const QString address = value(listen); !address.isEmpty()) {
        settings.listenAddress = QHostAddress(address);
        if (settings.listenAddress.isNull())
            refuse(listen, address, QStringLiteral("not an IP address"));
    }
    settings.port = static_cast<quint16>(number(port, settings.port, 0, 65535));
    settings.certificateFile = readableFile(cert);
    settings.keyFile = readableFile(key);
    if (!value(version).isEmpty())
        settings.version = value(version);
    if (!value(sid).isEmpty())
        settings.sid = value(sid);
    if (!value(must).isEmpty())
        settings.must = value(must);
    settings.bootstrapFile = readableFile(bootstrapFile);
    if (parser.isSet(bootstrapUrl) || fileValues.contains(bootstrapUrl.names().first())) {
        // Empty: no refresh.
        settings.bootstrapUrl = value(bootstrapUrl);
        if (!settings.bootstrapUrl.isEmpty() && !IsWebUrl(settings.bootstrapUrl))
            refuse(bootstrapUrl, settings.bootstrapUrl, QStringLiteral("not an http(s) URL"));
    }
    if (const QString text = value(ianaWhois); !text.isEmpty()) {
        settings.ianaWhois = text;
        if (!IsHost(text))
            refuse(ianaWhois, text, QStringLiteral("not a host name or address"));
    }
    settings.rdapOverrides = defaultRdapOverrides();
    pairs(rdap, settings.rdapOverrides, webUrl, "tld=https://host/path/");
    pairs(whoisServer, settings.whoisServers, host, "tld=host");
    pairs(whoisAddress, settings.whoisAddresses, HostAndPort, "host=address:port");
    settings.whoisPort = static_cast<quint16>(number(whoisPort, settings.whoisPort, 1, 65535));
    constexpr qint64 kTenMinutes = 600000;
    settings.connectTimeout = std::chrono::milliseconds(
        number(connectTimeout, settings.connectTimeout.count(), 1, kTenMinutes));
    settings.totalTimeout = std::chrono::milliseconds(
        number(totalTimeout, settings.totalTimeout.count(), 1, kTenMinutes));
    // Each answer in flight may hold this much memory.
    settings.maxAnswerBytes = number(maxBytes, settings.maxAnswerBytes, 1024, 64 * 1024 * 1024);
    const auto given = [&](const QCommandLineOption& option) {
        return parser.isSet(option) || fileValues.contains(option.names().first());
    };
    if (given(inFlight))
        settings.maxInFlightPerServer = static_cast<int>(number(inFlight, 4, 1, 100));
    if (given(spacing))
        settings.minSpacing = std::chrono::milliseconds(number(spacing, 100, 0, kTenMinutes));
    // The settings file splits its values at commas: a row's options join their server again.
    QStringList limitRows;
    static const QRegularExpression kLimitPart(QStringLiteral("^\\s*(burst|concurrency|daily)\\s*="));
    for (const QString& text : values(limit)) {
        if (!limitRows.isEmpty() && !parser.isSet(limit) && kLimitPart.match(text).hasMatch())
            limitRows.last() += u',' + text;
        else
            limitRows.append(text);
    }
    for (const QString& text : limitRows) {
        QString why;
        if (const auto row = ParseLimitOption(text, ServerLimit{1, 1, 4, 0}, &why))
            settings.limits.insert(row->first, row->second);
        else
            refuse(limit, text, why);
    }
    settings.maxQueue = static_cast<int>(number(maxQueue, settings.maxQueue, 1, 10000000));
    settings.cacheEntries = static_cast<int>(number(cacheEntries, settings.cacheEntries, 0, 10000000));
    constexpr qint64 kThirtyDays = 30 * 24 * 3600;
    settings.foundTtl = std::chrono::seconds(number(foundTtl, settings.foundTtl.count(), 0, kThirtyDays));
    settings.notRegisteredTtl =
        std::chrono::seconds(number(missingTtl, settings.notRegisteredTtl.count(), 0, kThirtyDays));
    // The HTTPS front.
    settings.frontThreads = static_cast<int>(number(frontThreads, settings.frontThreads, 1, 64));
    settings.maxConnections = static_cast<int>(number(maxConnections, settings.maxConnections, 1, 1000000));
    settings.handshakeTimeout = std::chrono::milliseconds(
        number(handshakeTimeout, settings.handshakeTimeout.count(), 1, kTenMinutes));
    settings.idleTimeout =
        std::chrono::milliseconds(number(idleTimeout, settings.idleTimeout.count(), 1, 3600000));
    settings.maxHeaderBytes = static_cast<int>(number(maxHeaderBytes, settings.maxHeaderBytes, 256, 1 << 20));
    settings.maxHeaderCount = static_cast<int>(number(maxHeaderCount, settings.maxHeaderCount, 1, 10000));
    settings.maxUrlBytes = static_cast<int>(number(maxUrlBytes, settings.maxUrlBytes, 64, 1 << 20));
    settings.maxBodyBytes = static_cast<int>(number(maxBodyBytes, settings.maxBodyBytes, 0, 1 << 24));
    settings.replyReuse = std::chrono::milliseconds(number(replyReuse, settings.replyReuse.count(), 0, 60000));
    const QString format = value(logFormat);
    if (format == u"json")
        settings.logFormat = LogFormat::Json;
    else if (!format.isEmpty() && format != u"text")
        refuse(logFormat, format, QStringLiteral("neither \"text\" nor \"json\""));

    // The state folder is made by whoever starts the service (systemd's StateDirectory=);
    // a missing one is a mistake worth stopping for, not a place to create.
    settings.stateDirectory = value(stateDir);
    if (!settings.stateDirectory.isEmpty() && !QFileInfo(settings.stateDirectory).isDir())
        refuse(stateDir, settings.stateDirectory, QStringLiteral("not a folder"));
    if (!message->isEmpty()) {
        *message += QStringLiteral("\"whoisd --help\" lists the options.\n");
        return std::nullopt;
    }
    return settings;
}
