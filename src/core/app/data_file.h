#pragma once

#include <QString>
#include <QStringList>

// Files the programs ship beside themselves (the skin, the bootstrap snapshot) sit next
// to the binary in a build tree and in the shared data folder once installed.

// The folders to look in, in order: the program's own folder, then the installed one.
QStringList DataFolders();

// The first folder's `name` that exists; when none does, the first folder's, so callers
// that treat the file as optional simply find nothing there. The folder and the name
// are joined with one "/" exactly as given.
QString LocateDataFile(const QString& name, const QStringList& folders = DataFolders());
