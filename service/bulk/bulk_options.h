#pragma once

#include "service/config/option_table.h"
#include "service/config/settings.h"

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

#include <optional>

// whois-bulk's command line: its own options, the input files, and every lookup
// option whoisd has (rows of the same table, so both programs agree on them).
struct BulkOptions {
    QStringList inputs; // files, "-" for standard input; none given: standard input
    QString output;     // empty: JSON Lines on standard output
    QString serviceUrl; // ask a running whoisd instead of the engine in-process
    QString serviceAuthorityFile;
    QList<QSslCertificate> serviceAuthorities; // trusted for its certificate, besides the system's
    bool quiet = false;
    bool resume = false;
    ServiceSettings settings;

    // whois-bulk's own rows, bound to this object's fields.
    OptionGroup ownOptions();

    // On --help (and the build's --help-scdoc), the text in `message`, nothing
    // returned and `help` set; on a usage error, every problem in `message`.
    static std::optional<BulkOptions> fromArguments(const QStringList& arguments, QString* message,
                                                    bool* help);
};
