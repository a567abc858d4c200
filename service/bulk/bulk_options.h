#pragma once

#include "service/config/settings.h"

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

#include <optional>

// whois-bulk's command line: its own options, the input files, and every lookup
// option whoisd has (read by the same parser, so both programs agree on them).
struct BulkOptions {
    QStringList inputs;                        // files, "-" for standard input; none given: standard input
    QString output;                            // empty: JSON Lines on standard output
    QString serviceUrl;                        // ask a running whoisd instead of the engine in-process
    QList<QSslCertificate> serviceAuthorities; // trusted for its certificate, besides the system's
    bool quiet = false;
    bool resume = false;
    ServiceSettings settings;

    // On --help, the help text in `message` and nothing returned, `help` set; on a
    // usage error, every problem in `message`.
    static std::optional<BulkOptions> fromArguments(const QStringList& arguments, QString* message,
                                                    bool* help);
    static QString helpText();
};
