#include "service/bulk/record_sink.h"

#include "core/batch/export_files.h"
#include "core/batch/table_text.h"

namespace {

bool WriteAll(QFile& file, const QByteArray& bytes)
{
    // Flushed to the system at once: a run killed outright keeps every record written.
    return file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

std::optional<OutputFormat> FormatOfPath(const QString& path)
{
    if (path.endsWith(u".jsonl", Qt::CaseInsensitive))
        return OutputFormat::JsonLines;
    if (path.endsWith(u".csv", Qt::CaseInsensitive))
        return OutputFormat::Csv;
    if (path.endsWith(u".xlsx", Qt::CaseInsensitive))
        return OutputFormat::Xlsx;
    return std::nullopt;
}

bool JsonLinesSink::write(const BulkRecord& record)
{
    return WriteAll(m_file, JsonLine(record));
}

bool CsvSink::write(const BulkRecord& record)
{
    QByteArray bytes;
    if (m_file.size() == 0) {
        const QStringList& captions = BulkRecord::captions();
        bytes = QByteArrayLiteral("\xEF\xBB\xBF") +
                CsvRecord(std::span(captions.constData(), std::size_t(captions.size()))).toUtf8();
    }
    return WriteAll(m_file, bytes + CsvLine(record));
}

bool XlsxSink::write(const BulkRecord& record)
{
    m_rows.append(record.values());
    return true;
}

std::optional<QString> XlsxSink::finish()
{
    return WriteXlsxSheet(
        m_path, SheetSource{BulkRecord::captions(), int(m_rows.size()), [this](int i) { return m_rows[i]; }});
}
