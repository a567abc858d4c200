#pragma once

#include "service/bulk/bulk_record.h"

#include <QFile>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

// Where a bulk run's records go, one at a time as each name's answer is final.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // False when the record could not be written.
    virtual bool write(const BulkRecord& record) = 0;
    // Completes the output; the reason it could not, or nothing.
    virtual std::optional<QString> finish() { return std::nullopt; }
};

enum class OutputFormat { JsonLines, Csv, Xlsx };

// The format an output path's suffix names (.jsonl, .csv, .xlsx; any case), or nothing.
std::optional<OutputFormat> FormatOfPath(const QString& path);

// JSON Lines to an open device (standard output, or a file opened for appending),
// flushed after every record.
class JsonLinesSink final : public RecordSink {
public:
    explicit JsonLinesSink(QFile& file)
        : m_file(file)
    {
    }
    bool write(const BulkRecord& record) override;

private:
    QFile& m_file;
};

// The window's CSV export format, appended a record at a time: a new or empty file
// gets the byte-order mark and the caption line first.
class CsvSink final : public RecordSink {
public:
    explicit CsvSink(QFile& file)
        : m_file(file)
    {
    }
    bool write(const BulkRecord& record) override;

private:
    QFile& m_file;
};

// A workbook cannot be appended to: the records are kept and written whole at the end.
class XlsxSink final : public RecordSink {
public:
    explicit XlsxSink(QString path)
        : m_path(std::move(path))
    {
    }
    bool write(const BulkRecord& record) override;
    std::optional<QString> finish() override;

private:
    QString m_path;
    QList<QStringList> m_rows;
};
