#pragma once

#include "core/batch/lookup_reply.h"
#include "core/batch/row_filter.h"
#include "core/batch/table_text.h"

#include <QTableView>

class QAction;
class QMenu;
class ResultModel;

// The result table: one row per answered lookup, never merged, never edited in
// place. A table view, so that appending stays cheap however many rows there are.
// Rows can be selected several at a time, copied, exported and sorted by a click on
// a column header (a third click on the same header returns to lookup order), and
// filtered by what their status says. Every position and count below is one of the
// rows shown; a row the filter holds back counts only in totalRowCount().
class ResultTable final : public QTableView {
    Q_OBJECT
public:
    explicit ResultTable(QWidget* parent = nullptr);

    void clearRows();
    void appendRow(ResultRow row);
    int rowCount() const;
    int totalRowCount() const;
    const ResultRow& row(int position) const;
    // Every row, in the order shown.
    RowSource rows() const;
    // The selected rows, in the order shown.
    std::vector<int> selectedPositions() const;

    // 复制: the selected rows as tab-separated text with a caption line.
    void copySelection();

    QAction& copyAction() const { return *m_copy; }
    QAction& selectAllAction() const { return *m_selectAll; }
    QAction& exportAction() const { return *m_export; }
    // 排序: the header clicks from the keyboard, one entry per column (ascending, then
    // descending when chosen again) and 按查询顺序 last.
    QMenu& sortMenu();
    // 筛选: one checked entry per filter, 全部 first.
    QMenu& filterMenu();
    void setRowFilter(RowFilter filter);
    RowFilter rowFilter() const;

signals:
    // A double click: the position of the row clicked, or of the current row when the
    // click hit no row; -1 when there is none.
    void tableDoubleClicked(int position);
    // 导出…: the user asks to save the table to a file.
    void exportRequested();
    // Rows came, went or were filtered: rowCount() or totalRowCount() may differ.
    void rowCountsChanged();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void updateGeometries() override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QAction* addTableAction(const QString& text, const QKeySequence& keys, Qt::ShortcutContext context);
    void showMenu(const QPoint& globalPosition);
    void sortFromMenu(int column);

    ResultModel* m_model;
    QAction* m_copy;
    QAction* m_selectAll;
    QAction* m_export;
    QMenu* m_sortMenu = nullptr;
    QMenu* m_filterMenu = nullptr;
};
