#include "main_window/real_platform.h"

#include <QDesktopServices>
#include <QFileDialog>
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
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
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
                                                      const QString& filter,
                                                      const QString& startFolder)
{
    const QString path =
        QFileDialog::getOpenFileName(parent, title, startFolder, dialogFilter(filter));
    if (path.isEmpty())
        return std::nullopt;
    return path;
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
