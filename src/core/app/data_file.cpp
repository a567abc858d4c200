#include "core/app/data_file.h"

#include "build_config.h"

#include <QCoreApplication>
#include <QFileInfo>

QStringList DataFolders()
{
    return {QCoreApplication::applicationDirPath(), QStringLiteral(WHOIS_DATA_DIR)};
}

QString LocateDataFile(const QString& name, const QStringList& folders)
{
    for (const QString& folder : folders) {
        const QString path = folder + u'/' + name;
        if (QFileInfo(path).isFile())
            return path;
    }
    return folders.isEmpty() ? name : folders.first() + u'/' + name;
}
