#include "widgets/platform/real_platform.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

void RealPlatform::showInformation(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool RealPlatform::askYesNo(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

QString RealPlatform::dialogFilter(const QString& filter)
{
    const qsizetype bar = filter.indexOf(u'|');
    if (bar < 0)
        return filter;
    return filter.left(bar) + QStringLiteral(" (") + filter.mid(bar + 1) + u')';
}

std::optional<QString> RealPlatform::chooseFileToOpen(QWidget* parent, const QString& title,
                                                      const QString& filter, const QString& startFolder)
{
    const QString path = QFileDialog::getOpenFileName(parent, title, startFolder, dialogFilter(filter));
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<Platform::SaveChoice> RealPlatform::chooseFileToSave(QWidget* parent, const QString& title,
                                                                   const QStringList& filters,
                                                                   const QString& suggestedPath)
{
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList nameFilters;
    for (const QString& filter : filters)
        nameFilters.append(dialogFilter(filter));
    dialog.setNameFilters(nameFilters);
    // The suffix follows the chosen filter, so that the dialog's own question before
    // replacing a file is asked about the file that will really be written.
    const auto suffixOf = [&filters](qsizetype index) {
        return filters.value(index).section(QStringLiteral("*."), 1);
    };
    const auto followFilter = [&](const QString& nameFilter) {
        const QString wanted = suffixOf(nameFilters.indexOf(nameFilter));
        dialog.setDefaultSuffix(wanted);
        // A name that carries another filter's suffix takes this one's instead.
        const QFileInfo typed(dialog.selectedFiles().value(0));
        for (qsizetype i = 0; i < filters.size(); ++i) {
            if (!typed.fileName().isEmpty() &&
                typed.suffix().compare(suffixOf(i), Qt::CaseInsensitive) == 0) {
                dialog.selectFile(typed.completeBaseName() + u'.' + wanted);
                break;
            }
        }
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
    const QFileInfo suggested(suggestedPath);
    dialog.setDirectory(suggested.absolutePath());
    dialog.selectFile(suggested.fileName());
    dialog.setDefaultSuffix(suffixOf(0));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return SaveChoice{dialog.selectedFiles().constFirst(),
                      static_cast<int>(nameFilters.indexOf(dialog.selectedNameFilter()))};
}

void RealPlatform::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void RealPlatform::endProcess()
{
    std::fflush(nullptr);
    std::_Exit(EXIT_SUCCESS);
}
