#include "whois_text_parse.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include <initializer_list>

namespace {

bool KeyIs(const QString& key, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (key.compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void SetOnce(QString& field, const QString& value)
{
    if (field.isEmpty())
        field = value;
}

} // namespace

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

WhoisText ParseWhoisText(const QString& text)
{
    static const QRegularExpression kNotFound(
        QStringLiteral("^(no match|not found|no matching record|no data found|no entries found|"
                       "domain not found|the domain has not been registered|status:\\s*free|"
                       "object does not exist)"),
        QRegularExpression::CaseInsensitiveOption);

    WhoisText parsed;
    WhoisRecord& record = parsed.record;
    QString registrantEmail, contactEmail, abuseEmail, registrantPhone, abusePhone;
    QStringList servers, statuses;
    bool inNameServerBlock = false;

    for (const QString& rawLine : text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'%') || line.startsWith(u'#') ||
            line.startsWith(QStringLiteral(">>>")))
            continue;
        if (kNotFound.match(line).hasMatch()) {
            parsed.notRegistered = true;
            continue;
        }
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0) {
            // The .hk registry lists name servers on the lines after a heading.
            if (inNameServerBlock && !line.contains(u' '))
                servers.append(line.toLower());
            continue;
        }
        const QString key = line.left(colon).trimmed();
        const QString value = line.mid(colon + 1).trimmed();
        inNameServerBlock = KeyIs(key, {"Name Servers Information", "Name Servers"}) && value.isEmpty();

        if (KeyIs(key, {"Registrar", "Sponsoring Registrar", "Registrar Name"}))
            SetOnce(record.registrar, UnlessRedacted(value));
        else if (KeyIs(key, {"Registrant Email", "Registrant Contact Email", "Registrant E-mail"}))
            SetOnce(registrantEmail, UnlessRedacted(value));
        else if (KeyIs(key, {"Email", "E-mail"}))
            SetOnce(contactEmail, UnlessRedacted(value)); // the .hk registrant block
        else if (KeyIs(key, {"Registrar Abuse Contact Email"}))
            SetOnce(abuseEmail, UnlessRedacted(value));
        else if (KeyIs(key, {"Registrant Phone", "Registrant Contact Phone"}))
            SetOnce(registrantPhone, PlainPhone(value));
        else if (KeyIs(key, {"Registrar Abuse Contact Phone"}))
            SetOnce(abusePhone, PlainPhone(value));
        else if (KeyIs(key, {"Creation Date", "Registration Time", "Created", "Created On",
                             "Domain Name Commencement Date", "Registered On", "created"}))
            SetOnce(record.created, NormalizeDate(value));
        else if (KeyIs(key, {"Registry Expiry Date", "Registrar Registration Expiration Date",
                             "Expiration Time", "Expiry Date", "Expiration Date", "paid-till",
                             "Expires On", "expires"}))
            SetOnce(record.expires, NormalizeDate(value));
        else if (KeyIs(key, {"Name Server", "nserver", "Nameserver", "DNS"}) && !value.isEmpty())
            servers.append(value.section(u' ', 0, 0).toLower());
        else if (KeyIs(key, {"Domain Status", "Status", "Domain Status Code"}) && !value.isEmpty())
            statuses.append(EppStatus(value.section(u' ', 0, 0)));
        else if (KeyIs(key, {"Registrar WHOIS Server", "Whois Server"}))
            SetOnce(parsed.referral, value.toLower());
        else if (KeyIs(key, {"refer"}))
            SetOnce(parsed.ianaRefer, value.toLower());
    }
    record.email = !registrantEmail.isEmpty() ? registrantEmail
                   : !contactEmail.isEmpty()  ? contactEmail
                                              : abuseEmail;
    record.phone = registrantPhone.isEmpty() ? abusePhone : registrantPhone;
    for (QString& server : servers) {
        if (server.endsWith(u'.'))
            server.chop(1);
    }
    servers.removeDuplicates();
    statuses.removeDuplicates();
    record.nameServers = servers.join(u',');
    record.statuses = statuses.join(u',');
    return parsed;
}
