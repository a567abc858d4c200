#include "service/bulk/bulk_options.h"

#include "service/bulk/record_sink.h"
#include "service/config/option_parser.h"

#include <QUrl>

namespace {

const char* const kDescription =
    "Looks up every domain name in the files (\"-\" or none: standard input; UTF-8 or GBK,\n"
    "one name a line, cleaned as the window's import cleans them, each name once) and\n"
    "writes one record per name as soon as its answer is final. Registries are asked\n"
    "side by side, each no faster than its limit allows.\n\n"
    "Records hold domain, registrar, email, phone, created, expires, whois_server,\n"
    "name_servers, status, then verdict (registered, available, invalid, failed,\n"
    "rate_limited), reason (timeout, cannot_connect, unreadable_answer, refused),\n"
    "source (rdap, whois, dns) and asked_at (UTC).\n\n"
    "Exit status: 0 every name has a verdict other than failed or rate_limited; 1 some\n"
    "failed or were rate limited; 2 bad usage or unreadable input (nothing written);\n"
    "130 interrupted (the records that arrived are written).";

// The options that depend on each other. `lookupOptions`: the lookup options given
// on the command line.
void CheckTogether(const BulkOptions& options, const QStringList& lookupOptions, QString* message)
{
    if (!options.serviceUrl.isEmpty() && !lookupOptions.isEmpty())
        *message += QStringLiteral("--service: the lookup options are the service's own (--%1)\n")
                        .arg(lookupOptions.join(QStringLiteral(", --")));
    if (!options.output.isEmpty() && !FormatOfPath(options.output))
        *message += QStringLiteral("-o %1: the name must end in .csv, .xlsx or .jsonl\n").arg(options.output);
    if (options.resume && options.output.isEmpty())
        *message += QStringLiteral("--resume: needs -o FILE (.csv or .jsonl)\n");
    if (options.resume && FormatOfPath(options.output) == OutputFormat::Xlsx)
        *message += QStringLiteral("--resume: an .xlsx workbook cannot be appended to; use .csv or .jsonl\n");
}

} // namespace

OptionGroup BulkOptions::ownOptions()
{
    using namespace option;
    Option output = Text("output", "file",
                         "Where the records go, in the format its suffix names: .csv (the window's "
                         "export and four columns more), .xlsx (written at the end) or .jsonl; none: "
                         "JSON Lines on standard output",
                         &this->output);
    output.shortName = QStringLiteral("o");
    Option authority = ReadableFile("service-ca",
                                    "Authority (PEM) trusted for the service's certificate, besides "
                                    "the system's",
                                    &serviceAuthorityFile);
    authority.set = [this, given = std::move(authority.set)](const OptionValue& value) {
        given(value);
        if (value.text().isEmpty())
            return;
        serviceAuthorities = QSslCertificate::fromPath(serviceAuthorityFile, QSsl::Pem);
        if (serviceAuthorities.isEmpty())
            value.refuse(value.text(), QStringLiteral("no PEM certificate there"));
    };
    return {QStringLiteral("The run"),
            {std::move(output),
             Switch("resume", "",
                    "With --output (.csv or .jsonl): skip the names the file already has a record "
                    "for, and append the rest",
                    &resume),
             WebUrl("service", "A running whoisd to ask instead of looking up here", &serviceUrl),
             std::move(authority), Switch("quiet", "q", "No progress line on standard error", &quiet)}};
}

std::optional<BulkOptions> BulkOptions::fromArguments(const QStringList& arguments, QString* message,
                                                      bool* help)
{
    BulkOptions options;
    // Each name is asked once: kept answers would only be memory.
    options.settings.cacheEntries = 0;
    OptionGroup lookups = options.settings.engineOptions();
    lookups.title = QStringLiteral("Lookups (as whoisd's; not with --service)");
    QStringList lookupOptions;
    for (Option& row : lookups.options) {
        row.set = [&lookupOptions, name = row.name, given = std::move(row.set)](const OptionValue& value) {
            if (value.given() && !value.fromFile())
                lookupOptions.append(name);
            given(value);
        };
    }
    OptionParser parser(QStringLiteral("whois-bulk"), QString::fromLatin1(kDescription),
                        {options.ownOptions(), std::move(lookups)});
    parser.takePositional(QStringLiteral("file"), QStringLiteral("Names, one a line; \"-\": standard input."),
                          QStringLiteral("[file...]"));
    const OptionParser::Outcome outcome = parser.parse(arguments, message);
    *help = outcome == OptionParser::Outcome::Help;
    if (outcome != OptionParser::Outcome::Run)
        return std::nullopt;
    CheckTogether(options, lookupOptions, message);
    if (!message->isEmpty()) {
        *message += QStringLiteral("\"whois-bulk --help\" lists the options.\n");
        return std::nullopt;
    }
    options.inputs = parser.positional();
    if (options.inputs.isEmpty())
        options.inputs.append(QStringLiteral("-"));
    return options;
}
