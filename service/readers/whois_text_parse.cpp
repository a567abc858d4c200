#include "service/readers/whois_text_parse.h"

#include "service/readers/whois_text_tables.h"
#include "service/readers/whois_text_values.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <utility>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace {

// The reading of one answer: which block the lines belong to, and what was found.
class WhoisReader final {
public:
    explicit WhoisReader(QStringView tld)
        : m_tld(tld)
    {
    }

    void line(const QString& raw);
    WhoisText finish(const QString& text);

private:
    void open(WhoisSection section, qsizetype indent);
    void keyLine(const QString& key, const QString& value, qsizetype indent);
    void valueLine(const QString& value, qsizetype indent);
    void take(WhoisKey meaning, const QString& value);
    void contactValue(const QString& value, bool registrant);
    void endBlock();

    QStringView m_tld;
    WhoisSection m_section = WhoisSection::Domain;
    qsizetype m_sectionIndent = 0;
    bool m_sectionIndented = false;
    bool m_checkIndent = false;
    bool m_blockStart = true;
    bool m_readAny = false;
    int m_sectionLines = 0;
    bool m_afterRegistrar = false; // bare lines after "Registrar" are its contact
    // Contact values of the current object block, whose owner its "nic-hdl:" names.
    QString m_blockHandle, m_blockEmail, m_blockPhone;
    WhoisKey m_lastList = WhoisKey::Unknown;
    WhoisKey m_pending = WhoisKey::Unknown; // "Renewal date:" whose value is on the next line
    qsizetype m_lastListIndent = 0;

    WhoisText m_parsed;
    QString m_holderHandle;
    QString m_registrar, m_registrarName, m_registrarOrg, m_registrarHandle;
    QString m_registrantEmail, m_registrantPhone, m_abuseEmail, m_abusePhone;
    QString m_registrarEmail, m_registrarPhone;
    QStringList m_servers, m_statuses;
    QString m_statusUntil; // the expiry a state gives, when no line gives one
};

void SetOnce(QString& field, const QString& value)
{
    if (field.isEmpty())
        field = value;
}

void WhoisReader::open(WhoisSection section, qsizetype indent)
{
    m_section = section;
    m_sectionIndent = indent;
    m_sectionIndented = false;
    m_checkIndent = true;
    m_sectionLines = 0;
    m_lastList = WhoisKey::Unknown;
    m_afterRegistrar = false;
}

void WhoisReader::endBlock()
{
    // The contact object the domain names as holder, or the domain's own block where
    // the answer names no holder object (.ru, .su).
    const bool holder = m_blockHandle.isEmpty()
                            ? m_holderHandle.isEmpty()
                            : m_blockHandle.compare(m_holderHandle, Qt::CaseInsensitive) == 0;
    if (holder) {
        SetOnce(m_registrantEmail, m_blockEmail);
        SetOnce(m_registrantPhone, m_blockPhone);
    }
    m_blockHandle.clear();
    m_blockEmail.clear();
    m_blockPhone.clear();
}

