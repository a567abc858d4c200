#include "bootstrap.h"

#include <QJsonArray>
#include <QJsonObject>

bool ServerDirectory::loadBootstrap(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    const QJsonArray services = document.object().value(QStringLiteral("services")).toArray();
    if (services.isEmpty())
        return false;
    QHash<QString, QString> rdap;
    for (const QJsonValue& service : services) {
        const QJsonArray entry = service.toArray();
        const QJsonArray tlds = entry.at(0).toArray();
        QString chosen;
        for (const QJsonValue& url : entry.at(1).toArray()) {
            const QString base = url.toString();
            if (chosen.isEmpty() || (base.startsWith(QStringLiteral("https://")) &&
                                     !chosen.startsWith(QStringLiteral("https://"))))
                chosen = base;
        }
        if (chosen.isEmpty())
            continue;
        if (!chosen.endsWith(u'/'))
            chosen += u'/';
        for (const QJsonValue& tld : tlds)
            rdap.insert(tld.toString().toLower(), chosen);
    }
    if (rdap.isEmpty())
        return false;
    m_rdap = std::move(rdap);
    return true;
}

void ServerDirectory::addRdapOverride(const QString& tld, const QString& baseUrl)
{
    m_rdapOverrides.insert(tld.toLower(), baseUrl.endsWith(u'/') ? baseUrl : baseUrl + u'/');
}

void ServerDirectory::addWhoisServer(const QString& tld, const QString& host)
{
    m_whois.insert(tld.toLower(), host);
}

QString ServerDirectory::rdapBase(const QString& tld) const
{
    const QString key = tld.toLower();
    return m_rdapOverrides.value(key, m_rdap.value(key));
}

QString ServerDirectory::whoisServer(const QString& tld) const
{
    return m_whois.value(tld.toLower());
}
