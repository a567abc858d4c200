#pragma once

#include "service/bulk/record_sink.h"

#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The run's output: standard output, or the -o file in the format its suffix names,
// picked up where an earlier run stopped when resuming.
class BulkOutput final {
public:
    // Opens the output; the problem (naming the file) when it cannot be used.
    std::optional<QString> open(const QString& path, bool resume);
    // The names, in order, that the file has no record for yet.
    QStringList notYetDone(const QStringList& names) const;
    RecordSink& sink() { return *m_sink; }
    std::optional<QString> finish() { return m_sink->finish(); }
    QString name() const { return m_path.isEmpty() ? QStringLiteral("standard output") : m_path; }

private:
    std::optional<QString> resumeFrom(OutputFormat format);

    QString m_path;
    QFile m_file;
    QSet<QString> m_done;
    std::unique_ptr<RecordSink> m_sink;
};
