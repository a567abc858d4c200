#include "service/bulk/progress_text.h"

QString DurationText(std::chrono::seconds duration)
{
    const qint64 s = duration.count();
    if (s < 60)
        return QStringLiteral("%1s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1m%2s").arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
    return QStringLiteral("%1h%2m").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar(u'0'));
}

QString ProgressText(const BulkCounts& counts, std::chrono::milliseconds elapsed, const QStringList& cooling)
{
    QString text = QStringLiteral("%1/%2").arg(counts.done).arg(counts.total);
    const double seconds = double(elapsed.count()) / 1000.0;
    if (counts.done > 0 && seconds > 0) {
        const double rate = double(counts.done) / seconds;
        text += QStringLiteral("  %1/s").arg(rate, 0, 'f', 1);
        const auto left = std::chrono::seconds(qint64(double(counts.total - counts.done) / rate + 0.5));
        text += QStringLiteral("  ETA ") + DurationText(left);
    }
    for (Verdict verdict :
         {Verdict::Registered, Verdict::Available, Verdict::Invalid, Verdict::Failed, Verdict::RateLimited}) {
        if (counts.of(verdict) > 0)
            text += QStringLiteral("  %1 %2").arg(VerdictName(verdict)).arg(counts.of(verdict));
    }
    if (!cooling.isEmpty())
        text += QStringLiteral("  cooling: ") + cooling.join(QStringLiteral(", "));
    return text;
}
