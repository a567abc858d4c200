#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text of an import file: UTF-8 when it starts with the UTF-8 byte-order mark (which
// is dropped) or is valid UTF-8 throughout, otherwise code page 936.
QString DecodeImportFile(const QByteArray& bytes);

// The lines of a text, each ended by CR LF, a lone CR or a lone LF; the last line
// counts without a terminator, and a final terminator starts no further line.
QStringList SplitLines(QStringView text);

// The lines of the file at the path; none when it cannot be read.
QStringList ReadImportFile(const QString& path);

// One imported name cleaned: every "http://" removed, then one leading "www.".
QString CleanImportedName(QString name);

// What an import leaves of the file's lines: exactly-empty lines dropped, the rest
// cleaned in place and in order (a line that becomes empty here stays).
QStringList CleanImportedLines(QStringList lines);

// The status text after an import of the given number of names.
QString ImportedCountText(qsizetype count);
