#include "service/bulk/bulk_options.h"

#include "service/bulk/record_sink.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

// whoisd's options that concern its HTTPS front, its update answer or its log, read
// from its option table: nothing a bulk run does.
const QStringList& FrontOptions()
{
    static const QStringList kNames = [] {
        ServiceSettings settings;
        QStringList names{QStringLiteral("help"), QStringLiteral("help-all"), QStringLiteral("help-scdoc"),
                          QStringLiteral("help-ini")};
        for (const OptionGroup& group : {settings.frontOptions(), settings.logOptions()})
            for (const Option& row : group.options)
                names.append(row.name);
        return names;
    }();
    return kNames;
}

QString OptionName(const QString& argument)
{
    return argument.mid(2).section(u'=', 0, 0);
}

// The lookup options' part of whoisd's help, its front's options left out.
QString LookupOptionsHelp()
{
    QString whoisdHelp;
    ServiceSettings::fromArguments({QStringLiteral("whois-bulk"), QStringLiteral("--help")}, &whoisdHelp);
    static const QRegularExpression kEntry(QStringLiteral("^  (-\\w, )?--([\\w-]+)"));
    QString text;
    bool keep = false;
    bool inOptions = false;
    for (const QString& line : whoisdHelp.split(u'\n')) {
        if (line.startsWith(u"Options:")) {
            inOptions = true;
            continue;
        }
        if (!inOptions)
            continue;
        if (const auto match = kEntry.match(line); match.hasMatch())
            keep = !FrontOptions().contains(match.captured(2));
        if (keep && !line.isEmpty())
            text += line + u'\n';
    }
    return text;
}

// The options that depend on each other.
void CheckTogether(const BulkOptions& options, const QStringList& engine, QString* message)
{
    if (!options.serviceUrl.isEmpty()) {
        const QUrl url(options.serviceUrl, QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http") || url.host().isEmpty())
            *message += QStringLiteral("--service %1: not an http(s) URL\n").arg(options.serviceUrl);
        if (engine.size() > 1)
            *message += QStringLiteral("--service: the lookup options are the service's own (%1)\n")
                            .arg(engine.mid(1).join(u' '));
    }
    if (!options.output.isEmpty() && !FormatOfPath(options.output))
        *message += QStringLiteral("-o %1: the name must end in .csv, .xlsx or .jsonl\n").arg(options.output);
    if (options.resume && options.output.isEmpty())
        *message += QStringLiteral("--resume: needs -o FILE (.csv or .jsonl)\n");
    if (options.resume && FormatOfPath(options.output) == OutputFormat::Xlsx)
        *message += QStringLiteral("--resume: an .xlsx workbook cannot be appended to; use .csv or .jsonl\n");
}

} // namespace

QString BulkOptions::helpText()
{
    return QStringLiteral(
               "Usage: whois-bulk [options] [FILE...]\n"
               "Looks up every domain name in the files (\"-\" or none: standard input; UTF-8 or GBK,\n"
               "one name a line, cleaned as the window's import cleans them, each name once) and\n"
               "writes one record per name as soon as its answer is final. Registries are asked\n"
               "side by side, each no faster than its limit allows.\n\n"
               "Options:\n"
               "  -o, --output <file>    Write the records to FILE by its suffix: .csv (the window's\n"
               "                         export format), .xlsx (written at the end) or .jsonl.\n"
               "                         Default: JSON Lines on standard output.\n"
               "  --resume               With -o (.csv or .jsonl): skip the names the file already\n"
               "                         has a record for, and append the rest.\n"
               "  --service <url>        Ask a running whoisd at URL instead of looking up here.\n"
               "  --service-ca <file>    Trust the authority in FILE (PEM) for the service's\n"
               "                         certificate, besides the system's.\n"
               "  -q, --quiet            No progress line on standard error.\n"
               "  -h, --help             Show this help.\n\n"
               "Lookup options (as whoisd's; not with --service):\n") +
           LookupOptionsHelp() +
           QStringLiteral(
               "\nRecords hold domain, registrar, email, phone, created, expires, whois_server,\n"
               "name_servers, status, then verdict (registered, available, invalid, failed,\n"
               "rate_limited), reason (timeout, cannot_connect, unreadable_answer, refused),\n"
               "source (rdap, whois, dns) and asked_at (UTC).\n\n"
               "Exit status: 0 every name has a verdict other than failed or rate_limited; 1 some\n"
               "failed or were rate limited; 2 bad usage or unreadable input (nothing written);\n"
               "130 interrupted (the records that arrived are written).\n");
}

std::optional<BulkOptions> BulkOptions::fromArguments(const QStringList& arguments, QString* message,
                                                      bool* help)
{
    message->clear();
    *help = false;
    BulkOptions options;
    QStringList engine{QStringLiteral("whois-bulk")};
    const auto valueOf = [&](qsizetype& i, const QString& argument,
                             qsizetype nameLength) -> std::optional<QString> {
        if (argument.size() > nameLength)
            return argument.mid(argument[nameLength] == u'=' ? nameLength + 1 : nameLength);
        if (i + 1 < arguments.size())
            return arguments[++i];
        *message += QStringLiteral("%1: needs a value\n").arg(argument);
        return std::nullopt;
    };
    bool positionalOnly = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (positionalOnly || argument == u"-" || !argument.startsWith(u'-')) {
            options.inputs.append(argument);
        } else if (argument == u"--") {
            positionalOnly = true;
        } else if (argument == u"-h" || argument == u"--help") {
            *help = true;
            *message = helpText();
            return std::nullopt;
        } else if (argument == u"-q" || argument == u"--quiet") {
            options.quiet = true;
        } else if (argument == u"--resume") {
            options.resume = true;
        } else if (argument.startsWith(u"-o") || OptionName(argument) == u"output") {
            if (const auto value = valueOf(i, argument, argument.startsWith(u"-o") ? 2 : 8))
                options.output = *value;
        } else if (OptionName(argument) == u"service") {
            if (const auto value = valueOf(i, argument, 9))
                options.serviceUrl = *value;
        } else if (OptionName(argument) == u"service-ca") {
            if (const auto value = valueOf(i, argument, 12)) {
                options.serviceAuthorities = QSslCertificate::fromPath(*value, QSsl::Pem);
                if (options.serviceAuthorities.isEmpty())
                    *message += QStringLiteral("--service-ca %1: no PEM certificate there\n").arg(*value);
            }
        } else if (!argument.startsWith(u"--") || FrontOptions().contains(OptionName(argument))) {
            *message += QStringLiteral("unknown option: %1\n").arg(argument);
        } else {
            // Every lookup option takes a value: "--rdap uk=URL" or "--rdap=uk=URL".
            engine.append(argument);
            if (!argument.contains(u'=') && i + 1 < arguments.size())
                engine.append(arguments[++i]);
        }
    }
    if (options.inputs.isEmpty())
        options.inputs.append(QStringLiteral("-"));

    QString engineMessage;
    if (std::optional<ServiceSettings> settings = ServiceSettings::fromArguments(engine, &engineMessage))
        options.settings = *settings;
    else // its closing line points at whoisd's help; the first lines name the problems
        *message += engineMessage.section(QStringLiteral("\"whoisd --help\""), 0, 0)
                        .section(QStringLiteral("Usage:"), 0, 0)
                        .trimmed() +
                    u'\n';
    CheckTogether(options, engine, message);
    if (!message->trimmed().isEmpty()) {
        *message = message->trimmed() + QStringLiteral("\n\"whois-bulk --help\" lists the options.\n");
        return std::nullopt;
    }
    message->clear();
    return options;
}
