#pragma once

#include <QObject>
#include <QString>

class Platform;
class ResultTable;
class StatusBar;
class QWidget;

enum class ExportFormat { Csv, Xlsx };

// Where and how a save dialog's answer is written: a name ending in .csv or .xlsx
// (any case) keeps its format; any other name gets the chosen filter's format and
// suffix (filter 0 is CSV, 1 is Excel).
struct ExportTarget {
    QString path;
    ExportFormat format;
};
ExportTarget ResolveExportTarget(const QString& chosenPath, int filterIndex);

// 导出…: asks where to save the table, writes it as CSV or Excel in the order shown,
// and reports the outcome (status panel 2 on success, a box on failure).
class ResultExport final : public QObject {
    Q_OBJECT
public:
    ResultExport(ResultTable& table, StatusBar& status, Platform& platform, QString startFolder,
                 QWidget* window);

    void exportTable();

private:
    ResultTable& m_table;
    StatusBar& m_status;
    Platform& m_platform;
    QString m_folder;
    QWidget* m_window;
};
