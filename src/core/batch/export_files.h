#pragma once

#include "core/batch/table_text.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Writers of the result table's files. Each replaces the file at the path only once
// the whole file has been written, and returns nothing on success or the reason for
// the failure as a short Chinese text.

// CSV: UTF-8 with a byte-order mark, a header record of the column captions, RFC 4180
// quoting and CR LF line ends.
std::optional<QString> WriteCsvFile(const QString& path, const RowSource& rows);

// Excel workbook: one sheet, a bold and frozen header row with an autofilter, dates as
// date cells and every column as wide as its longest text.
std::optional<QString> WriteXlsxFile(const QString& path, const RowSource& rows);

// The same workbook for a table of any width: a caption per column, and the rows'
// cells in that order (the registration and expiry columns read as dates).
struct SheetSource {
    QStringList captions;
    int count = 0;
    std::function<QStringList(int)> row;
};
std::optional<QString> WriteXlsxSheet(const QString& path, const SheetSource& sheet);

// The width of a text in spreadsheet columns: wide (East Asian) characters count two.
int ColumnWidthOf(QStringView text);
