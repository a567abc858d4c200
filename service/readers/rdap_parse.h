#pragma once

#include "service/record/whois_record.h"

#include <QByteArray>
#include <QString>

#include <optional>

// An RDAP domain object (RFC 9083) read into the nine fields.
struct RdapDomain {
    WhoisRecord record;
    // The registrar's own RDAP record of the domain ("related" link), to ask when the
    // registry's record has no usable registrant contact.
    QString registrarLink;
    bool hasContacts = false; // a registrant e-mail or phone (not the registrar's abuse contact)
};

// Nothing when the body is not an RDAP domain object. The domain field is left for the
// caller; the WHOIS server is the registrar entity's port43 member, else the record's
// (empty when neither is there).
std::optional<RdapDomain> ParseRdapDomain(const QByteArray& body);

// Fills what the registry left empty from the registrar's record.
void MergeRegistrarRecord(WhoisRecord& registry, const WhoisRecord& registrar);

// Whether an HTTP answer says the client asked too much: 429 always; 403 or 422 when
// the body says so in words (servers that refuse that way do not send 429).
bool IsRdapLimitSignal(int status, const QByteArray& body);
