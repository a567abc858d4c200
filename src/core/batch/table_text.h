#pragma once

#include "core/batch/lookup_reply.h"

#include <QString>

#include <functional>
#include <span>

// The rows of the table in the order the user sees them.
struct RowSource {
    int count = 0;
    std::function<const ResultRow&(int)> at;
};

// A cell that a spreadsheet would run as a formula (it starts with =, +, -, @, a tab
// or a carriage return) gets a leading apostrophe, which spreadsheets read as
// "this is text"; any other cell is returned unchanged.
QString NeutralizedCell(const QString& cell);

// One CSV field: neutralized, then quoted when it holds a comma, a quote, CR or LF,
// with inner quotes doubled.
QString CsvField(const QString& cell);

// One CSV record of the fields, ended by CR LF.
QString CsvRecord(std::span<const QString> fields);

// The rows as tab-separated text for the clipboard: a line of the column captions,
// then one line per row, each ended by CR LF. Tabs and line breaks inside a cell
// become spaces so that every cell stays in its column.
QString TabSeparatedText(const RowSource& rows);