void WhoisReader::line(const QString& raw)
{
    QString text = raw.trimmed();
    if (text.isEmpty()) {
        // A blank line right under a heading does not end its block.
        if (!m_sectionIndented && m_sectionLines > 0)
            m_section = WhoisSection::Domain;
        endBlock();
        m_blockStart = true;
        m_lastList = WhoisKey::Unknown;
        m_afterRegistrar = false;
        return;
    }
    ++m_sectionLines;
    const qsizetype indent = Indent(raw);
    if (text.startsWith(u'%') || text.startsWith(u'#') || text.startsWith(QStringLiteral(">>>"))) {
        // "% Registrant:" titles a block in some registries' answers.
        while (!text.isEmpty() && (text[0] == u'%' || text[0] == u'#' || text[0] == u' '))
            text.remove(0, 1);
        WhoisSection section;
        if (text.endsWith(u':') && LookupWhoisHeading(NormalKey(text.chopped(1)), section))
            open(section, -1);
        return;
    }
    if (text.startsWith(QStringLiteral("** "))) // "** Registrant:" (.tr)
        text.remove(0, 3);
    if (m_checkIndent) {
        m_sectionIndented = indent > m_sectionIndent;
        m_checkIndent = false;
    } else if (m_sectionIndented && indent <= m_sectionIndent) {
        m_section = WhoisSection::Domain;
        m_sectionIndented = false;
    }
    // "GOOGLE.TK is Active": the state in a sentence.
    static const QRegularExpression kIsActive(u"^\\S+\\.\\S+ is (active)$"_s,
                                              QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch active = kIsActive.match(text); active.hasMatch()) {
        take(WhoisKey::Status, active.captured(1));
        return;
    }
    for (const WhoisPhraseKey* row = WhoisPhraseKeysBegin(); row != WhoisPhraseKeysEnd(); ++row) {
        const QLatin1StringView phrase(row->phrase);
        if (text.startsWith(phrase, Qt::CaseInsensitive)) {
            take(row->key, text.mid(phrase.size()));
            return;
        }
    }
    QString key, value;
    WhoisSection section;
    if (!SplitKey(text, key, value)) {
        // Headings are short; long lines are notices or values.
        if (text.size() <= 48 && LookupWhoisHeading(NormalKey(text), section))
            open(section, indent);
        else
            valueLine(text, indent);
        return;
    }
    if (value.isEmpty() && LookupWhoisHeading(key, section)) {
        open(section, indent);
        return;
    }
    // "ns1.example.ch<TAB>192.0.2.1" under a name-server heading is a server, not a key.
    if (m_section == WhoisSection::NameServers && LookupWhoisKey(m_tld, key) == WhoisKey::Unknown) {
        valueLine(text, indent);
        return;
    }
    keyLine(key, value, indent);
}

void WhoisReader::keyLine(const QString& key, const QString& value, qsizetype indent)
{
    WhoisKey meaning = LookupWhoisKey(m_tld, key);
    // "contact: ID005359" naming the holder's handle opens the holder's object.
    if (meaning == WhoisKey::ContactName && !m_holderHandle.isEmpty() &&
        value.compare(m_holderHandle, Qt::CaseInsensitive) == 0)
        meaning = WhoisKey::ContactHandle;
    // "Name......: ns1.example.tn." under a name-server heading names a server.
    if (m_section == WhoisSection::NameServers && meaning == WhoisKey::ContactName)
        meaning = WhoisKey::NameServer;
    if (m_blockStart) {
        // A later block that opens with the registrar is the registrar's object.
        if (meaning == WhoisKey::Registrar && m_readAny)
            m_section = WhoisSection::Registrar;
        m_blockStart = false;
    }
    m_lastList = WhoisKey::Unknown;
    m_afterRegistrar = false;
    if (meaning == WhoisKey::NameServer || meaning == WhoisKey::Status) {
        m_lastList = meaning;
        m_lastListIndent = indent;
    }
    if (meaning != WhoisKey::Unknown && !value.isEmpty())
        take(meaning, value);
    m_pending = value.isEmpty() && (meaning == WhoisKey::Created || meaning == WhoisKey::Expires)
                    ? meaning
                    : WhoisKey::Unknown;
}

