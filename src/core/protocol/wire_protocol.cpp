#include "core/protocol/wire_protocol.h"

#include "core/digest/md5_hex.h"

#include <QJsonDocument>
#include <QUrl>
#include <QUrlQuery>

namespace wire {

QString LookupToken(const QString& name)
{
    return Md5Hex(QString(name).append(kTokenSalt), 32);
}

QString LookupTarget(const QString& name, const QString& token)
{
    QString target{QLatin1StringView(kLookupPath)};
    target.append(u'?').append(kNameItem).append(u'=').append(
        QLatin1StringView(QUrl::toPercentEncoding(name)));
    target.append(u'&').append(kTokenItem).append(u'=').append(token);
    return target;
}

QString LookupTarget(const QString& name)
{
    return LookupTarget(name, LookupToken(name));
}

LookupQuery ReadLookupTarget(const QByteArray& target)
{
    const QUrlQuery query(QUrl::fromEncoded(target));
    return {query.queryItemValue(kNameItem.toString(), QUrl::FullyDecoded),
            query.queryItemValue(kTokenItem.toString(), QUrl::FullyDecoded)};
}

QString VersionForm()
{
    return kProductItem.toString().append(u'=').append(kProduct);
}

bool FormNamesProduct(const QByteArray& form)
{
    return QUrlQuery(QString::fromUtf8(form)).queryItemValue(kProductItem.toString()) == kProduct;
}

namespace {

QJsonObject Answer(const QJsonObject& info)
{
    QJsonObject reply;
    reply.insert(kResult, 1);
    reply.insert(kMessage, QString());
    reply.insert(kInfo, info);
    return reply;
}

} // namespace

QJsonObject Refusal(const QString& message)
{
    QJsonObject reply;
    reply.insert(kResult, 0);
    reply.insert(kMessage, message);
    return reply;
}

QJsonObject RowAnswer(const RowFields& fields)
{
    QJsonObject web;
    for (std::size_t i = 0; i < kRowMembers.size(); ++i)
        web.insert(kRowMembers[i], fields[i]);
    QJsonObject info;
    info.insert(kWeb, web);
    return Answer(info);
}

QJsonObject VersionAnswer(const QString& version, const QString& sid, const QString& must)
{
    QJsonObject info;
    info.insert(kVersion, version);
    info.insert(kSid, sid);
    info.insert(kMust, must);
    return Answer(info);
}

QByteArray ReplyBody(const QJsonObject& reply)
{
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

QString UpstreamFailedText(QStringView reason)
{
    return QStringLiteral("查询失败:").append(reason);
}

} // namespace wire
