#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

// What an earlier run left in its output file: the names that have a final record
// (as NameKey gives them), and where the last whole record ends. A run killed while
// writing leaves a torn last line, which is cut off before new records are appended.
struct ResumeState {
    QSet<QString> done;
    qint64 wholeBytes = 0;
    QString problem; // why the file is no output of this program; empty when it is
};

ResumeState ReadJsonLinesOutput(const QByteArray& bytes);
ResumeState ReadCsvOutput(const QByteArray& bytes);
