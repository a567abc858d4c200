#pragma once

#include <QString>

// Escapes every double-byte character of code page 936 as two "%XX" groups of its
// bytes (upper-case hex, no leading zeros); every other character stays as it is.
QString UrlEncode(QStringView text);
