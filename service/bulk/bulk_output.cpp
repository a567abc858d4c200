#include "service/bulk/bulk_output.h"

#include "service/bulk/name_input.h"
#include "service/bulk/resume_file.h"

#include <QFileInfo>

#include <cstdio>

std::optional<QString> BulkOutput::open(const QString& path, bool resume)
{
    m_path = path;
    if (path.isEmpty()) {
        if (!m_file.open(stdout, QIODevice::WriteOnly))
            return QStringLiteral("cannot write to standard output");
        m_sink = std::make_unique<JsonLinesSink>(m_file);
        return std::nullopt;
    }
    const OutputFormat format = *FormatOfPath(path);
    if (format == OutputFormat::Xlsx) {
        m_sink = std::make_unique<XlsxSink>(path);
        return std::nullopt;
    }
    m_file.setFileName(path);
    if (resume && m_file.exists()) {
        if (std::optional<QString> problem = resumeFrom(format))
            return problem;
    } else if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return QStringLiteral("cannot write %1: %2").arg(path, m_file.errorString());
    }
    if (format == OutputFormat::Csv)
        m_sink = std::make_unique<CsvSink>(m_file);
    else
        m_sink = std::make_unique<JsonLinesSink>(m_file);
    return std::nullopt;
}

std::optional<QString> BulkOutput::resumeFrom(OutputFormat format)
{
    if (!m_file.open(QIODevice::ReadWrite))
        return QStringLiteral("cannot resume %1: %2").arg(m_path, m_file.errorString());
    const QByteArray bytes = m_file.readAll();
    const ResumeState state = format == OutputFormat::Csv ? ReadCsvOutput(bytes) : ReadJsonLinesOutput(bytes);
    if (!state.problem.isEmpty())
        return QStringLiteral("cannot resume %1: %2").arg(m_path, state.problem);
    // A torn last record goes; its name is asked again.
    if (state.wholeBytes < bytes.size() && !m_file.resize(state.wholeBytes))
        return QStringLiteral("cannot resume %1: %2").arg(m_path, m_file.errorString());
    m_file.seek(state.wholeBytes);
    m_done = state.done;
    return std::nullopt;
}

QStringList BulkOutput::notYetDone(const QStringList& names) const
{
    if (m_done.isEmpty())
        return names;
    QStringList left;
    for (const QString& name : names)
        if (!m_done.contains(NameKey(name)))
            left.append(name);
    return left;
}
