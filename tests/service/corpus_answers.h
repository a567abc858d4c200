#pragma once

#include "support/test_files.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

// One captured registry answer and what its source project says it contains.
struct CorpusAnswer {
    QString file;
    QString tld;
    QString kind; // "port43" or "rdap"
    QByteArray bytes;
    QJsonObject expect;
};

inline QList<CorpusAnswer> LoadCorpus(const QString& directory)
{
    QList<CorpusAnswer> answers;
    const QJsonArray entries =
        QJsonDocument::fromJson(ReadTestFile(directory + QStringLiteral("/expected.json"))).array();
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const QString file = entry.value(QStringLiteral("file")).toString();
        answers.append({file, entry.value(QStringLiteral("tld")).toString(),
                        entry.value(QStringLiteral("kind")).toString(), ReadTestFile(directory + u'/' + file),
                        entry.value(QStringLiteral("expect")).toObject()});
    }
    return answers;
}
