#pragma once

#include "batch/lookup_reply.h"

#include <QTableView>

#include <optional>

class ResultModel;

// The result table: one row per answered lookup, appended at the end, never merged,
// never edited in place. A table view, so that appending stays cheap however many
// rows there are (a tree view lays every row out again on each insertion).
class ResultTable final : public QTableView {
    Q_OBJECT
public:
    explicit ResultTable(QWidget* parent = nullptr);

    void clearRows();
    void appendRow(ResultRow row);
    int rowCount() const;
    const ResultRow& row(int index) const;
    std::optional<ResultRow> selectedRow() const;

signals:
    // A double click anywhere in the table.
    void tableDoubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    ResultModel* m_model;
};
