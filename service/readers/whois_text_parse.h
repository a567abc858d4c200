#pragma once

#include "service/record/whois_record.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

// A port-43 answer (RFC 3912) read into the nine fields.
struct WhoisText {
    WhoisRecord record;
    bool notRegistered = false;
    bool rateLimited = false; // the server refused for too many queries
    QString referral;         // "Registrar WHOIS Server:" host, if any
    QString ianaRefer;        // "refer:" host of an IANA answer, if any
    bool holderNamed = false; // the answer names the name's holder
};

// Whether an answer about a registered name is one: it gives a field the row shows or
// names the holder (.es answers give only the holder). Otherwise it cannot be read.
bool ShowsRecord(const WhoisText& text);

// The code page a registry's port-43 server used before UTF-8 (empty: none).
QByteArray WhoisLegacyCodePage(const QString& tld);

// Decodes an answer: UTF-8 when it is valid UTF-8, otherwise the server's legacy
// code page (named as Qt's converters know it, e.g. "GBK", "Big5"; Latin-1 if empty).
QString DecodeWhoisAnswer(const QByteArray& bytes, const QByteArray& legacyCodePage);

// Reads an answer by the key, heading and phrase tables of whois_text_tables.cpp;
// `tld` picks a registry's own rows where its wording differs.
WhoisText ParseWhoisText(const QString& text, QStringView tld = {});
