#include "service/readers/whois_text_tables.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <iterator>

using namespace Qt::Literals::StringLiterals;

namespace {

struct KeyRow {
    const char* key; // UTF-8, lower case, single spaces, no trailing dots
    WhoisKey meaning;
};

// The wording registries use for each field, common to all of them.
constexpr KeyRow kKeys[] = {
    {"registrar", WhoisKey::Registrar},
    {"sponsoring registrar", WhoisKey::Registrar},
    {"registrar name", WhoisKey::Registrar},
    {"sponsoring registrar organization", WhoisKey::Registrar},
    {"registration service provider", WhoisKey::Registrar},
    {"authorized agency", WhoisKey::Registrar},
    {"current registrar", WhoisKey::Registrar},
    {"current registar", WhoisKey::Registrar}, // sic, as .kz writes it
    {"registrar-name", WhoisKey::Registrar},
    {"registrar_name", WhoisKey::Registrar},
    {"registrar handle", WhoisKey::Registrar}, // .no names no registrar otherwise

    {"registrant email", WhoisKey::RegistrantEmail},
    {"registrant e-mail", WhoisKey::RegistrantEmail},
    {"registrant contact email", WhoisKey::RegistrantEmail},
    {"registrant email address", WhoisKey::RegistrantEmail},
    {"owner-email", WhoisKey::RegistrantEmail},
    {"owner email", WhoisKey::RegistrantEmail},
    {"holder email", WhoisKey::RegistrantEmail},
    {"registrant_contact_email", WhoisKey::RegistrantEmail},
    {"registrant phone", WhoisKey::RegistrantPhone},
    {"registrant_contact_phone", WhoisKey::RegistrantPhone},
    {"registrant phone number", WhoisKey::RegistrantPhone},
    {"registrant contact phone", WhoisKey::RegistrantPhone},
    {"registrant telephone", WhoisKey::RegistrantPhone},
    {"owner-phone", WhoisKey::RegistrantPhone},
    {"owner phone", WhoisKey::RegistrantPhone},
    {"registrar abuse contact email", WhoisKey::AbuseEmail},
    {"registrar abuse email", WhoisKey::AbuseEmail},
    {"abuse-email", WhoisKey::AbuseEmail},
    {"registrar_email", WhoisKey::AbuseEmail},
    {"registrar_phone", WhoisKey::AbusePhone},
    {"registrar abuse contact phone", WhoisKey::AbusePhone},
    {"registrar abuse phone", WhoisKey::AbusePhone},

    {"creation date", WhoisKey::Created},
    {"created", WhoisKey::Created},
    {"created on", WhoisKey::Created},
    {"created date", WhoisKey::Created},
    {"create date", WhoisKey::Created},
    {"created at", WhoisKey::Created},
    {"registration time", WhoisKey::Created},
    {"registration date", WhoisKey::Created},
    {"registered", WhoisKey::Created},
    {"registered on", WhoisKey::Created},
    {"registered date", WhoisKey::Created},
    {"domain created", WhoisKey::Created},
    {"domain registration date", WhoisKey::Created},
    {"domain name commencement date", WhoisKey::Created},
    {"commencement date", WhoisKey::Created},
    {"activation", WhoisKey::Created},
    {"domain record activated", WhoisKey::Created},
    {"record created", WhoisKey::Created},
    {"domain registered", WhoisKey::Created},
    {"first registration date", WhoisKey::Created},
    {"activated on", WhoisKey::Created}, // .bg
    {"domain create date", WhoisKey::Created},
    {"domain creation date", WhoisKey::Created},
    {"date registered", WhoisKey::Created},
    {"date_approved", WhoisKey::Created},
    {"domain_dateregistered", WhoisKey::Created},
    {"entry created", WhoisKey::Created},
    {"fecha de creacion", WhoisKey::Created},
    {"fecha de registro", WhoisKey::Created},
    {"登録年月日", WhoisKey::Created},
    {"registry expiry date", WhoisKey::Expires},
    {"registrar registration expiration date", WhoisKey::Expires},
    {"registry expiration date", WhoisKey::Expires},
    {"expiration time", WhoisKey::Expires},
    {"expiration date", WhoisKey::Expires},
    {"expiration", WhoisKey::Expires},
    {"exp date", WhoisKey::Expires},
    {"expiry date", WhoisKey::Expires},
    {"expiry", WhoisKey::Expires},
    {"expire date", WhoisKey::Expires},
    {"expire", WhoisKey::Expires},
    {"expires", WhoisKey::Expires},
    {"expires on", WhoisKey::Expires},
    {"expires at", WhoisKey::Expires},
    {"domain expires", WhoisKey::Expires},
    {"domain expiration date", WhoisKey::Expires},
    {"paid-till", WhoisKey::Expires},
    {"renewal date", WhoisKey::Expires},
    {"valid until", WhoisKey::Expires},
    {"fecha de vencimiento", WhoisKey::Expires},
    {"有効期限", WhoisKey::Expires},
    {"expire-date", WhoisKey::Expires},
    {"record will expire on", WhoisKey::Expires},
    {"expired", WhoisKey::Expires},
    {"record expired", WhoisKey::Expires},
    {"domain currently expires", WhoisKey::Expires},
    {"valid-date", WhoisKey::Expires},
    {"date_renewal", WhoisKey::Expires},
    {"domain_datebilleduntil", WhoisKey::Expires},

    {"name server", WhoisKey::NameServer},
    {"name servers", WhoisKey::NameServer},
    {"nameserver", WhoisKey::NameServer},
    {"nameservers", WhoisKey::NameServer},
    {"name-server", WhoisKey::NameServer},
    {"nserver", WhoisKey::NameServer},
    {"dns", WhoisKey::NameServer},
    {"hostname", WhoisKey::NameServer},
    {"host name", WhoisKey::NameServer},
    {"primary server", WhoisKey::NameServer},
    {"ns_name", WhoisKey::NameServer}, // "ns_name_01"
    {"secondary server", WhoisKey::NameServer},
    {"primary server hostname", WhoisKey::NameServer},
    {"secondary server hostname", WhoisKey::NameServer},
    {"third server hostname", WhoisKey::NameServer},
    {"fourth server hostname", WhoisKey::NameServer},
    {"fifth server hostname", WhoisKey::NameServer},
    {"ns", WhoisKey::NameServer}, // "NS 1   : ns1.example.com"
    {"dns_name", WhoisKey::NameServer},
    {"domain server", WhoisKey::NameServer}, // "Domain server 1 : ns1.example.nc"
    {"ns1_hostname", WhoisKey::NameServer},
    {"ns2_hostname", WhoisKey::NameServer},
    {"ns3_hostname", WhoisKey::NameServer},
    {"ns4_hostname", WhoisKey::NameServer},
    {"primary ns", WhoisKey::NameServer},
    {"secondary ns", WhoisKey::NameServer},
    {"dnssec", WhoisKey::Ignore}, // under a name-server heading, no server
    {"domain status", WhoisKey::Status},
    {"domain status code", WhoisKey::Status},
    {"status", WhoisKey::Status},
    {"state", WhoisKey::Status},
    {"query_status", WhoisKey::Status},
    {"epp status", WhoisKey::Status},
    {"registration status", WhoisKey::Status},
    {"estatus del dominio", WhoisKey::Status},
    {"registrar whois server", WhoisKey::Referral},
    {"whois server", WhoisKey::Referral},
    {"registry whois server", WhoisKey::Referral},
    {"whois", WhoisKey::Referral},
    {"refer", WhoisKey::IanaRefer},

    {"holder-c", WhoisKey::HolderHandle},
    {"registrant", WhoisKey::HolderHandle},
    {"registrant-c", WhoisKey::HolderHandle},
    {"owner-c", WhoisKey::HolderHandle},
    {"registrant name", WhoisKey::HolderName},
    {"registrant organization", WhoisKey::HolderName},
    {"registrant organisation", WhoisKey::HolderName},
    {"nic-hdl", WhoisKey::ContactHandle},
    {"nic handle", WhoisKey::ContactHandle},
    {"nic-hdl-br", WhoisKey::ContactHandle},
    {"name", WhoisKey::ContactName},
    {"contact", WhoisKey::ContactName},
    {"person", WhoisKey::ContactName},
    {"organization", WhoisKey::ContactOrg},
    {"organisation", WhoisKey::ContactOrg},
    {"org", WhoisKey::ContactOrg},
    {"email", WhoisKey::ContactEmail},
    {"e-mail", WhoisKey::ContactEmail},
    {"e-mail address", WhoisKey::ContactEmail},
    {"email address", WhoisKey::ContactEmail},
    {"phone", WhoisKey::ContactPhone},
    {"phone number", WhoisKey::ContactPhone},
    {"tel", WhoisKey::ContactPhone},
    {"telephone", WhoisKey::ContactPhone},
};

struct TldKeyRow {
    const char* tld;
    const char* key;
    WhoisKey meaning;
};

// Where one registry's word means something else than elsewhere.
constexpr TldKeyRow kTldKeys[] = {
    {"dk", "dns", WhoisKey::Ignore}, // the domain's own name, not a server
    {"dk", "registrar", WhoisKey::Registrar},
    {"am", "reserved name", WhoisKey::Status}, // "Reserved name: Reserved brand name"
    {"be", "flags", WhoisKey::Status},
    {"ie", "account name", WhoisKey::Registrar},
    {"ie", "registration", WhoisKey::Created},
    {"ie", "renewal", WhoisKey::Expires},
    {"ie", "ren-status", WhoisKey::Status},
    {"il", "validity", WhoisKey::Expires},
};

struct HeadingRow {
    const char* heading; // lower case, without the colon or a trailing "(...)"
    WhoisSection section;
};

constexpr HeadingRow kHeadings[] = {
    {"registrant", WhoisSection::Registrant},
    {"holder", WhoisSection::Registrant},
    {"domain holder", WhoisSection::Registrant},
    {"domain owner", WhoisSection::Registrant},
    {"owner", WhoisSection::Registrant},
    {"owner contact", WhoisSection::Registrant},
    {"registrant contact", WhoisSection::Registrant},
    {"registrant contact information", WhoisSection::Registrant},
    {"registrant information", WhoisSection::Registrant},
    {"contact information", WhoisSection::Registrant}, // .jp: the registrant's contact
    {"organization using domain name", WhoisSection::Registrant},
    {"organisation", WhoisSection::Registrant}, // .tk: the holder
    {"titular", WhoisSection::Registrant},
    {"registrar", WhoisSection::Registrar},
    {"sponsoring registrar", WhoisSection::Registrar},
    {"registrar information", WhoisSection::Registrar},
    {"administrative contact", WhoisSection::OtherContact},
    {"administrative contacts", WhoisSection::OtherContact},
    {"admin contact", WhoisSection::OtherContact},
    {"admin contacts", WhoisSection::OtherContact},
    {"admin", WhoisSection::OtherContact},
    {"technical contact", WhoisSection::OtherContact},
    {"technical contacts", WhoisSection::OtherContact},
    {"technical", WhoisSection::OtherContact},
    {"tech contact", WhoisSection::OtherContact},
    {"tech", WhoisSection::OtherContact},
    {"billing contact", WhoisSection::OtherContact},
    {"billing", WhoisSection::OtherContact},
    {"zone contact", WhoisSection::OtherContact},
    {"contacto administrativo", WhoisSection::OtherContact},
    {"contacto tecnico", WhoisSection::OtherContact},
    {"contacto de cobranza", WhoisSection::OtherContact},
    {"administrative contact/agent", WhoisSection::OtherContact},
    {"technical contact/agent", WhoisSection::OtherContact},
    {"nameservers", WhoisSection::NameServers},
    {"name servers", WhoisSection::NameServers},
    {"name server", WhoisSection::NameServers},
    {"name servers information", WhoisSection::NameServers},
    {"name server information", WhoisSection::NameServers},
    {"current nameservers", WhoisSection::NameServers},
    {"domain name servers listed in order", WhoisSection::NameServers},
    {"servers", WhoisSection::NameServers},
    {"servidores de nombre", WhoisSection::NameServers},
    {"name_servers", WhoisSection::NameServers},
    {"domain nameservers", WhoisSection::NameServers},
    {"nameserver in listed order", WhoisSection::NameServers},
    {"domain servers in listed order", WhoisSection::NameServers},
    {"name servers in the listed order", WhoisSection::NameServers},
    {"domain name servers", WhoisSection::NameServers},
    {"domain servers", WhoisSection::NameServers},
    {"dns servers", WhoisSection::NameServers},
    {"nserver", WhoisSection::NameServers},
    {"domain details", WhoisSection::Domain}, // .im: after the contacts
    {"domain status", WhoisSection::Statuses},
    {"status", WhoisSection::Statuses},
    {"registration status", WhoisSection::Statuses},
};

constexpr WhoisPhraseKey kPhraseKeys[] = {
    {"record created on ", WhoisKey::Created},
    {"registered on ", WhoisKey::Created}, // .gg: "Registered on 30th April 2003 at ..."
    {"record expires on ", WhoisKey::Expires},
};

// Wording (regular expressions, matched without case) by which registries say a
// name is free.
constexpr const char* kNotFound[] = {
    "no match",
    "not found",
    "no matching record",
    "no data found",
    "no entries found",
    "no objects? found",
    "object_not_found",
    "object does not exist",
    "has not been registered",
    "is not registered",
    "is free\\b",
    "status:\\s*(free|available|not registered)\\s*$",
    "^\\s*available\\s*$",
    "^\\S+\\.\\S+ is available\\.?\\s*$",
    "^domain \\S+ not regist(e)?red",
    "is not a registered",
    "no se encuentra registrado",
    ": no existe\\s*$",
    "does not exist in database",
    "nothing found",
    "no data was found",
    "no information available on the domain",
    "no such domain",
    "no records (found|matching)",
    "no results were found",
    "no domain records were found",
    "not available in our whois database",
    "is available for purchase",
    "could not find the requested domain",
    "nothing found for this query",
    "no information available about domain name",
    "is available for registration",
    "^no found",
    "we do not have an entry in our database",
    "data not found",
    "220 available",
    "domain name not known",
    "but this server does not have",
    "second level domain name is reserved",
    "not available for second level registration",
    "nincs talalat",
};

// Wording by which registries refuse for too many queries.
constexpr const char* kRateLimited[] = {
    "limit exceeded",
    "quota exceeded",
    "exceeded your quota",
    "quota .* has been exceeded",
    "too many requests",
    "access control limit reached",
    "request per second allowed",
    "please go away for",
    "maximum queries per",
    "excessive querying,", // not the notices' "for excessive querying of ..."
    "maintain at least \\d+-second time",
    "still in grace period",
    "440 request denied",
};

QRegularExpression AnyOf(const char* const* begin, const char* const* end)
{
    QStringList parts;
    for (const char* const* phrase = begin; phrase != end; ++phrase)
        parts.append(QLatin1StringView(*phrase));
    QRegularExpression pattern(u"(?:"_s + parts.join(u")|(?:"_s) + u')',
                               QRegularExpression::CaseInsensitiveOption |
                                   QRegularExpression::MultilineOption);
    pattern.optimize();
    return pattern;
}

// A registry's own rows are keyed "tld|key".
template <typename Row>
QHash<QString, WhoisKey> KeyIndex(const Row* begin, const Row* end)
{
    QHash<QString, WhoisKey> index;
    for (const Row* row = begin; row != end; ++row) {
        if constexpr (requires { row->tld; })
            index.insert(QLatin1StringView(row->tld) + u'|' + QString::fromUtf8(row->key), row->meaning);
        else
            index.insert(QString::fromUtf8(row->key), row->meaning);
    }
    return index;
}

} // namespace

