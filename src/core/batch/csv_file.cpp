#include "core/batch/export_files.h"

#include "core/batch/result_columns.h"

#include <QSaveFile>

namespace {

constexpr qsizetype kFlushBytes = 1 << 20;

QString CannotWrite(const QString& path)
{
    return QStringLiteral("无法写入文件 ") + path;
}

} // namespace

std::optional<QString> WriteCsvFile(const QString& path, const RowSource& rows)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return CannotWrite(path);
    // Written in pieces, so that a large table never exists twice in memory.
    QByteArray buffer = QByteArrayLiteral("\xEF\xBB\xBF");
    buffer += CsvRecord(ColumnCaptions()).toUtf8();
    for (int i = 0; i < rows.count; ++i) {
        buffer += CsvRecord(rows.at(i).fields).toUtf8();
        if (buffer.size() >= kFlushBytes) {
            if (file.write(buffer) != buffer.size())
                return CannotWrite(path);
            buffer.truncate(0);
        }
    }
    if (file.write(buffer) != buffer.size() || !file.commit())
        return CannotWrite(path);
    return std::nullopt;
}
