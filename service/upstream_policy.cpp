#include "upstream_policy.h"

#include "domain_name.h"

#include <QHostAddress>
#include <QList>
#include <QPair>

// A registrar's RDAP link is followed only over HTTPS, and never into private or
// link-local networks: the service must not become a way into them.
bool IsFollowableLink(const QUrl& url)
{
    if (!url.isValid() || url.scheme() != u"https" || url.host().isEmpty())
        return false;
    const QHostAddress address(url.host());
    if (address.isNull())
        return true; // a host name
    static const QList<QPair<QHostAddress, int>> kClosed{
        QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")),
        QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12")),
        QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("169.254.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("100.64.0.0/10")),
        QHostAddress::parseSubnet(QStringLiteral("fc00::/7")),
        QHostAddress::parseSubnet(QStringLiteral("fe80::/10")),
        QHostAddress::parseSubnet(QStringLiteral("0.0.0.0/8"))};
    for (const auto& subnet : kClosed) {
        if (address.isInSubnet(subnet))
            return false;
    }
    return true;
}

// Referrals are followed only to plain host names, always on the WHOIS port.
bool IsFollowableHost(const QString& host)
{
    return DomainName::parse(host).has_value() && !host.contains(u':') && !host.contains(u'/');
}

