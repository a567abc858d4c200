#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Small readers for the pieces of a port-43 line: keys and the values of each kind.

// "Expiry Date......" and "expiry date" are one key, and so are bilingual or annotated
// ones ("Data de registo / Creation Date (dd/mm/yyyy)") and numbered ones ("ns_name_01").
QString NormalKey(QStringView raw);

// "key: value", "key.....: value", "key:value", "key<TAB>value", "[key] value" and
// "p. [key] value"; false when the line has no key.
bool SplitKey(QString line, QString& key, QString& value);

bool LooksLikeEmail(const QString& value);

// An address or a number, never a notice or a web form standing in for one.
QString EmailValue(const QString& value);
QString PhoneValue(const QString& value);

// The server of "ns1.example.com 192.0.2.1", "ns1.example.com. [OK]",
// "example.pt NS ns1.example.com"; empty when the value names none.
QString HostValue(const QString& value);

// A date, also after a handle or a word: "0-UANIC 20020903000000", "until 2020-01-01".
QString DateValue(const QString& value, bool monthFirst);

// "ok (paid and in zone)", "clientHold https://icann.org/epp#clientHold",
// "REGISTERED, DELEGATED", "Registered until expiry date." as EPP-like codes.
QStringList StatusValues(const QString& value);

// The width of a line's leading blanks.
qsizetype Indent(const QString& line);
