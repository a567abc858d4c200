#include "service/engine/daily_counts.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

// "day server count" lines, the day as days since 1970-01-01 (UTC).
constexpr const char* kFileName = "daily-counts.txt";

} // namespace

DailyCounts::DailyCounts(const QString& stateDirectory)
    : m_file(stateDirectory.isEmpty() ? QString()
                                      : QDir(stateDirectory).filePath(QString::fromLatin1(kFileName)))
{
    QFile file(m_file);
    if (m_file.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        bool dayOk = false, countOk = false;
        const int day = fields.value(0).toInt(&dayOk);
        const int count = fields.value(2).toInt(&countOk);
        if (fields.size() != 3 || !dayOk || !countOk)
            continue;
        // Only the latest day in the file matters.
        const Day when{std::chrono::days(day)};
        if (when > m_day) {
            m_day = when;
            m_counts.clear();
        }
        if (when == m_day)
            m_counts.insert(QString::fromUtf8(fields[1]), count);
    }
}

void DailyCounts::moveTo(Day day)
{
    if (day == m_day)
        return;
    m_day = day;
    m_counts.clear();
}

int DailyCounts::count(const QString& server, Day day)
{
    moveTo(day);
    return m_counts.value(server);
}

void DailyCounts::add(const QString& server, Day day)
{
    moveTo(day);
    ++m_counts[server];
    save();
}

void DailyCounts::save() const
{
    if (m_file.isEmpty())
        return;
    QByteArray text;
    const QByteArray day = QByteArray::number(m_day.time_since_epoch().count());
    for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it)
        text += day + ' ' + it.key().toUtf8() + ' ' + QByteArray::number(it.value()) + '\n';
    QSaveFile file(m_file);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size())
        file.commit();
}
