#pragma once

#include "core/batch/lookup_reply.h"
#include "support/test_files.h"

#include <QStringList>

#include <variant>

// What the service tests share: their captured answers and a lookup outcome as one
// comparable line.
inline QByteArray Fixture(const char* name)
{
    return ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/") + QString::fromLatin1(name));
}

inline QString Row(const LookupOutcome& outcome)
{
    if (const auto* row = std::get_if<ResultRow>(&outcome))
        return QStringList(row->fields.begin(), row->fields.end()).join(u'|');
    if (const auto* refused = std::get_if<LookupRefused>(&outcome))
        return QStringLiteral("refused: ") + refused->message;
    return QStringLiteral("unreadable");
}
