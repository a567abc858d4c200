#pragma once

#include <QHash>
#include <QString>

#include <chrono>

// Queries sent to each capped server on the current UTC day, kept in a file of the
// state folder so that a restart does not hand out a second day's worth. Without a
// folder the counts live in memory only.
class DailyCounts final {
public:
    using Day = std::chrono::sys_days;

    explicit DailyCounts(const QString& stateDirectory);

    int count(const QString& server, Day day);
    void add(const QString& server, Day day);

    QString file() const { return m_file; }

private:
    void moveTo(Day day);
    void save() const;

    QString m_file;
    Day m_day{};
    QHash<QString, int> m_counts;
};
