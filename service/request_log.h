#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// One line per lookup on standard error. Names come from clients and upstream names
// from registries' data: both are escaped so that no one can write a line of their own.
enum class LogFormat { Text, Json };

struct LogEntry {
    QString time;     // ISO 8601, UTC, milliseconds
    QString client;   // address
    QString name;     // as asked
    QString outcome;
    QString upstream; // the server that answered
    double milliseconds = 0;
};

// Printable text unchanged; "\" doubled; line breaks and tabs as \n \r \t, other
// controls, spaces and invisible characters as \xHH or \u{HHHH}.
QString EscapeForLog(QStringView text);

// "TIME CLIENT NAME OUTCOME upstream=UPSTREAM 1.2ms" (absent values as "-"), or one
// JSON object; either ends in a line feed.
QByteArray FormatLogLine(LogFormat format, const LogEntry& entry);
