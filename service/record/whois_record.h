#pragma once

#include "core/protocol/wire_protocol.h"

#include <QJsonObject>
#include <QString>

// The nine fields the program shows for a domain, as the lookup endpoint returns them.
struct WhoisRecord {
    QString domain; // as asked (Unicode form)
    QString registrar;
    QString email; // registrant's, else the registrar's abuse contact
    QString phone;
    QString created; // YYYY-MM-DD, UTC
    QString expires; // YYYY-MM-DD, UTC
    QString whoisServer;
    QString nameServers; // lower case, joined by ","
    QString statuses;    // EPP codes, joined by ","

    // The row's fields in the program's column order.
    wire::RowFields columns() const;
};

// What a lookup came to.
enum class LookupStatus { Found, NotRegistered, Invalid, BadToken, UpstreamFailed, RateLimited };

// Where a verdict came from: the registry over RDAP or port 43, or DNS.
enum class LookupSource { None, Rdap, Whois, Dns };
// "rdap", "whois", "dns" (empty for none) and back, as records and the store write them.
QLatin1StringView SourceName(LookupSource source);
LookupSource SourceNamed(QStringView name);

// What a lookup comes to in plain words, as whois-bulk's records and whoisd's metrics
// give it: DNS's delegation counts as registered whatever the registry said.
enum class Verdict { Registered, Available, Invalid, Failed, RateLimited };
struct LookupResult;
Verdict VerdictOf(const LookupResult& result);
// "registered", "available", "invalid", "failed", "rate_limited".
QLatin1StringView VerdictName(Verdict verdict);

// Why an upstream gave nothing usable; shown to the user in a few words.
enum class FailureReason { None, Timeout, CannotConnect, Unreadable, Refused };

struct LookupResult {
    LookupStatus status = LookupStatus::UpstreamFailed;
    WhoisRecord record;
    QString upstream; // the server that answered, or the one that failed
    FailureReason reason = FailureReason::None;
    LookupSource source = LookupSource::None;

    static LookupResult found(WhoisRecord record, QString upstream)
    {
        LookupResult result;
        result.status = LookupStatus::Found;
        result.record = std::move(record);
        result.upstream = std::move(upstream);
        return result;
    }

    static LookupResult failed(LookupStatus status, QString upstream = {},
                               FailureReason reason = FailureReason::None)
    {
        LookupResult result;
        result.status = status;
        result.upstream = std::move(upstream);
        result.reason = reason;
        return result;
    }

    // A name that is no domain name, or whose TLD nobody serves; the row repeats it.
    static LookupResult invalid(QString name, QString upstream = {})
    {
        LookupResult result = failed(LookupStatus::Invalid, std::move(upstream));
        result.record.domain = std::move(name);
        return result;
    }
};

// The lookup endpoint's reply for a result: a refusal only for a bad token (the
// program's fault); every answer about a name is a row, its status column saying
// what became of the lookup.
QJsonObject LookupReply(const LookupResult& result);

// The status column of a row that is not a found record; empty for Found.
QString OutcomeText(const LookupResult& result);

// Blank for values that only say the data is withheld.
QString UnlessRedacted(const QString& value);

// An ISO 8601 or common WHOIS date as YYYY-MM-DD in UTC; empty when unreadable.
// Numeric dates that start with the day (26.03.2008, 30/10/2002) are read day first
// unless `monthFirst` (12/18/2001).
QString NormalizeDate(const QString& text, bool monthFirst = false);

// "tel:+1.5555551234;ext=1" and similar as a plain number.
QString PlainPhone(const QString& value);

// RDAP status wording ("client transfer prohibited") as its EPP code
// ("clientTransferProhibited"); EPP codes pass unchanged.
QString EppStatus(const QString& status);
