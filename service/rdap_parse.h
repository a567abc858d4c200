#pragma once

#include "whois_record.h"

#include <QByteArray>
#include <QString>

#include <optional>

// An RDAP domain object (RFC 9083) read into the nine fields.
struct RdapDomain {
    WhoisRecord record;
    // The registrar's own RDAP record of the domain ("related" link), for registries
    // whose record carries no contacts.
    QString registrarLink;
    bool hasContacts = false;
};

// Nothing when the body is not an RDAP domain object. The domain field is left for the
// caller; the WHOIS server is the record's port43 member (empty when absent).
std::optional<RdapDomain> ParseRdapDomain(const QByteArray& body);

// Fills what the registry left empty from the registrar's record.
void MergeRegistrarRecord(WhoisRecord& registry, const WhoisRecord& registrar);
