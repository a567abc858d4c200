#pragma once

#include <QString>

#include <array>
#include <variant>

// One row of the result table: the domain, then sub-items 1 to 8.
struct ResultRow {
    static constexpr int kFieldCount = 9;
    std::array<QString, kFieldCount> fields;

    friend bool operator==(const ResultRow&, const ResultRow&) = default;
};

// The service refused the lookup; its message is shown to the user.
struct LookupRefused {
    QString message;
};

// The reply could not be read as the service's answer.
struct LookupUnreadable {};

using LookupOutcome = std::variant<ResultRow, LookupRefused, LookupUnreadable>;

// The request URL for a name. The name is percent-encoded as UTF-8 so that no
// character of it can change the request; the token is signed over the name as given.
QString LookupUrl(const QString& serviceUrl, const QString& name);

// What a non-empty reply of the lookup service means.
LookupOutcome MapLookupReply(const QString& reply);

// Panel 2 after a lookup: the selected name, the list's size and what remains after
// the selected index, read when the reply has been processed.
QString LookupDoneText(const QString& selectedName, qsizetype count, qsizetype selectedIndex);

// Panel 2 when a reply could not be read.
QString LookupFailedText(const QString& name);

// The detail box of a row: nine labelled lines joined by CR LF.
QString DetailText(const ResultRow& row);
