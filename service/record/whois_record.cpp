#include "service/record/whois_record.h"

#include "core/protocol/wire_protocol.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

QLatin1StringView SourceName(LookupSource source)
{
    switch (source) {
    case LookupSource::Rdap: return "rdap"_L1;
    case LookupSource::Whois: return "whois"_L1;
    case LookupSource::Dns: return "dns"_L1;
    case LookupSource::None: break;
    }
    return {};
}

LookupSource SourceNamed(QStringView name)
{
    for (const LookupSource source : {LookupSource::Rdap, LookupSource::Whois, LookupSource::Dns})
        if (name == SourceName(source))
            return source;
    return LookupSource::None;
}

Verdict VerdictOf(const LookupResult& result)
{
    if (result.source == LookupSource::Dns)
        return Verdict::Registered;
    switch (result.status) {
    case LookupStatus::Found: return Verdict::Registered;
    case LookupStatus::NotRegistered: return Verdict::Available;
    case LookupStatus::Invalid: return Verdict::Invalid;
    case LookupStatus::RateLimited: return Verdict::RateLimited;
    case LookupStatus::BadToken:
    case LookupStatus::UpstreamFailed: break;
    }
    return Verdict::Failed;
}

QLatin1StringView VerdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Registered: return "registered"_L1;
    case Verdict::Available: return "available"_L1;
    case Verdict::Invalid: return "invalid"_L1;
    case Verdict::RateLimited: return "rate_limited"_L1;
    case Verdict::Failed: break;
    }
    return "failed"_L1;
}

wire::RowFields WhoisRecord::columns() const
{
    return {domain, registrar, email, phone, created, expires, whoisServer, nameServers, statuses};
}

namespace {

QStringView ReasonText(FailureReason reason)
{
    switch (reason) {
    case FailureReason::Timeout: return wire::kTimedOut;
    case FailureReason::CannotConnect: return wire::kCannotConnect;
    case FailureReason::Refused: return wire::kRegistryRefused;
    case FailureReason::Unreadable:
    case FailureReason::None: break;
    }
    return wire::kUnreadableAnswer;
}

} // namespace

QString OutcomeText(const LookupResult& result)
{
    switch (result.status) {
    case LookupStatus::NotRegistered: return wire::kNotRegistered.toString();
    case LookupStatus::Invalid: return wire::kInvalidName.toString();
    case LookupStatus::RateLimited: return wire::kRateLimited.toString();
    case LookupStatus::UpstreamFailed: return wire::UpstreamFailedText(ReasonText(result.reason));
    case LookupStatus::BadToken: return wire::kBadToken.toString();
    case LookupStatus::Found: break;
    }
    return {};
}

QJsonObject LookupReply(const LookupResult& result)
{
    if (result.status == LookupStatus::BadToken)
        return wire::Refusal(OutcomeText(result));
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
    return wire::RowAnswer(row.columns());
}

QString UnlessRedacted(const QString& value)
{
    // Notices registries and registrars put where data is withheld, as whole values
    // (matched without case): a registrar may well be called "Redacted Ltd".
    static const char* const kNotices[] = {
        "redacted( for privacy)?",
        "data redacted",
        "redacted \\|.*",          // "Redacted | Registry Policy"
        "not disclosed([ !.].*)?", // "Not Disclosed - Visit www.internet.ee ..."
        "<?data not disclosed>?",
        "hidden( upon user request|!.*)?", // "HIDDEN! Details are available at ..."
        "withheld( for privacy)?",
        "non-public data",
        "data protected.*",
        "privacy protected",
        "gdpr masked",
        "statutory masking enabled",
        "please query the .*", // "... RDDS service of the Registrar of Record"
        "select contact domain holder link.*",
        "contact via https?://.*",
        "(link at )?https?://\\S*", // a web form standing in for a contact
    };
    static const QRegularExpression kWithheld = [] {
        QStringList parts;
        for (const char* notice : kNotices)
            parts.append(QLatin1StringView(notice));
        return QRegularExpression(u"^(?:"_s + parts.join(u'|') + u")$"_s,
                                  QRegularExpression::CaseInsensitiveOption);
    }();
    const QString trimmed = value.trimmed();
    return kWithheld.match(trimmed).hasMatch() ? QString() : trimmed;
}

namespace {

int MonthNumber(QStringView name)
{
    static const QStringList kMonths{u"jan"_s, u"feb"_s, u"mar"_s, u"apr"_s, u"may"_s, u"jun"_s,
                                     u"jul"_s, u"aug"_s, u"sep"_s, u"oct"_s, u"nov"_s, u"dec"_s};
    return int(kMonths.indexOf(name.left(3).toString().toLower())) + 1;
}

// "Z", "UTC", "+03:00", "+0300", "+03", "GMT+1", "(UTC+9)", "(GMT+0:00)", "EAT" as seconds east of UTC.
int ZoneOffset(const QString& zone)
{
    // The zone names registries print after a time, as hours east of UTC.
    static const QHash<QString, int> kNamed{{u"WAT"_s, 1},  {u"CET"_s, 1},  {u"CEST"_s, 2}, {u"EET"_s, 2},
                                            {u"EEST"_s, 3}, {u"EAT"_s, 3},  {u"MSK"_s, 3},  {u"JST"_s, 9},
                                            {u"KST"_s, 9},  {u"EST"_s, -5}, {u"EDT"_s, -4}, {u"PST"_s, -8},
                                            {u"PDT"_s, -7}};
    if (const auto named = kNamed.constFind(zone.trimmed()); named != kNamed.cend())
        return *named * 3600;
    static const QRegularExpression kOffset(u"([+-])(\\d{1,2}):?(\\d\\d)?"_s);
    const QRegularExpressionMatch match = kOffset.match(zone);
    if (!match.hasMatch())
        return 0;
    const int seconds = match.captured(2).toInt() * 3600 + match.captured(3).toInt() * 60;
    return match.captured(1) == u"-" ? -seconds : seconds;
}

} // namespace

