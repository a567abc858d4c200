#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Reads one member of a zip archive held in memory (stored or deflated), so that tests
// can look inside the workbooks the program writes; nothing when the archive is
// malformed or has no such member.
std::optional<QByteArray> ZipEntry(const QByteArray& archive, const QString& name);
