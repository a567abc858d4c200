#include "widgets/batch/result_table.h"

#include "core/batch/result_columns.h"
#include "core/batch/result_model.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QToolTip>

#include <algorithm>
#include <vector>

namespace {

// Draws a cell as one line of plain text, elided at the right: the result table
// repaints all visible cells whenever a row arrives, and the general-purpose delegate
// lays every cell out as rich text, which made each repaint cost milliseconds. A cell
// cut short shows its whole text as its tooltip.
class PlainTextDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        if (selected)
            painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
        const QString text = index.data(Qt::DisplayRole).toString();
        if (text.isEmpty())
            return;
        painter->save();
        painter->setFont(option.font);
        painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(TextBox(option), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          Shown(option, text));
        painter->restore();
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data(Qt::DisplayRole).toString();
        if (text.isEmpty() || Shown(option, text) == text) {
            QToolTip::hideText();
        } else {
            // Plain text stays on one line unless wider than the screen; a text that
            // looks like markup is escaped, so a registry's answer is never read as it.
            const QString tip =
                Qt::mightBeRichText(text) ? QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped()) : text;
            QToolTip::showText(event->globalPos(), tip, view, option.rect);
        }
        return true;
    }

private:
    static constexpr int kTextMargin = 3;

    static QRect TextBox(const QStyleOptionViewItem& option)
    {
        return option.rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
    }
    static QString Shown(const QStyleOptionViewItem& option, const QString& text)
    {
        return option.fontMetrics.elidedText(text, Qt::ElideRight, TextBox(option).width());
    }
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
    setSelectionMode(QAbstractItemView::ExtendedSelection);
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
    // Header clicks sort ascending, then descending, then back to lookup order; the
    // table starts in lookup order.
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);

    m_copy = addTableAction(QStringLiteral("复制"), QKeySequence::Copy, Qt::WidgetShortcut);
    m_selectAll = addTableAction(QStringLiteral("全选"), QKeySequence::SelectAll, Qt::WidgetShortcut);
    // Saving has one meaning in this window, so Ctrl+S works wherever the focus is.
    m_export =
        addTableAction(QStringLiteral("导出…"), QKeySequence(Qt::CTRL | Qt::Key_S), Qt::WindowShortcut);
    connect(m_copy, &QAction::triggered, this, &ResultTable::copySelection);
    connect(m_selectAll, &QAction::triggered, this, &QAbstractItemView::selectAll);
    connect(m_export, &QAction::triggered, this, &ResultTable::exportRequested);
}

QMenu& ResultTable::sortMenu()
{
    // Made when first shown: a menu is a window of its own, not needed to open this one.
    if (m_sortMenu)
        return *m_sortMenu;
    m_sortMenu = new QMenu(QStringLiteral("排序"), this);
    for (int column = 0; column < ResultRow::kFieldCount; ++column) {
        QAction* action = m_sortMenu->addAction(ColumnCaptions()[column]);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, column] { sortFromMenu(column); });
    }
    m_sortMenu->addSeparator();
    connect(m_sortMenu->addAction(QStringLiteral("按查询顺序")), &QAction::triggered, this,
            [this] { sortFromMenu(-1); });
    return *m_sortMenu;
}

QMenu& ResultTable::filterMenu()
{
    if (m_filterMenu)
        return *m_filterMenu;
    m_filterMenu = new QMenu(QStringLiteral("筛选"), this);
    auto* group = new QActionGroup(m_filterMenu);
    for (int i = 0; i < kRowFilterCount; ++i) {
        QAction* action = m_filterMenu->addAction(FilterCaptions()[static_cast<std::size_t>(i)]);
        action->setCheckable(true);
        action->setChecked(static_cast<int>(rowFilter()) == i);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] { setRowFilter(static_cast<RowFilter>(i)); });
    }
    return *m_filterMenu;
}

void ResultTable::setRowFilter(RowFilter filter)
{
    m_model->setFilter(filter);
    if (m_filterMenu)
        m_filterMenu->actions()[static_cast<int>(filter)]->setChecked(true);
    emit rowCountsChanged();
}

RowFilter ResultTable::rowFilter() const
{
    return m_model->filter();
}

