#include "service/readers/rdap_parse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

namespace {

bool HasRole(const QJsonObject& entity, const QString& role)
{
    for (const QJsonValue& value : entity.value(QStringLiteral("roles")).toArray()) {
        if (value.toString().compare(role, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The first value of a vCard property ("fn", "email", "tel") of a jCard (RFC 7095).
QString VcardValue(const QJsonObject& entity, const QString& property)
{
    const QJsonArray card = entity.value(QStringLiteral("vcardArray")).toArray();
    for (const QJsonValue& item : card.at(1).toArray()) {
        const QJsonArray fields = item.toArray();
        if (fields.at(0).toString().compare(property, Qt::CaseInsensitive) != 0)
            continue;
        const QJsonValue value = fields.at(3);
        if (value.isString())
            return value.toString();
        if (value.isArray())
            return value.toArray().at(0).toString();
    }
    return {};
}

// The first entity with the role, searching nested entities too: some registries
// put the registrant under the registrar.
QJsonObject EntityWithRole(const QJsonArray& entities, const QString& role, int depth = 0)
{
    for (const QJsonValue& value : entities) {
        const QJsonObject entity = value.toObject();
        if (HasRole(entity, role))
            return entity;
    }
    if (depth < 3) {
        for (const QJsonValue& value : entities) {
            const QJsonObject nested =
                EntityWithRole(value.toObject().value(QStringLiteral("entities")).toArray(), role, depth + 1);
            if (!nested.isEmpty())
                return nested;
        }
    }
    return {};
}

QString EventDate(const QJsonObject& domain, const QString& action)
{
    for (const QJsonValue& value : domain.value(QStringLiteral("events")).toArray()) {
        const QJsonObject event = value.toObject();
        if (event.value(QStringLiteral("eventAction")).toString() == action)
            return NormalizeDate(event.value(QStringLiteral("eventDate")).toString());
    }
    return {};
}

QString RelatedRdapLink(const QJsonObject& entity)
{
    for (const QJsonValue& value : entity.value(QStringLiteral("links")).toArray()) {
        const QJsonObject link = value.toObject();
        const QString type = link.value(QStringLiteral("type")).toString();
        if (link.value(QStringLiteral("rel")).toString() == QStringLiteral("related") &&
            (type.isEmpty() || type == QStringLiteral("application/rdap+json")))
            return link.value(QStringLiteral("href")).toString();
    }
    return {};
}

} // namespace

std::optional<RdapDomain> ParseRdapDomain(const QByteArray& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonObject domain = document.object();
    if (domain.value(QStringLiteral("objectClassName")).toString() != QStringLiteral("domain"))
        return std::nullopt;

    RdapDomain parsed;
    WhoisRecord& record = parsed.record;
    const QJsonArray entities = domain.value(QStringLiteral("entities")).toArray();
    const QJsonObject registrar = EntityWithRole(entities, QStringLiteral("registrar"));
    const QJsonObject registrant = EntityWithRole(entities, QStringLiteral("registrant"));
    const QJsonObject abuse =
        EntityWithRole(registrar.value(QStringLiteral("entities")).toArray(), QStringLiteral("abuse"), 3);

    record.registrar = UnlessRedacted(VcardValue(registrar, QStringLiteral("fn")));
    QString registrantEmail = UnlessRedacted(VcardValue(registrant, QStringLiteral("email")));
    if (!registrantEmail.contains(u'@')) // a web form's address is no e-mail
        registrantEmail.clear();
    const QString registrantPhone = PlainPhone(VcardValue(registrant, QStringLiteral("tel")));
    record.email = registrantEmail.isEmpty() ? UnlessRedacted(VcardValue(abuse, QStringLiteral("email")))
                                             : registrantEmail;
    record.phone =
        registrantPhone.isEmpty() ? PlainPhone(VcardValue(abuse, QStringLiteral("tel"))) : registrantPhone;
    record.created = EventDate(domain, QStringLiteral("registration"));
    record.expires = EventDate(domain, QStringLiteral("expiration"));
    // The registrar's own WHOIS server, where the record names it, is the one to show.
    record.whoisServer = registrar.value(QStringLiteral("port43")).toString().trimmed().toLower();
    if (record.whoisServer.isEmpty())
        record.whoisServer = domain.value(QStringLiteral("port43")).toString().trimmed().toLower();

    QStringList servers;
    for (const QJsonValue& value : domain.value(QStringLiteral("nameservers")).toArray()) {
        const QString name = value.toObject().value(QStringLiteral("ldhName")).toString().toLower();
        if (!name.isEmpty())
            servers.append(name.endsWith(u'.') ? name.chopped(1) : name);
    }
    record.nameServers = servers.join(u',');

    QStringList statuses;
    for (const QJsonValue& value : domain.value(QStringLiteral("status")).toArray()) {
        const QString code = EppStatus(value.toString());
        if (!code.isEmpty())
            statuses.append(code);
    }
    record.statuses = statuses.join(u',');

    // Only the registrant's own address or number counts: a registrar's abuse contact or
    // a redacted registrant leaves the registrar's record worth asking.
    parsed.hasContacts = !registrantEmail.isEmpty() || !registrantPhone.isEmpty();
    parsed.registrarLink = RelatedRdapLink(domain);
    if (parsed.registrarLink.isEmpty())
        parsed.registrarLink = RelatedRdapLink(registrar);
    return parsed;
}

void MergeRegistrarRecord(WhoisRecord& registry, const WhoisRecord& registrar)
{
    for (auto [mine, theirs] :
         {std::pair{&registry.registrar, &registrar.registrar}, std::pair{&registry.email, &registrar.email},
          std::pair{&registry.phone, &registrar.phone}, std::pair{&registry.created, &registrar.created},
          std::pair{&registry.expires, &registrar.expires},
          std::pair{&registry.nameServers, &registrar.nameServers},
          std::pair{&registry.statuses, &registrar.statuses}}) {
        if (mine->isEmpty())
            *mine = *theirs;
    }
    // The registrar's own contacts and WHOIS server are the more specific ones.
    if (!registrar.email.isEmpty())
        registry.email = registrar.email;
    if (!registrar.phone.isEmpty())
        registry.phone = registrar.phone;
    if (!registrar.whoisServer.isEmpty())
        registry.whoisServer = registrar.whoisServer;
}

bool IsRdapLimitSignal(int status, const QByteArray& body)
{
    if (status == 429)
        return true;
    if (status != 403 && status != 422)
        return false;
    static const QRegularExpression kWording(
        QStringLiteral("allowed queries exceeded|too fast|rate.?limit|too many (requests|queries)|quota|"
                       "query limit|limit exceeded|exceeded the (maximum|limit)"),
        QRegularExpression::CaseInsensitiveOption);
    return kWording.match(QString::fromUtf8(body.left(64 * 1024))).hasMatch();
}