QString NormalizeDate(const QString& text, bool monthFirst)
{
    static const QString kTime = u"(?:[T ]+|-T)(\\d{1,2}):(\\d\\d)(?::(\\d\\d))?(?:\\.\\d+)?"_s;
    static const QString kZone =
        u"\\s*(Z|(?:UTC|GMT)[+-]\\d{1,2}(?::?\\d\\d)?|UTC|GMT|[+-]\\d\\d(?::?\\d\\d)?|\\((?:UTC|GMT)[+-]\\d{1,2}(?::\\d\\d)?\\)|"
        u"[WC]ET|CEST|EES?T|EAT|MSK|[JK]ST|[EP][SD]T)?"_s;
    static const QRegularExpression kYearFirst(u"^(\\d{4})[-/.] ?(\\d{1,2})[-/.] ?(\\d{1,2})\\.?(?:"_s +
                                               kTime + u")?"_s + kZone);
    static const QRegularExpression kDayFirst(u"^(\\d{1,2})[-/.](\\d{1,2})[-/.](\\d{4})(?:"_s + kTime +
                                              u")?"_s + kZone);
    static const QRegularExpression kMonthName(
        u"^(?:[A-Za-z]{3}(?:day|sday|nesday|rsday|urday)?,? )?(\\d{1,2})(?:st|nd|rd|th)?[- ]([A-Za-z]{3,9})\\.?,?[- ](\\d{4})(?:"_s +
        kTime + u")?"_s + kZone);
    // "16/09/03": day first, as the longer form, with the century left out.
    static const QRegularExpression kShortYear(u"^(\\d{1,2})[-/.](\\d{1,2})[-/.](\\d\\d)$"_s);
    static const QRegularExpression kCompact(
        u"^(\\d{4})(\\d\\d)(\\d\\d)(?:\\d{6})?\\b"_s); // "20020903000000"
    static const QRegularExpression kYearMonthName(u"^(\\d{4})-([A-Za-z]{3})-(\\d{1,2})\\b"_s);
    // "Tue Feb 10 09:42:42 2004", "Tue Dec 12 2000", "January 18 2000"
    static const QRegularExpression kMonthFirstName(
        u"^(?:[A-Za-z]{3} )?([A-Za-z]{3,9}) +(\\d{1,2}),?(?: \\d\\d:\\d\\d:\\d\\d)?(?: [A-Z]{3,4})? (\\d{4})$"_s);

    const QString value = text.trimmed();
    if (value.isEmpty())
        return {};
    int year = 0, month = 0, day = 0;
    QRegularExpressionMatch match;
    if ((match = kYearFirst.match(value)).hasMatch()) {
        year = match.captured(1).toInt();
        month = match.captured(2).toInt();
        day = match.captured(3).toInt();
    } else if ((match = kDayFirst.match(value)).hasMatch()) {
        year = match.captured(3).toInt();
        month = match.captured(monthFirst ? 1 : 2).toInt();
        day = match.captured(monthFirst ? 2 : 1).toInt();
    } else if ((match = kMonthName.match(value)).hasMatch()) {
        year = match.captured(3).toInt();
        month = MonthNumber(match.capturedView(2));
        day = match.captured(1).toInt();
    } else if ((match = kYearMonthName.match(value)).hasMatch()) {
        year = match.captured(1).toInt();
        month = MonthNumber(match.capturedView(2));
        day = match.captured(3).toInt();
    } else if ((match = kMonthFirstName.match(value)).hasMatch()) {
        year = match.captured(3).toInt();
        month = MonthNumber(match.capturedView(1));
        day = match.captured(2).toInt();
    } else if ((match = kShortYear.match(value)).hasMatch()) {
        const int shortYear = match.captured(3).toInt();
        year = shortYear < 70 ? 2000 + shortYear : 1900 + shortYear;
        month = match.captured(monthFirst ? 1 : 2).toInt();
        day = match.captured(monthFirst ? 2 : 1).toInt();
    } else if ((match = kCompact.match(value)).hasMatch()) {
        year = match.captured(1).toInt();
        month = match.captured(2).toInt();
        day = match.captured(3).toInt();
    }
    const QDate date(year, month, day);
    if (!date.isValid())
        return {};
    const QString zone = match.lastCapturedIndex() >= 7 ? match.captured(7) : QString();
    if (zone.isEmpty() || match.captured(4).isEmpty())
        return date.toString(Qt::ISODate); // no zone: the registry means UTC
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
    const QDateTime moment(date, time.isValid() ? time : QTime(0, 0), Qt::OffsetFromUTC, ZoneOffset(zone));
    return moment.toUTC().date().toString(Qt::ISODate);
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
    // "client_update_prohibited" is "client update prohibited".
    const QStringList words = QString(status).replace(u'_', u' ').trimmed().split(u' ', Qt::SkipEmptyParts);
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
