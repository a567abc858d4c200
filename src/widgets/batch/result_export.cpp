#include "widgets/batch/result_export.h"

#include "core/batch/export_files.h"
#include "widgets/batch/result_table.h"
#include "widgets/platform/platform.h"
#include "widgets/controls/status_bar.h"

#include <QDir>
#include <QFileInfo>

ExportTarget ResolveExportTarget(const QString& chosenPath, int filterIndex)
{
    if (chosenPath.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
        return {chosenPath, ExportFormat::Xlsx};
    if (chosenPath.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        return {chosenPath, ExportFormat::Csv};
    if (filterIndex == 1)
        return {chosenPath + QStringLiteral(".xlsx"), ExportFormat::Xlsx};
    return {chosenPath + QStringLiteral(".csv"), ExportFormat::Csv};
}

ResultExport::ResultExport(ResultTable& table, StatusBar& status, Platform& platform, QString startFolder,
                           QWidget* window)
    : QObject(window)
    , m_table(table)
    , m_status(status)
    , m_platform(platform)
    , m_folder(std::move(startFolder))
    , m_window(window)
{
}

void ResultExport::exportTable()
{
    if (m_table.rowCount() == 0) {
        m_status.showMessage(QStringLiteral("没有可导出的查询结果"));
        return;
    }
    const std::optional<Platform::SaveChoice> choice = m_platform.chooseFileToSave(
        m_window, QStringLiteral("导出查询结果"),
        {QStringLiteral("CSV 文件|*.csv"), QStringLiteral("Excel 工作簿|*.xlsx")},
        QDir(QDir(m_folder).exists() ? m_folder : QDir::homePath()).filePath(QStringLiteral("查询结果.csv")));
    if (!choice || choice->path.isEmpty())
        return;
    const ExportTarget target = ResolveExportTarget(choice->path, choice->filterIndex);
    m_folder = QFileInfo(target.path).absolutePath();

    // Rows that arrive while the dialog was open are written too: the table is read
    // now, in one go, with no events in between.
    const RowSource rows = m_table.rows();
    const std::optional<QString> failure = target.format == ExportFormat::Xlsx
                                               ? WriteXlsxFile(target.path, rows)
                                               : WriteCsvFile(target.path, rows);
    if (failure) {
        m_platform.showInformation(m_window, QStringLiteral("提示"), QStringLiteral("导出失败:") + *failure);
        return;
    }
    m_status.showMessage(QStringLiteral("导出成功!共%1条结果,已保存到 %2")
                             .arg(rows.count)
                             .arg(QDir::toNativeSeparators(target.path)));
}
