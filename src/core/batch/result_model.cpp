#include "core/batch/result_model.h"

#include "core/batch/result_columns.h"

#include <algorithm>
#include <numeric>

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
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
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
    return m_shown.empty() ? position : m_shown[static_cast<std::size_t>(position)];
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
    const int added = rowCount();
    if (m_sortColumn < 0) {
        beginInsertRows({}, added, added);
        m_rows.push_back(std::move(row));
        endInsertRows();
        return;
    }
    // After every row it does not sort before: equal rows stay in lookup order.
    const CellKey key = MakeCellKey(m_sortColumn, row.fields[m_sortColumn]);
    const auto at = std::upper_bound(m_shown.begin(), m_shown.end(), key,
                                     [this](const CellKey& newKey, int shown) {
                                         const CellKey other = MakeCellKey(
                                             m_sortColumn, m_rows[static_cast<std::size_t>(shown)]
                                                               .fields[m_sortColumn]);
                                         return Before(m_sortOrder, newKey, other);
                                     });
    const int position = static_cast<int>(at - m_shown.begin());
    beginInsertRows({}, position, position);
    m_rows.push_back(std::move(row));
    m_shown.insert(at, added);
    endInsertRows();
}

void ResultModel::sort(int column, Qt::SortOrder order)
{
    if (column >= ResultRow::kFieldCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList kept = persistentIndexList();
    std::vector<int> keptRows;
    keptRows.reserve(static_cast<std::size_t>(kept.size()));
    for (const QModelIndex& index : kept)
        keptRows.push_back(lookupIndex(index.row()));

    m_sortColumn = column < 0 ? -1 : column;
    m_sortOrder = order;
    const auto count = m_rows.size();
    if (m_sortColumn < 0) {
        m_shown.clear();
        m_shown.shrink_to_fit();
    } else {
        // Each cell's key once, rather than once per comparison.
        std::vector<CellKey> keys;
        keys.reserve(count);
        for (const ResultRow& row : m_rows)
            keys.push_back(MakeCellKey(column, row.fields[column]));
        m_shown.resize(count);
        std::iota(m_shown.begin(), m_shown.end(), 0);
        std::stable_sort(m_shown.begin(), m_shown.end(), [&](int a, int b) {
            return Before(order, keys[static_cast<std::size_t>(a)], keys[static_cast<std::size_t>(b)]);
        });
    }

    if (!kept.isEmpty()) {
        std::vector<int> positionOf(count);
        for (std::size_t position = 0; position < count; ++position)
            positionOf[static_cast<std::size_t>(lookupIndex(static_cast<int>(position)))] =
                static_cast<int>(position);
        QModelIndexList moved;
        moved.reserve(kept.size());
        for (qsizetype i = 0; i < kept.size(); ++i)
            moved.append(index(positionOf[static_cast<std::size_t>(keptRows[i])], kept[i].column()));
        changePersistentIndexList(kept, moved);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
