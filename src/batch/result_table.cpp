#include "batch/result_table.h"

#include <QAbstractTableModel>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include <vector>

class ResultModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : ResultRow::kFieldCount;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || role != Qt::DisplayRole)
            return {};
        return m_rows[static_cast<std::size_t>(index.row())].fields[index.column()];
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const std::array<QString, ResultRow::kFieldCount> kHeaders{
            QStringLiteral("域名"),     QStringLiteral("注册商"),   QStringLiteral("邮件"),
            QStringLiteral("电话"),     QStringLiteral("注册时间"), QStringLiteral("到期时间"),
            QStringLiteral("服务器"),   QStringLiteral("DNS"),      QStringLiteral("状态")};
        if (orientation != Qt::Horizontal || section < 0 || section >= ResultRow::kFieldCount)
            return {};
        if (role == Qt::DisplayRole)
            return kHeaders[section];
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }

    void clear()
    {
        beginResetModel();
        m_rows.clear();
        m_rows.shrink_to_fit();
        endResetModel();
    }

    void append(ResultRow row)
    {
        const int at = rowCount();
        beginInsertRows({}, at, at);
        m_rows.push_back(std::move(row));
        endInsertRows();
    }

    const ResultRow& row(int index) const { return m_rows[static_cast<std::size_t>(index)]; }

private:
    std::vector<ResultRow> m_rows;
};

namespace {

// Draws a cell as one line of plain text, elided at the right: the result table
// repaints all visible cells whenever a row arrives, and the general-purpose delegate
// lays every cell out as rich text, which made each repaint cost milliseconds.
class PlainTextDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        if (selected)
            painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
        const QString text = index.data(Qt::DisplayRole).toString();
        if (text.isEmpty())
            return;
        const QRect box = option.rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
        const QString shown = option.fontMetrics.elidedText(text, Qt::ElideRight, box.width());
        painter->save();
        painter->setFont(option.font);
        painter->setPen(option.palette.color(
            group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        painter->restore();
    }

private:
    static constexpr int kTextMargin = 3;
};

// Column widths in twips; pixels are rounded at the columns' edges so that the sum
// stays exact (13500 twips = 900 pixels at 96 dpi).
constexpr std::array<int, ResultRow::kFieldCount> kColumnTwips{2000, 2500, 2000, 2000, 1000,
                                                               1000, 1000, 1000, 1000};
constexpr int kTwipsPerPixel = 15;

} // namespace

ResultTable::ResultTable(QWidget* parent)
    : QTableView(parent)
    , m_model(new ResultModel(this))
{
    setModel(m_model);
    setItemDelegate(new PlainTextDelegate(this));
    // A report view: rows without a row header or grid, selected whole.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    int edgeTwips = 0;
    int edgePixels = 0;
    for (int column = 0; column < ResultRow::kFieldCount; ++column) {
        edgeTwips += kColumnTwips[column];
        const int nextEdge = (edgeTwips + kTwipsPerPixel / 2) / kTwipsPerPixel;
        header->resizeSection(column, nextEdge - edgePixels);
        edgePixels = nextEdge;
    }
}

void ResultTable::clearRows()
{
    m_model->clear();
}

void ResultTable::appendRow(ResultRow row)
{
    m_model->append(std::move(row));
}

int ResultTable::rowCount() const
{
    return m_model->rowCount();
}

const ResultRow& ResultTable::row(int index) const
{
    return m_model->row(index);
}

std::optional<ResultRow> ResultTable::selectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.isEmpty())
        return std::nullopt;
    return m_model->row(selected.first().row());
}

void ResultTable::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    // Rows are one line of the table's own font high.
    if (event->type() == QEvent::FontChange)
        verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

void ResultTable::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    emit tableDoubleClicked();
}
