#pragma once

#include "whois_record.h"

#include <QByteArray>
#include <QString>

// A port-43 answer (RFC 3912) read into the nine fields.
struct WhoisText {
    WhoisRecord record;
    bool notRegistered = false;
    bool rateLimited = false;
    QString referral;      // "Registrar WHOIS Server:" host, if any
    QString ianaRefer;     // "refer:" host of an IANA answer, if any
};

// Decodes an answer: UTF-8 when it is valid UTF-8, otherwise the server's legacy
// code page (named as Qt's converters know it, e.g. "GBK", "Big5"; Latin-1 if empty).
QString DecodeWhoisAnswer(const QByteArray& bytes, const QByteArray& legacyCodePage);

// Reads the common "Key: value" forms, including those of the .cn and .hk registries.
WhoisText ParseWhoisText(const QString& text);