void WhoisReader::take(WhoisKey meaning, const QString& value)
{
    if (meaning == WhoisKey::HolderName || meaning == WhoisKey::HolderHandle ||
        (m_section == WhoisSection::Registrant &&
         (meaning == WhoisKey::ContactName || meaning == WhoisKey::ContactOrg)))
        m_parsed.holderNamed = true;
    switch (m_section) {
    case WhoisSection::Registrant:
        // Flat registrant blocks (.hk) carry the domain's dates too.
        if (!m_sectionIndented && (meaning == WhoisKey::Created || meaning == WhoisKey::Expires))
            break;
        if (meaning == WhoisKey::ContactEmail || meaning == WhoisKey::RegistrantEmail)
            SetOnce(m_registrantEmail, EmailValue(value));
        else if (meaning == WhoisKey::ContactPhone || meaning == WhoisKey::RegistrantPhone)
            SetOnce(m_registrantPhone, PhoneValue(value));
        return;
    case WhoisSection::Registrar:
        // A flat block that opens with "Registrar:" goes on with the domain's own lists.
        if (meaning == WhoisKey::NameServer || meaning == WhoisKey::Status)
            break;
        if (meaning == WhoisKey::Registrar && !value.contains(u' '))
            SetOnce(m_registrarHandle, value); // "Registrar: MARK-0292", named below
        else if (meaning == WhoisKey::Registrar || meaning == WhoisKey::ContactName)
            SetOnce(m_registrarName, UnlessRedacted(value));
        else if (meaning == WhoisKey::ContactOrg)
            SetOnce(m_registrarOrg, UnlessRedacted(value));
        else if (meaning == WhoisKey::ContactEmail || meaning == WhoisKey::AbuseEmail)
            SetOnce(m_registrarEmail, EmailValue(value));
        else if (meaning == WhoisKey::ContactPhone || meaning == WhoisKey::AbusePhone)
            SetOnce(m_registrarPhone, PhoneValue(value));
        return;
    case WhoisSection::OtherContact: return;
    case WhoisSection::Domain:
    case WhoisSection::NameServers:
    case WhoisSection::Statuses: break;
    }
    const bool monthFirst = WritesMonthFirst(m_tld);
    switch (meaning) {
    case WhoisKey::Registrar: SetOnce(m_registrar, UnlessRedacted(value)); break;
    case WhoisKey::RegistrantEmail: SetOnce(m_registrantEmail, EmailValue(value)); break;
    case WhoisKey::RegistrantPhone: SetOnce(m_registrantPhone, PhoneValue(value)); break;
    case WhoisKey::AbuseEmail: SetOnce(m_abuseEmail, EmailValue(value)); break;
    case WhoisKey::AbusePhone: SetOnce(m_abusePhone, PhoneValue(value)); break;
    case WhoisKey::Created: SetOnce(m_parsed.record.created, DateValue(value, monthFirst)); break;
    case WhoisKey::Expires: SetOnce(m_parsed.record.expires, DateValue(value, monthFirst)); break;
    case WhoisKey::NameServer:
        if (const QString host = HostValue(value); !host.isEmpty())
            m_servers.append(host);
        break;
    case WhoisKey::Status: {
        // "OK-UNTIL 20140903121852", "Connected (2010/09/30)": a state and when it ends.
        static const QRegularExpression kUntil(u"^(\\S+?)(?:-until)?\\s+\\(?(\\d[\\d/.-]{7,})\\)?$"_s,
                                               QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch until = kUntil.match(value);
        m_statuses.append(StatusValues(until.hasMatch() ? until.captured(1) : value));
        if (until.hasMatch())
            SetOnce(m_statusUntil, DateValue(until.captured(2), monthFirst));
        break;
    }
    case WhoisKey::Referral:
        if (!value.contains(u' ')) // "NIC .PE" names no server
            SetOnce(m_parsed.referral, value.toLower());
        break;
    case WhoisKey::IanaRefer: SetOnce(m_parsed.ianaRefer, value.toLower()); break;
    case WhoisKey::HolderHandle: SetOnce(m_holderHandle, value); return;
    case WhoisKey::ContactHandle: m_blockHandle = value; return;
    case WhoisKey::ContactEmail: SetOnce(m_blockEmail, EmailValue(value)); return;
    case WhoisKey::ContactPhone: SetOnce(m_blockPhone, PhoneValue(value)); return;
    default: return;
    }
    if (meaning == WhoisKey::Registrar)
        m_afterRegistrar = true;
    m_readAny = true;
}

// A line without a key: a heading's value, or the continuation of a list.
void WhoisReader::valueLine(const QString& value, qsizetype indent)
{
    if (const WhoisKey pending = std::exchange(m_pending, WhoisKey::Unknown); pending != WhoisKey::Unknown) {
        take(pending, value);
        return;
    }
    if (m_lastList != WhoisKey::Unknown && indent > m_lastListIndent) {
        take(m_lastList, value);
        return;
    }
    switch (m_section) {
    case WhoisSection::NameServers: take(WhoisKey::NameServer, value); break;
    case WhoisSection::Statuses: take(WhoisKey::Status, value); break;
    case WhoisSection::Registrar:
        if (m_registrarName.isEmpty() && m_registrarEmail.isEmpty())
            m_registrarName = UnlessRedacted(value);
        contactValue(value, false);
        break;
    case WhoisSection::Registrant:
        // A rule of dashes under the heading names nobody.
        m_parsed.holderNamed = m_parsed.holderNamed || std::any_of(value.cbegin(), value.cend(),
                                                                   [](QChar c) { return c.isLetter(); });
        contactValue(value, true);
        break;
    case WhoisSection::Domain:
        if (m_afterRegistrar)
            contactValue(value, false);
        break;
    case WhoisSection::OtherContact: break;
    }
}

// Contact blocks written as bare lines: name, "Person  mail@example.com", "+1.555...".
void WhoisReader::contactValue(const QString& value, bool registrant)
{
    for (const QString& word : value.split(u' ', Qt::SkipEmptyParts)) {
        if (LooksLikeEmail(word))
            SetOnce(registrant ? m_registrantEmail : m_registrarEmail, word);
    }
    // "+1.5555551234" or "Phone +1 555 555 1234"
    const qsizetype plus = value.indexOf(u'+');
    if (plus >= 0 && plus < 8)
        SetOnce(registrant ? m_registrantPhone : m_registrarPhone, PhoneValue(value.mid(plus)));
}

WhoisText WhoisReader::finish(const QString& text)
{
    endBlock();
    WhoisRecord& record = m_parsed.record;
    // A registrar named by its handle ("FAJN-0002") is better named by its block.
    const bool handleOnly = !m_registrar.contains(u' ');
    record.registrar = !m_registrar.isEmpty() && !(handleOnly && !m_registrarName.isEmpty()) ? m_registrar
                       : !m_registrarName.isEmpty()                                          ? m_registrarName
                       : !m_registrarOrg.isEmpty()                                           ? m_registrarOrg
                                                   : m_registrarHandle;
    record.email = !m_registrantEmail.isEmpty() ? m_registrantEmail
                   : !m_abuseEmail.isEmpty()    ? m_abuseEmail
                                                : m_registrarEmail;
    record.phone = !m_registrantPhone.isEmpty() ? m_registrantPhone
                   : !m_abusePhone.isEmpty()    ? m_abusePhone
                                                : m_registrarPhone;
    SetOnce(record.expires, m_statusUntil);
    m_servers.removeDuplicates();
    m_statuses.removeDuplicates();
    record.nameServers = m_servers.join(u',');
    record.statuses = m_statuses.join(u',');
    // Disclaimers use the same words, so the wording counts only where no data came.
    const bool empty = record.registrar.isEmpty() && record.created.isEmpty() && record.expires.isEmpty() &&
                       record.nameServers.isEmpty();
    m_parsed.rateLimited = empty && SaysRateLimited(text);
    m_parsed.notRegistered = empty && !m_parsed.rateLimited && SaysNotFound(text);
    return m_parsed;
}

} // namespace

