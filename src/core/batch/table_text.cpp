#include "core/batch/table_text.h"

#include "core/batch/result_columns.h"

QString NeutralizedCell(const QString& cell)
{
    if (cell.isEmpty())
        return cell;
    switch (cell.front().unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r': return u'\'' + cell;
    default: return cell;
    }
}

QString CsvField(const QString& cell)
{
    QString text = NeutralizedCell(cell);
    const bool quoted =
        text.contains(u',') || text.contains(u'"') || text.contains(u'\r') || text.contains(u'\n');
    if (!quoted)
        return text;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

QString CsvRecord(std::span<const QString> fields)
{
    QString line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += u',';
        line += CsvField(fields[i]);
    }
    line += QStringLiteral("\r\n");
    return line;
}

namespace {

void AppendTsvLine(QString& text, const std::array<QString, ResultRow::kFieldCount>& fields)
{
    for (int i = 0; i < ResultRow::kFieldCount; ++i) {
        if (i > 0)
            text += u'\t';
        QString cell = NeutralizedCell(fields[i]);
        for (QChar& c : cell) {
            if (c == u'\t' || c == u'\r' || c == u'\n')
                c = u' ';
        }
        text += cell;
    }
    text += QStringLiteral("\r\n");
}

} // namespace

QString TabSeparatedText(const RowSource& rows)
{
    QString text;
    AppendTsvLine(text, ColumnCaptions());
    for (int i = 0; i < rows.count; ++i)
        AppendTsvLine(text, rows.at(i).fields);
    return text;
}
