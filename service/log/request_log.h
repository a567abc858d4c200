#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Everything whoisd logs goes to standard error through here: one line per lookup, and
// notices of its own (start, stop, bootstrap refreshes), in the chosen format. Names come from clients and
// upstream names from registries' data: both are escaped so that no one can write a line of their own.
enum class LogFormat { Text, Json };

struct LogEntry {
    QString time;   // ISO 8601, UTC, milliseconds
    QString client; // address
    QString name;   // as asked
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

// "whoisd: TEXT", or one JSON object with the time and the notice; ends in a line feed.
QByteArray FormatNotice(LogFormat format, const QString& time, const QString& text);

// The current time as log lines write it: ISO 8601, UTC, milliseconds.
QString UtcNow();

// Writes a formatted line to standard error in one call, so lines from the front's
// threads never interleave.
void WriteLogLine(const QByteArray& line);

// A notice, formatted and written.
void LogNotice(LogFormat format, const QString& text);
