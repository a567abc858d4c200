#pragma once

#include "batch/lookup_reply.h"

#include <QTreeView>

#include <optional>

class ResultModel;

// The result table: one row per answered lookup, appended at the end, never merged,
// never edited in place.
class ResultTable final : public QTreeView {
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

private:
    ResultModel* m_model;
};
