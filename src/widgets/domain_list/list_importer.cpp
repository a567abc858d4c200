#include "widgets/domain_list/list_importer.h"

#include "core/domain_list/import_text.h"
#include "widgets/domain_list/pending_list.h"
#include "widgets/platform/platform.h"
#include "widgets/controls/status_bar.h"

#include <QFileInfo>

ListImporter::ListImporter(PendingList& list, StatusBar& status, Platform& platform, QString startFolder,
                           QWidget* window)
    : QObject(window)
    , m_list(list)
    , m_status(status)
    , m_platform(platform)
    , m_folder(std::move(startFolder))
    , m_window(window)
{
}

void ListImporter::Command1_Click()
{
    m_platform.showInformation(m_window, QStringLiteral("提示"),
                               QStringLiteral("请按照如下格式：\r\n\r\n域名前不要加http://与www\r\n"
                                              "一行一个域名，例如：example.com"));
    const std::optional<QString> path = m_platform.chooseFileToOpen(
        m_window, QStringLiteral("请选择要加载的文件"), QStringLiteral("文本文件|*.txt"), m_folder);
    if (!path)
        return;
    // The dialog opens next time where this file was found.
    m_folder = QFileInfo(*path).absolutePath();
    importFile(*path);
}

void ListImporter::importFile(const QString& path)
{
    m_list.replaceAll(CleanImportedLines(ReadImportFile(path)));
    if (m_list.count() == 0)
        return;
    m_list.select(m_list.count() - 1);
    m_status.showMessage(ImportedCountText(m_list.count()));
}
