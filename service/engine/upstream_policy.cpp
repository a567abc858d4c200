#include "service/engine/upstream_policy.h"

#include "service/engine/domain_name.h"

#include <QPair>

#include <array>

namespace {

using Subnet = QPair<QHostAddress, int>;

Subnet Parse(const char* subnet)
{
    return QHostAddress::parseSubnet(QString::fromLatin1(subnet));
}

bool IsPublicIPv4(quint32 address)
{
    static const std::array<Subnet, 11> kClosed{
        Parse("0.0.0.0/8"),      // "this network", unspecified
        Parse("10.0.0.0/8"),     // private
        Parse("172.16.0.0/12"),  // private
        Parse("192.168.0.0/16"), // private
        Parse("100.64.0.0/10"),  // shared address space (CGNAT)
        Parse("127.0.0.0/8"),    // loopback
        Parse("169.254.0.0/16"), // link-local, cloud metadata
        Parse("192.0.0.0/24"),   // protocol assignments
        Parse("198.18.0.0/15"),  // benchmarking
        Parse("224.0.0.0/4"),    // multicast
        Parse("240.0.0.0/4"),    // reserved, including the broadcast address
    };
    const QHostAddress v4(address);
    for (const Subnet& subnet : kClosed) {
        if (v4.isInSubnet(subnet))
            return false;
    }
    return true;
}

// The IPv4 address carried in the last 32 bits of an IPv6 address.
quint32 Embedded(const Q_IPV6ADDR& bytes)
{
    return (quint32(bytes[12]) << 24) | (quint32(bytes[13]) << 16) | (quint32(bytes[14]) << 8) | bytes[15];
}

QUrl Origin(const QUrl& url)
{
    QUrl origin;
    origin.setScheme(url.scheme().toLower());
    origin.setHost(url.host().toLower());
    origin.setPort(url.port(url.scheme() == u"http" ? 80 : 443));
    return origin;
}

} // namespace

bool IsPublicAddress(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4); // also unwraps ::ffff:a.b.c.d
    if (isV4)
        return IsPublicIPv4(v4);
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    static const std::array<Subnet, 7> kClosed{
        Parse("::/96"),        // unspecified, loopback, IPv4-compatible
        Parse("64:ff9b::/96"), // NAT64: checked as the IPv4 address it carries
        Parse("fc00::/7"),     // unique-local
        Parse("fe80::/10"),    // link-local
        Parse("fec0::/10"),    // site-local, deprecated but still routed by some
        Parse("ff00::/8"),     // multicast
        Parse("100::/64"),     // discard-only
    };
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    if (address.isInSubnet(kClosed[0]) || address.isInSubnet(kClosed[1])) {
        const quint32 carried = Embedded(bytes);
        // "::" and "::1" carry no address; anything else in ::/96 is an IPv4 one.
        return carried > 1 && IsPublicIPv4(carried);
    }
    for (const Subnet& subnet : kClosed) {
        if (address.isInSubnet(subnet))
            return false;
    }
    return true;
}

OutboundPolicy::OutboundPolicy(QList<QUrl> trusted, quint16 httpsPort)
    : m_httpsPort(httpsPort)
{
    for (const QUrl& url : trusted) {
        if (url.isValid() && !url.host().isEmpty())
            m_trusted.append(Origin(url));
    }
}

OutboundPolicy OutboundPolicy::trusting(const QUrl& url) const
{
    OutboundPolicy copy = *this;
    if (url.isValid() && !url.host().isEmpty())
        copy.m_trusted.append(Origin(url));
    return copy;
}

bool OutboundPolicy::isTrusted(const QUrl& url) const
{
    return url.isValid() && !url.host().isEmpty() && m_trusted.contains(Origin(url));
}

bool OutboundPolicy::mayRequest(const QUrl& url) const
{
    if (isTrusted(url))
        return true;
    if (!url.isValid() || url.scheme() != u"https" || url.host().isEmpty() || !url.userInfo().isEmpty() ||
        url.port(443) != m_httpsPort)
        return false;
    const QHostAddress literal(url.host());
    return literal.isNull() || IsPublicAddress(literal);
}

bool OutboundPolicy::mayConnect(const QUrl& url, const QHostAddress& address) const
{
    return isTrusted(url) || (mayRequest(url) && IsPublicAddress(address));
}

// Referrals are followed only to plain host names, always on the WHOIS port.
bool IsFollowableHost(const QString& host)
{
    return DomainName::parse(host).has_value() && !host.contains(u':') && !host.contains(u'/');
}
