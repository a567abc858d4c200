#include "core/net/http_post_form.h"

#include "core/net/reply_wait.h"
#include "core/net/url_encode.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>

#include <memory>

QString HttpPostForm(const QString& url, const QString& body, std::chrono::milliseconds timeLimit)
{
    const QByteArray bytes = UrlEncode(body).toUtf8();
    QString text;
    // The request runs on a thread of its own, with its own event loop, while this
    // thread blocks in wait(): none of the caller's events or timers run meanwhile.
    const std::unique_ptr<QThread> worker(QThread::create([&] {
        QNetworkAccessManager network;
        QNetworkRequest request{QUrl(url)};
        request.setRawHeader(QByteArrayLiteral("CONTENT-TYPE"),
                             QByteArrayLiteral("application/x-www-form-urlencoded"));
        const std::unique_ptr<QNetworkReply> reply(network.post(request, bytes));
        text = WaitForReplyText(*reply, timeLimit);
    }));
    worker->start();
    worker->wait();
    return text;
}
