#include "service/engine/bootstrap.h"

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

namespace {

// The "key value" pairs of a shipped table; '#' starts a comment.
QList<std::pair<QString, QString>> TablePairs(const QByteArray& text)
{
    QList<std::pair<QString, QString>> pairs;
    for (const QByteArray& raw : text.split('\n')) {
        const qsizetype comment = raw.indexOf('#');
        const QByteArray line = (comment >= 0 ? raw.first(comment) : raw).simplified();
        const QList<QByteArray> pair = line.split(' ');
        if (pair.size() == 2 && !pair[0].isEmpty())
            pairs.append({QString::fromLatin1(pair[0]).toLower(), QString::fromLatin1(pair[1])});
    }
    return pairs;
}

} // namespace

qsizetype ServerDirectory::loadWhoisTable(const QByteArray& text)
{
    const auto pairs = TablePairs(text);
    for (const auto& [tld, host] : pairs)
        m_whois.insert(tld, host.toLower());
    return pairs.size();
}

qsizetype ServerDirectory::loadRdapTable(const QByteArray& text)
{
    qsizetype count = 0;
    for (const auto& [tld, url] : TablePairs(text)) {
        if (!url.startsWith(QStringLiteral("https://")))
            continue;
        m_rdapTable.insert(tld, url.endsWith(u'/') ? url : url + u'/');
        ++count;
    }
    return count;
}

void ServerDirectory::addRdapOverride(const QString& tld, const QString& baseUrl)
{
    m_rdapOverrides.insert(tld.toLower(),
                           baseUrl.isEmpty() || baseUrl.endsWith(u'/') ? baseUrl : baseUrl + u'/');
}

void ServerDirectory::addWhoisOverride(const QString& tld, const QString& host)
{
    m_whoisOverrides.insert(tld.toLower(), host);
}

void ServerDirectory::addWhoisServer(const QString& tld, const QString& host)
{
    m_whois.insert(tld.toLower(), host);
}

QString ServerDirectory::rdapBase(const QString& tld) const
{
    const QString key = tld.toLower();
    return m_rdapOverrides.value(key, m_rdapTable.value(key, m_rdap.value(key)));
}

QString ServerDirectory::whoisServer(const QString& tld) const
{
    const QString key = tld.toLower();
    return m_whoisOverrides.value(key, m_whois.value(key));
}
