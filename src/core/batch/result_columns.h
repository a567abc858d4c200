#pragma once

#include "core/batch/lookup_reply.h"

#include <QDate>
#include <QString>

#include <array>
#include <optional>

// The result table's nine column captions, left to right.
const std::array<QString, ResultRow::kFieldCount>& ColumnCaptions();

// The registration and expiry columns hold dates.
bool IsDateColumn(int column);

// A date cell as a date: "2001-02-03", optionally followed by a time ("T..." or
// " 12:00:00"); nothing for any other text.
std::optional<QDate> CellDate(QStringView text);

// What a cell is ordered by: its date in a date column, otherwise its text.
struct CellKey {
    std::optional<qint64> day;
    QString text;
};
CellKey MakeCellKey(int column, const QString& cell);

// Dates as dates, before cells that are not dates; everything else as text, ignoring
// case. Negative, zero or positive.
int CompareKeys(const CellKey& a, const CellKey& b);
int CompareCells(int column, const QString& a, const QString& b);