void ResultTable::sortFromMenu(int column)
{
    QHeaderView* header = horizontalHeader();
    const bool ascendingNow = column >= 0 && header->sortIndicatorSection() == column &&
                              header->sortIndicatorOrder() == Qt::AscendingOrder;
    // The header's indicator drives the sort, as a click on the header does.
    header->setSortIndicator(column, ascendingNow ? Qt::DescendingOrder : Qt::AscendingOrder);
}

QAction* ResultTable::addTableAction(const QString& text, const QKeySequence& keys,
                                     Qt::ShortcutContext context)
{
    auto* action = new QAction(text, this);
    action->setShortcut(keys);
    action->setShortcutContext(context);
    addAction(action);
    return action;
}

void ResultTable::clearRows()
{
    m_model->clear();
    emit rowCountsChanged();
}

void ResultTable::appendRow(ResultRow row)
{
    m_model->append(std::move(row));
    emit rowCountsChanged();
}

int ResultTable::rowCount() const
{
    return m_model->rowCount();
}

int ResultTable::totalRowCount() const
{
    return m_model->totalCount();
}

const ResultRow& ResultTable::row(int position) const
{
    return m_model->row(position);
}

RowSource ResultTable::rows() const
{
    return {rowCount(), [model = m_model](int position) -> const ResultRow& { return model->row(position); }};
}

std::vector<int> ResultTable::selectedPositions() const
{
    std::vector<int> positions;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        positions.push_back(index.row());
    std::sort(positions.begin(), positions.end());
    return positions;
}

void ResultTable::copySelection()
{
    const std::vector<int> positions = selectedPositions();
    if (positions.empty())
        return;
    const RowSource selected{static_cast<int>(positions.size()),
                             [this, &positions](int i) -> const ResultRow& {
                                 return row(positions[static_cast<std::size_t>(i)]);
                             }};
    QGuiApplication::clipboard()->setText(TabSeparatedText(selected));
}

void ResultTable::showMenu(const QPoint& globalPosition)
{
    m_copy->setEnabled(selectionModel()->hasSelection());
    m_selectAll->setEnabled(rowCount() > 0);
    m_export->setEnabled(rowCount() > 0);
    QMenu& sorting = sortMenu();
    const QList<QAction*> columns = sorting.actions();
    for (int column = 0; column < ResultRow::kFieldCount; ++column)
        columns[column]->setChecked(horizontalHeader()->sortIndicatorSection() == column);
    QMenu menu(this);
    menu.addAction(m_copy);
    menu.addAction(m_selectAll);
    menu.addSeparator();
    menu.addMenu(&sorting);
    menu.addMenu(&filterMenu());
    menu.addAction(m_export);
    menu.exec(globalPosition);
    // The keys stay live whatever the menu showed; each action checks for itself.
    for (QAction* action : {m_copy, m_selectAll, m_export})
        action->setEnabled(true);
}

void ResultTable::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Mouse) {
        showMenu(event->globalPos());
    } else {
        // From the keyboard: at the current row, or at the table's corner.
        const QRect current = visualRect(currentIndex());
        const QPoint at = current.isValid() ? current.bottomLeft() : QPoint(0, 0);
        showMenu(viewport()->mapToGlobal(at));
    }
    event->accept();
}

void ResultTable::keyPressEvent(QKeyEvent* event)
{
    // Shift+F10 opens the menu as the menu key does.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        contextMenuEvent(&menuEvent);
        return;
    }
    QTableView::keyPressEvent(event);
}

void ResultTable::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    // Rows are one line of the table's own font high, and the captions are in that
    // font too. Once the model is set, the horizontal header misses the first font
    // change that reaches it by inheritance, so it is handed the font.
    if (event->type() == QEvent::FontChange) {
        verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
        horizontalHeader()->setFont(font());
    }
}

void ResultTable::updateGeometries()
{
    // Laying out the header shapes every caption in a bold face. While the table is
    // hidden its font may still change (its window gives it its own after building
    // it), so the layout waits until the table is shown.
    if (isVisible())
        QTableView::updateGeometries();
}

void ResultTable::showEvent(QShowEvent* event)
{
    QTableView::showEvent(event);
    updateGeometries();
}

void ResultTable::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    int position = indexAt(event->position().toPoint()).row();
    if (position < 0 && selectionModel()->isRowSelected(currentIndex().row(), {}))
        position = currentIndex().row();
    emit tableDoubleClicked(position);
}
