#include "core/batch/export_files.h"

#include "core/batch/result_columns.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <vector>

namespace {

// Limits of the file format: rows per sheet and characters per cell.
constexpr int kMaxRows = 1048576;
constexpr qsizetype kMaxCellChars = 32767;
// Columns never get wider than this, however long their text.
constexpr int kMaxColumnWidth = 80;

QString CannotWrite(const QString& path)
{
    return QStringLiteral("无法写入文件 ") + path;
}

bool IsWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

QByteArray CellBytes(const QString& text)
{
    QString cell = text.left(kMaxCellChars);
    // The sheet is XML, which cannot hold other control characters than these.
    const auto forbidden = [](QChar c) {
        return c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
    };
    if (std::any_of(cell.cbegin(), cell.cend(), forbidden))
        std::replace_if(cell.begin(), cell.end(), forbidden, QChar(u' '));
    return cell.toUtf8();
}

// Fills a fresh workbook at the path; false when the library reports an error.
bool FillWorkbook(const QByteArray& fileName, const SheetSource& table)
{
    lxw_workbook_options options{};
    // Rows go to disk as they are written: memory stays flat however large the table.
    options.constant_memory = LXW_TRUE;
    lxw_workbook* workbook = workbook_new_opt(fileName.constData(), &options);
    if (!workbook)
        return false;
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, "查询结果");
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    lxw_format* dateFormat = workbook_add_format(workbook);
    format_set_num_format(dateFormat, "yyyy-mm-dd");

    const int columns = int(table.captions.size());
    std::vector<int> widths(std::size_t(columns), 0);
    for (int column = 0; column < columns; ++column)
        widths[column] = ColumnWidthOf(table.captions[column]);
    for (int i = 0; i < table.count; ++i) {
        const QStringList row = table.row(i);
        for (int column = 0; column < columns && column < row.size(); ++column)
            widths[column] = std::max(widths[column], ColumnWidthOf(row[column]));
    }
    bool ok = true;
    for (int column = 0; column < columns; ++column) {
        const double width = std::min(widths[column], kMaxColumnWidth) + 2;
        const auto col = static_cast<lxw_col_t>(column);
        ok = ok && worksheet_set_column(sheet, col, col, width, nullptr) == LXW_NO_ERROR;
    }
    worksheet_freeze_panes(sheet, 1, 0);
    // The header's drop-downs let a spreadsheet filter by status, as the table does.
    ok = ok && worksheet_autofilter(sheet, 0, 0, static_cast<lxw_row_t>(table.count),
                                    static_cast<lxw_col_t>(columns - 1)) == LXW_NO_ERROR;

    for (int column = 0; column < columns; ++column)
        ok =
            ok && worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(column),
                                         CellBytes(table.captions[column]).constData(), bold) == LXW_NO_ERROR;
    for (int i = 0; ok && i < table.count; ++i) {
        const QStringList row = table.row(i);
        const auto line = static_cast<lxw_row_t>(i + 1);
        for (int column = 0; ok && column < columns && column < row.size(); ++column) {
            const QString& cell = row[column];
            const auto col = static_cast<lxw_col_t>(column);
            if (cell.isEmpty())
                continue;
            lxw_error written = LXW_NO_ERROR;
            const std::optional<QDate> date = IsDateColumn(column) ? CellDate(cell) : std::optional<QDate>();
            // The format counts days from 1900; earlier dates stay text.
            if (date && date->year() >= 1900) {
                lxw_datetime value{date->year(), date->month(), date->day(), 0, 0, 0.0};
                written = worksheet_write_datetime(sheet, line, col, &value, dateFormat);
            } else {
                written = worksheet_write_string(sheet, line, col, CellBytes(cell).constData(), nullptr);
            }
            ok = written == LXW_NO_ERROR;
        }
    }
    // Closing writes the file and frees the workbook, also after an error.
    const bool closed = workbook_close(workbook) == LXW_NO_ERROR;
    return ok && closed;
}

} // namespace

int ColumnWidthOf(QStringView text)
{
    int width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        width += IsWide(c) ? 2 : 1;
    }
    return width;
}

std::optional<QString> WriteXlsxFile(const QString& path, const RowSource& rows)
{
    const auto& captions = ColumnCaptions();
    return WriteXlsxSheet(path, SheetSource{QStringList(captions.cbegin(), captions.cend()), rows.count,
                                            [&rows](int i) {
        const auto& fields = rows.at(i).fields;
        return QStringList(fields.cbegin(), fields.cend());
                                            }});
}

std::optional<QString> WriteXlsxSheet(const QString& path, const SheetSource& rows)
{
    if (rows.count >= kMaxRows)
        return QStringLiteral("结果超过 Excel 工作表的行数上限,请导出为 CSV");
    // The library writes to a file name of its own; the finished workbook is then
    // copied over the target in one step, so a failure never leaves half a file.
    QTemporaryFile workbookFile(QDir::tempPath() + QStringLiteral("/whois-export-XXXXXX.xlsx"));
    if (!workbookFile.open())
        return CannotWrite(path);
    workbookFile.close();
    if (!FillWorkbook(QFile::encodeName(workbookFile.fileName()), rows))
        return CannotWrite(path);

    QFile finished(workbookFile.fileName());
    QSaveFile target(path);
    if (!finished.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly))
        return CannotWrite(path);
    while (!finished.atEnd()) {
        const QByteArray chunk = finished.read(1 << 20);
        if (chunk.isEmpty() || target.write(chunk) != chunk.size())
            return CannotWrite(path);
    }
    if (!target.commit())
        return CannotWrite(path);
    return std::nullopt;
}
