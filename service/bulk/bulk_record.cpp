#include "service/bulk/bulk_record.h"

#include "core/batch/result_columns.h"
#include "core/batch/table_text.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString ReasonName(FailureReason reason)
{
    switch (reason) {
    case FailureReason::Timeout: return QStringLiteral("timeout");
    case FailureReason::CannotConnect: return QStringLiteral("cannot_connect");
    case FailureReason::Refused: return QStringLiteral("refused");
    case FailureReason::Unreadable: return QStringLiteral("unreadable_answer");
    case FailureReason::None: break;
    }
    return {};
}

} // namespace

BulkRecord BulkRecord::fromResult(const LookupResult& result, const QDateTime& askedAt)
{
    BulkRecord record;
    // The same row whoisd would answer, so both ways of running write the same fields.
    const QJsonObject row = LookupReply(result).value(wire::kInfo).toObject().value(wire::kWeb).toObject();
    for (std::size_t i = 0; i < record.fields.size(); ++i)
        record.fields[i] = row.value(wire::kRowMembers[i]).toString();
    record.verdict = VerdictOf(result);
    if (record.verdict == Verdict::Failed)
        record.reason =
            ReasonName(result.reason == FailureReason::None ? FailureReason::Unreadable : result.reason);
    record.source = SourceName(result.source);
    record.askedAt = askedAt;
    return record;
}

BulkRecord BulkRecord::fromRow(const wire::RowFields& row, const QDateTime& askedAt)
{
    BulkRecord record;
    record.fields = row;
    record.askedAt = askedAt;
    const QString& status = row[8];
    static const std::pair<QStringView, FailureReason> kReasons[] = {
        {wire::kTimedOut, FailureReason::Timeout},
        {wire::kCannotConnect, FailureReason::CannotConnect},
        {wire::kRegistryRefused, FailureReason::Refused},
        {wire::kUnreadableAnswer, FailureReason::Unreadable}};
    if (status == wire::kNotRegistered) {
        record.verdict = Verdict::Available;
    } else if (status == wire::kInvalidName) {
        record.verdict = Verdict::Invalid;
    } else if (status == wire::kRateLimited) {
        record.verdict = Verdict::RateLimited;
    } else if (status.startsWith(wire::UpstreamFailedText(u""))) {
        record.verdict = Verdict::Failed;
        record.reason = ReasonName(FailureReason::Unreadable);
        for (const auto& [text, reason] : kReasons)
            if (status == wire::UpstreamFailedText(text))
                record.reason = ReasonName(reason);
    } else {
        record.verdict = Verdict::Registered;
    }
    return record;
}

QStringList BulkRecord::values() const
{
    QStringList list(fields.cbegin(), fields.cend());
    list << QString(VerdictName(verdict)) << reason << source
         << (askedAt.isValid() ? askedAt.toUTC().toString(Qt::ISODate) : QString());
    return list;
}

const QStringList& BulkRecord::keys()
{
    static const QStringList kKeys{
        QStringLiteral("domain"),       QStringLiteral("registrar"),    QStringLiteral("email"),
        QStringLiteral("phone"),        QStringLiteral("created"),      QStringLiteral("expires"),
        QStringLiteral("whois_server"), QStringLiteral("name_servers"), QStringLiteral("status"),
        QStringLiteral("verdict"),      QStringLiteral("reason"),       QStringLiteral("source"),
        QStringLiteral("asked_at")};
    return kKeys;
}

const QStringList& BulkRecord::captions()
{
    static const QStringList kCaptions = [] {
        QStringList list(ColumnCaptions().cbegin(), ColumnCaptions().cend());
        return list + keys().mid(ResultRow::kFieldCount);
    }();
    return kCaptions;
}

QByteArray JsonLine(const BulkRecord& record)
{
    // Written by hand to keep the keys in their documented order (QJsonObject sorts them).
    QByteArray line = "{";
    const QStringList values = record.values();
    for (qsizetype i = 0; i < values.size(); ++i) {
        // A one-element array is the simplest way to have Qt escape a JSON string.
        const QByteArray value = QJsonDocument(QJsonArray{values[i]}).toJson(QJsonDocument::Compact);
        line +=
            (i > 0 ? ",\"" : "\"") + BulkRecord::keys()[i].toUtf8() + "\":" + value.mid(1, value.size() - 2);
    }
    return line + "}\n";
}

QByteArray CsvLine(const BulkRecord& record)
{
    const QStringList values = record.values();
    return CsvRecord(std::span(values.constData(), std::size_t(values.size()))).toUtf8();
}
