#include "core/digest/md5_hex.h"

#include "core/net/code_page.h"

#include <QCryptographicHash>

QByteArray Md5Bytes(QStringView text)
{
    CodePage936 codePage;
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar ch : text) {
        const char16_t unit = ch.unicode();
        if (const auto pair = codePage.doubleByte(unit)) {
            bytes.append(static_cast<char>(pair->lead));
            bytes.append(static_cast<char>(pair->trail));
        } else {
            bytes.append(static_cast<char>(unit & 0xFF));
        }
    }
    return bytes;
}

QString Md5Hex(QStringView text, qint32 length)
{
    const QByteArray hex =
        QCryptographicHash::hash(Md5Bytes(text), QCryptographicHash::Md5).toHex().toUpper();
    const QString full = QString::fromLatin1(hex);
    return length == 32 ? full : full.mid(8, 16);
}
