#include "whois_record.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

QJsonObject WhoisRecord::toWeb() const
{
    return QJsonObject{{QStringLiteral("domain"), domain},
                       {QStringLiteral("personal"), registrar},
                       {QStringLiteral("email"), email},
                       {QStringLiteral("phone"), phone},
                       {QStringLiteral("creat_time"), created},
                       {QStringLiteral("delete_time"), expires},
                       {QStringLiteral("domain_service"), whoisServer},
                       {QStringLiteral("dns"), nameServers},
                       {QStringLiteral("do_status"), statuses}};
}

namespace {

QString ReasonText(FailureReason reason)
{
    switch (reason) {
    case FailureReason::Timeout: return QStringLiteral("超时");
    case FailureReason::CannotConnect: return QStringLiteral("无法连接");
    case FailureReason::Refused: return QStringLiteral("注册局拒绝");
    case FailureReason::Unreadable:
    case FailureReason::None: break;
    }
    return QStringLiteral("应答无法识别");
}

} // namespace

QString OutcomeText(const LookupResult& result)
{
    switch (result.status) {
    case LookupStatus::NotRegistered: return QStringLiteral("未注册");
    case LookupStatus::Invalid: return QStringLiteral("域名格式不正确或暂不支持该后缀");
    case LookupStatus::RateLimited: return QStringLiteral("查询过于频繁,请稍后重试");
    case LookupStatus::UpstreamFailed: return QStringLiteral("查询失败:") + ReasonText(result.reason);
    case LookupStatus::BadToken: return QStringLiteral("请求校验失败..");
    case LookupStatus::Found: break;
    }
    return {};
}

QJsonObject LookupReply(const LookupResult& result)
{
    if (result.status == LookupStatus::BadToken)
        return QJsonObject{{QStringLiteral("result"), 0},
                           {QStringLiteral("message"), OutcomeText(result)}};
    WhoisRecord row;
    if (result.status == LookupStatus::Found) {
        row = result.record;
    } else {
        row.domain = result.record.domain;
        row.statuses = OutcomeText(result);
        // Which server failed or refused is worth knowing; "not registered" needs none.
        if (result.status == LookupStatus::UpstreamFailed || result.status == LookupStatus::RateLimited)
            row.whoisServer = result.upstream;
    }
    return QJsonObject{{QStringLiteral("result"), 1},
                       {QStringLiteral("message"), QString()},
                       {QStringLiteral("info"), QJsonObject{{QStringLiteral("web"), row.toWeb()}}}};
}

QString UnlessRedacted(const QString& value)
{
    // Whole-value notices only: a registrar may well be called "Redacted Ltd".
    static const QRegularExpression kWithheld(
        QStringLiteral("^(redacted( for privacy)?|data redacted|redacted \\|.*|not disclosed|"
                       "withheld( for privacy)?|non-public data|data protected|privacy protected|"
                       "statutory masking enabled|please query the .*)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString trimmed = value.trimmed();
    return kWithheld.match(trimmed).hasMatch() ? QString() : trimmed;
}

QString NormalizeDate(const QString& text)
{
    const QString value = text.trimmed();
    if (value.isEmpty())
        return {};
    QDateTime moment = QDateTime::fromString(value, Qt::ISODateWithMs);
    if (!moment.isValid())
        moment = QDateTime::fromString(value, Qt::ISODate);
    if (moment.isValid()) {
        // A time without a zone is taken as UTC, as registries mean it.
        if (moment.timeSpec() == Qt::LocalTime)
            moment.setTimeSpec(Qt::UTC);
        return moment.toUTC().date().toString(Qt::ISODate);
    }
    static const QStringList kFormats{
        QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd"),
        QStringLiteral("dd-MM-yyyy"),          QStringLiteral("yyyy.MM.dd"),
        QStringLiteral("yyyy/MM/dd"),          QStringLiteral("dd-MMM-yyyy"),
        QStringLiteral("yyyyMMdd")};
    const QString head = value.section(u' ', 0, 1);
    for (const QString& format : kFormats) {
        for (const QString& candidate : {value, head, value.section(u' ', 0, 0)}) {
            const QDateTime parsed = QDateTime::fromString(candidate, format);
            if (parsed.isValid())
                return parsed.date().toString(Qt::ISODate);
            const QDate date = QDate::fromString(candidate, format);
            if (date.isValid())
                return date.toString(Qt::ISODate);
        }
    }
    return {};
}

QString PlainPhone(const QString& value)
{
    QString phone = value.trimmed();
    if (phone.startsWith(QStringLiteral("tel:"), Qt::CaseInsensitive))
        phone = phone.mid(4);
    const qsizetype parameters = phone.indexOf(u';');
    if (parameters >= 0)
        phone.truncate(parameters);
    return UnlessRedacted(phone);
}

QString EppStatus(const QString& status)
{
    const QStringList words = status.trimmed().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    if (words.size() == 1) {
        // "active" is EPP's "ok"; a single word is otherwise already a code.
        return words.first().compare(QStringLiteral("active"), Qt::CaseInsensitive) == 0
                   ? QStringLiteral("ok")
                   : words.first();
    }
    QString code = words.first().toLower();
    for (qsizetype i = 1; i < words.size(); ++i)
        code += words[i].left(1).toUpper() + words[i].mid(1).toLower();
    return code;
}
