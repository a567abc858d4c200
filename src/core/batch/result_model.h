#pragma once

#include "core/batch/lookup_reply.h"

#include <QAbstractTableModel>

#include <vector>

// The result rows in lookup order, shown either in that order or sorted by one
// column (empty cells last in either direction). A sort is stable: rows that compare equal keep their lookup order, and a
// row that arrives while sorted is inserted where the sort puts it.
class ResultModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A column below 0 returns to lookup order.
    void sort(int column, Qt::SortOrder order) override;

    void clear();
    void append(ResultRow row);
    // The row shown at the position.
    const ResultRow& row(int position) const;

private:
    int lookupIndex(int position) const;

    std::vector<ResultRow> m_rows;
    // Lookup index of the row at each position; empty while in lookup order.
    std::vector<int> m_shown;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
