#include "core/net/http_get_text.h"

#include "core/net/reply_wait.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <memory>

QString HttpGetText(QNetworkAccessManager& network, const QString& url, std::chrono::milliseconds timeLimit)
{
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader(QByteArrayLiteral("If-Modified-Since"), QByteArrayLiteral("0"));
    const std::unique_ptr<QNetworkReply> reply(network.get(request));
    return WaitForReplyText(*reply, timeLimit);
}
