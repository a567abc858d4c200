#include "settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

QHash<QString, QString> ServiceSettings::defaultRdapOverrides()
{
    return {{QStringLiteral("me"), QStringLiteral("https://rdap.identitydigital.services/rdap/")},
            {QStringLiteral("io"), QStringLiteral("https://rdap.identitydigital.services/rdap/")},
            {QStringLiteral("cc"), QStringLiteral("https://tld-rdap.verisign.com/cc/v1/")}};
}

namespace {

void ReadPairs(const QStringList& values, QHash<QString, QString>& into)
{
    for (const QString& value : values) {
        const qsizetype equals = value.indexOf(u'=');
        if (equals > 0)
            into.insert(value.left(equals).trimmed().toLower(), value.mid(equals + 1).trimmed());
    }
}

} // namespace

std::optional<ServiceSettings> ServiceSettings::fromArguments(const QStringList& arguments,
                                                              QString* message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lookup and update service for the batch WHOIS tool: answers over HTTPS from RDAP "
        "and port-43 WHOIS.\n\n"
        "Where a name is looked up: RDAP first, at the --rdap URL for its TLD, else the one\n"
        "the bootstrap file names. Port 43 when the TLD has no RDAP server, or when RDAP\n"
        "cannot be reached, times out, answers 5xx or answers something unreadable: the\n"
        "--whois-server host for the TLD, else the one in whois-servers.txt beside whoisd,\n"
        "else the one whois.iana.org (--iana-whois) names. An RDAP \"not found\" or refusal\n"
        "(4xx) is final; so a --whois-server for a TLD with RDAP serves as its fallback."));
    parser.addHelpOption();
    const auto opt = [&](const char* name, const char* description, const char* value = nullptr) {
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
    const auto ianaWhois = opt("iana-whois", "WHOIS server asked for unknown TLDs.", "host");
    const auto rdap = opt("rdap", "RDAP base URL for a TLD, before the bootstrap file's (repeatable).", "tld=url");
    const auto whoisServer = opt("whois-server", "Port-43 server for a TLD, before the shipped table's (repeatable).", "tld=host");
    const auto whoisAddress =
        opt("whois-address", "Connect to this address for a port-43 host (repeatable).", "host=addr:port");
    const auto whoisPort = opt("whois-port", "Port of WHOIS servers (default 43).", "port");
    const auto connectTimeout = opt("connect-timeout", "Upstream connect limit in ms.", "ms");
    const auto totalTimeout = opt("timeout", "Upstream total limit in ms.", "ms");
    const auto maxBytes = opt("max-answer-bytes", "Size cap of an upstream answer.", "bytes");
    const auto inFlight = opt("max-in-flight", "Requests in flight per upstream server.", "n");
    const auto spacing = opt("min-spacing", "Minimum ms between requests to one server.", "ms");
    const auto cacheEntries = opt("cache-entries", "Answers kept in the cache.", "n");
    const auto foundTtl = opt("found-ttl", "Seconds a found answer is cached.", "s");
    const auto missingTtl = opt("not-registered-ttl", "Seconds a not-registered answer is cached.", "s");

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
        for (const QString& name : file.allKeys()) {
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
    bool ok = true;
    const auto number = [&](const QCommandLineOption& option, qint64 fallback) -> qint64 {
        const QString text = value(option);
        if (text.isEmpty())
            return fallback;
        bool valid = false;
        const qint64 parsed = text.toLongLong(&valid);
        if (!valid || parsed < 0) {
            ok = false;
            *message += QStringLiteral("not a number for --%1: %2\n").arg(option.names().first(), text);
        }
        return parsed;
    };

    ServiceSettings settings;
    if (!value(listen).isEmpty())
        settings.listenAddress = QHostAddress(value(listen));
    settings.port = static_cast<quint16>(number(port, settings.port));
    settings.certificateFile = value(cert);
    settings.keyFile = value(key);
    if (!value(version).isEmpty())
        settings.version = value(version);
    if (!value(sid).isEmpty())
        settings.sid = value(sid);
    if (!value(must).isEmpty())
        settings.must = value(must);
    settings.bootstrapFile = value(bootstrapFile);
    if (parser.isSet(bootstrapUrl) || fileValues.contains(bootstrapUrl.names().first()))
        settings.bootstrapUrl = value(bootstrapUrl);
    if (!value(ianaWhois).isEmpty())
        settings.ianaWhois = value(ianaWhois);
    settings.rdapOverrides = defaultRdapOverrides();
    ReadPairs(values(rdap), settings.rdapOverrides);
    ReadPairs(values(whoisServer), settings.whoisServers);
    ReadPairs(values(whoisAddress), settings.whoisAddresses);
    settings.whoisPort = static_cast<quint16>(number(whoisPort, settings.whoisPort));
    settings.connectTimeout = std::chrono::milliseconds(number(connectTimeout, settings.connectTimeout.count()));
    settings.totalTimeout = std::chrono::milliseconds(number(totalTimeout, settings.totalTimeout.count()));
    settings.maxAnswerBytes = number(maxBytes, settings.maxAnswerBytes);
    settings.maxInFlightPerServer = static_cast<int>(std::max<qint64>(1, number(inFlight, settings.maxInFlightPerServer)));
    settings.minSpacing = std::chrono::milliseconds(number(spacing, settings.minSpacing.count()));
    settings.cacheEntries = static_cast<int>(number(cacheEntries, settings.cacheEntries));
    settings.foundTtl = std::chrono::seconds(number(foundTtl, settings.foundTtl.count()));
    settings.notRegisteredTtl = std::chrono::seconds(number(missingTtl, settings.notRegisteredTtl.count()));
    if (settings.listenAddress.isNull()) {
        ok = false;
        *message += QStringLiteral("not an address for --listen\n");
    }
    if (!ok)
        return std::nullopt;
    return settings;
}
