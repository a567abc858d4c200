#pragma once

#include <QString>
#include <QUrl>

// Where the service lets upstream answers send it.

// A registrar's RDAP link: HTTPS only, never into private or link-local networks.
bool IsFollowableLink(const QUrl& url);

// A WHOIS referral: a plain host name (no address, port or path); always port 43.
bool IsFollowableHost(const QString& host);
