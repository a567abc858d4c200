#pragma once

#include "core/batch/lookup_reply.h"
#include "core/batch/row_filter.h"

#include <QAbstractTableModel>

#include <vector>

// The result rows in lookup order, shown either in that order or sorted by one
// column (empty cells last in either direction), and all of them or those a filter
// lets through. A sort is stable: rows that compare equal keep their lookup order,
// and a row that arrives while sorted is inserted where the sort puts it. A row the
// filter holds back is kept, counted in totalCount() and shown once the filter lets
// it through. Positions and rowCount() are those of the rows shown.
class ResultModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A column below 0 returns to lookup order.
    void sort(int column, Qt::SortOrder order) override;

    void setFilter(RowFilter filter);
    RowFilter filter() const { return m_filter; }
    // Every row, shown or not.
    int totalCount() const { return static_cast<int>(m_rows.size()); }

    void clear();
    void append(ResultRow row);
    // The row shown at the position.
    const ResultRow& row(int position) const;

private:
    int lookupIndex(int position) const;
    bool inLookupOrder() const { return m_sortColumn < 0 && m_filter == RowFilter::All; }
    // Refills m_shown for the current sort and filter.
    void arrangeRows();
    // Changes the arrangement, keeping persistent indexes (the selection) on their rows.
    template <typename Change>
    void rearrange(Change change);

    std::vector<ResultRow> m_rows;
    // Lookup index of the row at each position; empty while every row is shown in
    // lookup order.
    std::vector<int> m_shown;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    RowFilter m_filter = RowFilter::All;
};
