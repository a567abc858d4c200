#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The bytes of a file the tests ship (certificates, fixtures); a missing one stops
// the test run at once, since every later check would fail for the wrong reason.
inline QByteArray ReadTestFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(path));
    return file.readAll();
}
