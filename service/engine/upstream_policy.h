#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUrl>

// Where the service lets upstream answers send it.

// False for every address the service must never be steered into: loopback,
// unspecified, private, shared (CGNAT), link-local, unique-local, multicast, broadcast
// and reserved, also when written as an IPv4-mapped, -compatible or NAT64 IPv6 address.
bool IsPublicAddress(const QHostAddress& address);

// Upstreams named in the settings are trusted as configured (any scheme, port and
// address). Any other destination, such as a registrar's RDAP link or a redirect away
// from a configured upstream, must be HTTPS on the HTTPS port and is checked again on
// every address its name resolves to, before a connection is made.
class OutboundPolicy final {
public:
    explicit OutboundPolicy(QList<QUrl> trusted = {}, quint16 httpsPort = 443);

    // A copy that also trusts the origin (scheme, host, port) of `url`.
    OutboundPolicy trusting(const QUrl& url) const;

    bool isTrusted(const QUrl& url) const;
    // Before resolution: may a request for `url` be started at all?
    bool mayRequest(const QUrl& url) const;
    // After resolution: may the request for `url` go to `address`?
    bool mayConnect(const QUrl& url, const QHostAddress& address) const;

private:
    QList<QUrl> m_trusted; // origins only
    quint16 m_httpsPort;
};

// A WHOIS referral: a plain host name (no address, port or path); always port 43.
bool IsFollowableHost(const QString& host);
