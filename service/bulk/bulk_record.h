#pragma once

#include "core/protocol/wire_protocol.h"
#include "service/record/whois_record.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// One name's final answer as whois-bulk writes it: the nine fields of the window's row
// (the status column holds the outcome's text when nothing was found, as the window
// shows it), then the verdict, the failure's reason, where the verdict came from and
// when the answer arrived.
struct BulkRecord {
    wire::RowFields fields;
    Verdict verdict = Verdict::Failed;
    QString reason; // "timeout", "cannot_connect", "unreadable_answer", "refused" or empty
    QString source; // "rdap", "whois", "dns", or empty when unknown
    QDateTime askedAt;

    const QString& domain() const { return fields[0]; }

    // From the engine in-process.
    static BulkRecord fromResult(const LookupResult& result, const QDateTime& askedAt);
    // From a running whoisd's row, which does not say where its verdict came from.
    static BulkRecord fromRow(const wire::RowFields& row, const QDateTime& askedAt);

    // The thirteen values in output order, and their names.
    QStringList values() const;
    static const QStringList& keys();     // JSON keys: domain, registrar, ... asked_at
    static const QStringList& captions(); // the window's nine captions, then verdict ... asked_at
};

// One JSON Lines record, ended by a line feed.
QByteArray JsonLine(const BulkRecord& record);
// One CSV record in the window's export format, ended by CR LF.
QByteArray CsvLine(const BulkRecord& record);