QByteArray WhoisLegacyCodePage(const QString& tld)
{
    if (tld == u"cn")
        return QByteArrayLiteral("GBK");
    if (tld == u"hk" || tld == u"tw")
        return QByteArrayLiteral("Big5");
    return {};
}

QString DecodeWhoisAnswer(const QByteArray& bytes, const QByteArray& legacyCodePage)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    if (!legacyCodePage.isEmpty()) {
        QStringDecoder legacy(legacyCodePage.constData(), QStringConverter::Flag::Stateless);
        if (legacy.isValid())
            return legacy.decode(bytes);
    }
    return QString::fromLatin1(bytes);
}

bool ShowsRecord(const WhoisText& text)
{
    const WhoisRecord& r = text.record;
    return !text.notRegistered && !text.rateLimited &&
           (text.holderNamed || !r.registrar.isEmpty() || !r.email.isEmpty() || !r.phone.isEmpty() ||
            !r.created.isEmpty() || !r.expires.isEmpty() || !r.nameServers.isEmpty() ||
            !r.statuses.isEmpty());
}

WhoisText ParseWhoisText(const QString& text, QStringView tld)
{
    WhoisReader reader(tld);
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        reader.line(text.mid(start, end - start));
        start = end + 1;
    }
    return reader.finish(text);
}
