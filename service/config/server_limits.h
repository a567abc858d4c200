#pragma once

#include <QHash>
#include <QString>

#include <optional>

// How hard one upstream server may be asked: `rate` queries a second on average,
// `burst` of them back to back after a quiet spell, `concurrency` at once, and
// `daily` in one UTC day (0: no cap). Over any one second the server sees at most
// rate + burst - 1 queries.
struct ServerLimit {
    double rate = 1;
    int burst = 3;
    int concurrency = 2;
    int daily = 0;

    friend bool operator==(const ServerLimit&, const ServerLimit&) = default;
};

// The shipped table (registry-limits.txt): rows of "server rate burst concurrency
// daily", '#' starts a comment; the row named "*" is for servers the table does not
// list. Servers are port-43 host names or an RDAP URL's host[:port], lower case.
struct LimitsTable {
    QHash<QString, ServerLimit> rows;
    ServerLimit fallback;

    ServerLimit limitFor(const QString& server) const { return rows.value(server, fallback); }
};

// Reads the table; a malformed row is skipped and named in `problems`.
LimitsTable ParseLimitsTable(const QByteArray& text, QStringList* problems = nullptr);

// "SERVER=RATE[,burst=N][,concurrency=N][,daily=N]", as --limit takes it: the server
// and its row (burst, concurrency and daily as in `base` unless given), or nothing
// with the reason in `why`.
std::optional<std::pair<QString, ServerLimit>> ParseLimitOption(const QString& text, const ServerLimit& base,
                                                                QString* why);