WhoisKey LookupWhoisKey(QStringView tld, const QString& key)
{
    static const QHash<QString, WhoisKey> common = KeyIndex(std::begin(kKeys), std::end(kKeys));
    static const QHash<QString, WhoisKey> byTld = KeyIndex(std::begin(kTldKeys), std::end(kTldKeys));
    static const QSet<QString> tlds = [] {
        QSet<QString> names;
        for (const TldKeyRow& row : kTldKeys)
            names.insert(QLatin1StringView(row.tld));
        return names;
    }();
    if (!tld.isEmpty() && tlds.contains(tld.toString())) {
        const auto own = byTld.constFind(tld.toString() + u'|' + key);
        if (own != byTld.cend())
            return *own;
    }
    return common.value(key, WhoisKey::Unknown);
}

bool LookupWhoisHeading(const QString& heading, WhoisSection& section)
{
    static const QHash<QString, WhoisSection> index = [] {
        QHash<QString, WhoisSection> rows;
        for (const HeadingRow& row : kHeadings)
            rows.insert(QLatin1StringView(row.heading), row.section);
        return rows;
    }();
    const auto found = index.constFind(heading);
    if (found == index.cend())
        return false;
    section = *found;
    return true;
}

const WhoisPhraseKey* WhoisPhraseKeysBegin()
{
    return std::begin(kPhraseKeys);
}
const WhoisPhraseKey* WhoisPhraseKeysEnd()
{
    return std::end(kPhraseKeys);
}

bool SaysNotFound(const QString& answer)
{
    static const QRegularExpression pattern = AnyOf(std::begin(kNotFound), std::end(kNotFound));
    return pattern.match(answer).hasMatch();
}

bool SaysRateLimited(const QString& answer)
{
    static const QRegularExpression pattern = AnyOf(std::begin(kRateLimited), std::end(kRateLimited));
    return pattern.match(answer).hasMatch();
}

bool WritesMonthFirst(QStringView tld)
{
    // One registry operator serves these and writes 12/18/2001.
    return tld == u"tk" || tld == u"gq" || tld == u"ml" || tld == u"ga" || tld == u"cf";
}
