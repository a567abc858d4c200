#pragma once

#include <QString>

#include <optional>

// A domain name as the service looks it up: its A-label (ASCII) form for upstream
// servers, its Unicode form for the reply, and its top-level domain.
struct DomainName {
    QString ace;     // "xn--fiq228c.com"
    QString unicode; // "中文.com"
    QString tld;     // "com"

    // Nothing for a name that is not a syntactically valid registrable domain name:
    // at most 253 characters, at least two labels, each 1-63 letters, digits or
    // hyphens, no hyphen at either end.
    static std::optional<DomainName> parse(const QString& name);
};
