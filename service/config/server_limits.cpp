#include "service/config/server_limits.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

constexpr double kMaxRate = 100000;
constexpr int kMaxCount = 1000000;

std::optional<double> Rate(const QString& text)
{
    bool ok = false;
    const double rate = text.toDouble(&ok);
    if (!ok || !std::isfinite(rate) || rate <= 0 || rate > kMaxRate)
        return std::nullopt;
    return rate;
}

std::optional<int> Count(const QString& text, int low)
{
    bool ok = false;
    const int count = text.toInt(&ok);
    if (!ok || count < low || count > kMaxCount)
        return std::nullopt;
    return count;
}

// Letters, digits, dots, hyphens and underscores, an optional ":port"; or "*".
bool IsServerKey(const QString& server)
{
    static const QRegularExpression kKey(
        QStringLiteral("^(\\*|[a-z0-9_.-]+(:[0-9]{1,5})?|\\[[0-9a-f:.]+\\]:[0-9]{1,5})$"));
    return kKey.match(server).hasMatch();
}

} // namespace

LimitsTable ParseLimitsTable(const QByteArray& text, QStringList* problems)
{
    LimitsTable table;
    int lineNumber = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++lineNumber;
        const qsizetype comment = raw.indexOf('#');
        const QString line = QString::fromUtf8(comment < 0 ? raw : raw.first(comment)).simplified();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(u' ');
        const QString server = fields.first().toLower();
        std::optional<double> rate;
        std::optional<int> burst, concurrency, daily;
        if (fields.size() == 5) {
            rate = Rate(fields[1]);
            burst = Count(fields[2], 1);
            concurrency = Count(fields[3], 1);
            daily = Count(fields[4], 0);
        }
        if (!IsServerKey(server) || !rate || !burst || !concurrency || !daily) {
            if (problems)
                problems->append(QStringLiteral("line %1: %2").arg(lineNumber).arg(line));
            continue;
        }
        const ServerLimit limit{*rate, *burst, *concurrency, *daily};
        if (server == u"*")
            table.fallback = limit;
        else
            table.rows.insert(server, limit);
    }
    return table;
}

std::optional<std::pair<QString, ServerLimit>> ParseLimitOption(const QString& text, const ServerLimit& base,
                                                                QString* why)
{
    const qsizetype equals = text.indexOf(u'=');
    const QString server = text.left(equals).trimmed().toLower();
    if (equals < 0) {
        *why = QStringLiteral("not of the form server=rate[,burst=n][,concurrency=n][,daily=n]");
        return std::nullopt;
    }
    if (!IsServerKey(server)) {
        *why = QStringLiteral("no server before \"=\"");
        return std::nullopt;
    }
    const QStringList parts = text.mid(equals + 1).split(u',');
    ServerLimit limit = base;
    const std::optional<double> rate = Rate(parts.first().trimmed());
    if (!rate) {
        *why = QStringLiteral("the rate is not a number of queries a second above 0");
        return std::nullopt;
    }
    limit.rate = *rate;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString key = parts[i].section(u'=', 0, 0).trimmed();
        const QString value = parts[i].section(u'=', 1).trimmed();
        int* field = key == u"burst"         ? &limit.burst
                     : key == u"concurrency" ? &limit.concurrency
                     : key == u"daily"       ? &limit.daily
                                             : nullptr;
        const std::optional<int> count = field ? Count(value, key == u"daily" ? 0 : 1) : std::nullopt;
        if (!count) {
            *why = field ? QStringLiteral("%1 is not a whole number in range").arg(key)
                         : QStringLiteral("unknown part \"%1\"").arg(parts[i].trimmed());
            return std::nullopt;
        }
        *field = *count;
    }
    return std::pair{server, limit};
}
