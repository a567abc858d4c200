#include "core/batch/result_model.h"

#include "core/batch/result_columns.h"

#include <algorithm>

namespace {

// Empty cells go last in either order, as spreadsheets sort blanks.
bool Before(Qt::SortOrder order, const CellKey& a, const CellKey& b)
{
    if (a.text.isEmpty() != b.text.isEmpty())
        return b.text.isEmpty();
    const int compared = CompareKeys(a, b);
    return order == Qt::AscendingOrder ? compared < 0 : compared > 0;
}

} // namespace

int ResultModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(inLookupOrder() ? m_rows.size() : m_shown.size());
}

int ResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ResultRow::kFieldCount;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return row(index.row()).fields[index.column()];
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ResultRow::kFieldCount)
        return {};
    if (role == Qt::DisplayRole)
        return ColumnCaptions()[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

int ResultModel::lookupIndex(int position) const
{
    return inLookupOrder() ? position : m_shown[static_cast<std::size_t>(position)];
}

const ResultRow& ResultModel::row(int position) const
{
    return m_rows[static_cast<std::size_t>(lookupIndex(position))];
}

void ResultModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_shown.clear();
    m_shown.shrink_to_fit();
    endResetModel();
}

void ResultModel::append(ResultRow row)
{
    const int added = totalCount();
    if (inLookupOrder()) {
        beginInsertRows({}, added, added);
        m_rows.push_back(std::move(row));
        endInsertRows();
        return;
    }
    if (!FilterShows(m_filter, row)) {
        m_rows.push_back(std::move(row));
        return;
    }
    auto at = m_shown.end();
    if (m_sortColumn >= 0) {
        // After every row it does not sort before: equal rows stay in lookup order.
        const CellKey key = MakeCellKey(m_sortColumn, row.fields[m_sortColumn]);
        at = std::upper_bound(m_shown.begin(), m_shown.end(), key, [this](const CellKey& newKey, int shown) {
            const CellKey other =
                MakeCellKey(m_sortColumn, m_rows[static_cast<std::size_t>(shown)].fields[m_sortColumn]);
            return Before(m_sortOrder, newKey, other);
        });
    }
    const int position = static_cast<int>(at - m_shown.begin());
    beginInsertRows({}, position, position);
    m_rows.push_back(std::move(row));
    m_shown.insert(at, added);
    endInsertRows();
}

void ResultModel::arrangeRows()
{
    m_shown.clear();
    if (inLookupOrder()) {
        m_shown.shrink_to_fit();
        return;
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (FilterShows(m_filter, m_rows[i]))
            m_shown.push_back(static_cast<int>(i));
    }
    if (m_sortColumn < 0)
        return;
    // Each cell's key once, rather than once per comparison.
    std::vector<CellKey> keys(m_rows.size());
    for (int shown : m_shown) {
        const auto i = static_cast<std::size_t>(shown);
        keys[i] = MakeCellKey(m_sortColumn, m_rows[i].fields[m_sortColumn]);
    }
    std::stable_sort(m_shown.begin(), m_shown.end(), [&](int a, int b) {
        return Before(m_sortOrder, keys[static_cast<std::size_t>(a)], keys[static_cast<std::size_t>(b)]);
    });
}

template <typename Change>
void ResultModel::rearrange(Change change)
{
    // Rows can come and go with the filter: a persistent index whose row is no longer
    // shown becomes invalid, which drops it from the selection.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList kept = persistentIndexList();
    std::vector<int> keptRows;
    keptRows.reserve(static_cast<std::size_t>(kept.size()));
    for (const QModelIndex& index : kept)
        keptRows.push_back(lookupIndex(index.row()));

    change();
    arrangeRows();

    if (!kept.isEmpty()) {
        std::vector<int> positionOf(m_rows.size(), -1);
        const int shown = rowCount();
        for (int position = 0; position < shown; ++position)
            positionOf[static_cast<std::size_t>(lookupIndex(position))] = position;
        QModelIndexList moved;
        moved.reserve(kept.size());
        for (qsizetype i = 0; i < kept.size(); ++i) {
            const int position = positionOf[static_cast<std::size_t>(keptRows[i])];
            moved.append(position < 0 ? QModelIndex() : index(position, kept[i].column()));
        }
        changePersistentIndexList(kept, moved);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ResultModel::sort(int column, Qt::SortOrder order)
{
    if (column >= ResultRow::kFieldCount)
        return;
    rearrange([&] {
        m_sortColumn = column < 0 ? -1 : column;
        m_sortOrder = order;
    });
}

void ResultModel::setFilter(RowFilter filter)
{
    if (filter != m_filter)
        rearrange([&] { m_filter = filter; });
}
