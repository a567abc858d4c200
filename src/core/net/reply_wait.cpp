#include "core/net/reply_wait.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QTimer>

QString WaitForReplyText(QNetworkReply& reply, std::chrono::milliseconds timeLimit)
{
    QEventLoop loop;
    QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);

    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &reply, [&] {
        timedOut = true;
        reply.abort();
    });
    limit.start(timeLimit);

    if (!reply.isFinished())
        loop.exec();
    if (timedOut || !reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return {};
    return QString::fromUtf8(reply.readAll());
}
