#include "service/config/store_address.h"

#include <QUrl>

#include <algorithm>

QString StoreAddress::display() const
{
    if (isUnixSocket())
        return QStringLiteral("unix:") + socketPath;
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("redis://%1:%2/%3").arg(shownHost).arg(port).arg(database);
}

std::optional<StoreAddress> ParseStoreAddress(const QString& text)
{
    StoreAddress address;
    if (text.startsWith(QStringLiteral("unix:"))) {
        address.socketPath = text.mid(5);
        if (!address.socketPath.startsWith(u'/') || address.socketPath.size() < 2)
            return std::nullopt;
        return address;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != u"redis" || url.host().isEmpty() || !url.userInfo().isEmpty() ||
        url.hasQuery() || url.hasFragment())
        return std::nullopt;
    address.host = url.host();
    const int port = url.port(6379);
    if (port < 1 || port > 65535)
        return std::nullopt;
    address.port = quint16(port);
    const QString path = url.path();
    if (!path.isEmpty() && path != u"/") {
        // A number the store may refuse (it has 16 databases unless told otherwise) is
        // left for it to say so.
        const QString number = path.mid(1);
        const bool digits = !number.isEmpty() && number.size() <= 5 &&
                            std::all_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); });
        if (!digits)
            return std::nullopt;
        address.database = number.toInt();
    }
    return address;
}
