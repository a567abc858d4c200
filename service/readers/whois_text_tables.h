#pragma once

#include <QString>
#include <QStringView>

// What a port-43 key (or heading) means. The rows live in whois_text_tables.cpp:
// adding a registry's wording is a table row there, not code.
enum class WhoisKey {
    Unknown,
    Registrar,
    RegistrantEmail,
    RegistrantPhone,
    AbuseEmail,
    AbusePhone,
    Created,
    Expires,
    NameServer,
    Status,
    Referral,
    IanaRefer,
    HolderHandle, // "holder-c:" names the registrant's contact object
    HolderName,   // "Registrant Name:" on the domain's own lines
    ContactName,  // inside a contact block: whose depends on the block
    ContactOrg,
    ContactEmail,
    ContactPhone,
    ContactHandle, // "nic-hdl:" opens a contact object
    Ignore,        // a key that would otherwise be misread (per registry)
};

// Whose a block of lines under a heading is.
enum class WhoisSection { Domain, Registrant, Registrar, OtherContact, NameServers, Statuses };

// The meaning of a key, lower-cased and with spaces collapsed; a registry's own rows
// (by TLD) win over the common ones.
WhoisKey LookupWhoisKey(QStringView tld, const QString& key);

// The section a heading line opens (a line ending in ":" or a bare known title);
// nothing when the text is not a known heading.
bool LookupWhoisHeading(const QString& heading, WhoisSection& section);

// Keys written without a colon, as a sentence start ("Record created on 2005-10-27").
struct WhoisPhraseKey {
    const char* phrase; // lower case
    WhoisKey key;
};
const WhoisPhraseKey* WhoisPhraseKeysBegin();
const WhoisPhraseKey* WhoisPhraseKeysEnd();

// Whole-answer wording by which registries say a name is free, or that they refused
// for too many queries. Callers weigh it against the data actually read, since
// disclaimers use the same words.
bool SaysNotFound(const QString& answer);
bool SaysRateLimited(const QString& answer);

// TLDs whose registries write numeric dates month first (12/18/2001).
bool WritesMonthFirst(QStringView tld);
