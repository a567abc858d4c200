#pragma once

#include <QByteArray>
#include <QString>

// The bytes that the digest is computed over: per UTF-16 code unit, its two bytes in
// code page 936 where it has a double-byte form, otherwise the unit's low eight bits.
QByteArray Md5Bytes(QStringView text);

// MD5 of the text as upper-case hexadecimal: all 32 digits for length 32, otherwise
// the 16 middle digits (characters 9 to 24 of the full form).
QString Md5Hex(QStringView text, qint32 length);
