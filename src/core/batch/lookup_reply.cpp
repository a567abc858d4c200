#include "core/batch/lookup_reply.h"

#include "core/digest/md5_hex.h"
#include "core/net/service_result.h"

#include <QStringList>
#include <QUrl>

QString LookupUrl(const QString& serviceUrl, const QString& name)
{
    const QString token = Md5Hex(name + QStringLiteral("tamlo"), 32);
    return serviceUrl + QStringLiteral("/index.php/Index/web_whois?url=")
           + QString::fromLatin1(QUrl::toPercentEncoding(name)) + QStringLiteral("&token=") + token;
}

LookupOutcome MapLookupReply(const QString& reply)
{
    const ResponseObject object = EvaluateReply(reply);
    const ServiceResult result = ServiceResult::Read(object);
    if (result.kind == ServiceResult::Kind::Unreadable)
        return LookupUnreadable{};
    if (result.kind == ServiceResult::Kind::Refused)
        return LookupRefused{result.message};
    static constexpr std::array<QStringView, ResultRow::kFieldCount> kMembers{
        u"domain",      u"personal",       u"email", u"phone",    u"creat_time",
        u"delete_time", u"domain_service", u"dns",   u"do_status"};
    ResultRow row;
    for (int i = 0; i < ResultRow::kFieldCount; ++i) {
        std::optional<QString> field = object.text({u"info", u"web", kMembers[i]});
        if (!field)
            return LookupUnreadable{};
        row.fields[i] = std::move(*field);
    }
    return row;
}

QString LookupDoneText(const QString& selectedName, qsizetype count, qsizetype selectedIndex)
{
    return selectedName + QStringLiteral("查询完毕 | 共：%1个域名 | 剩余查询：%2个")
                              .arg(count)
                              .arg(count - selectedIndex - 1);
}

QString LookupFailedText(const QString& name)
{
    return name + QStringLiteral("查询失败,返回数据无法识别..");
}

QString DetailText(const ResultRow& row)
{
    static constexpr std::array<QStringView, ResultRow::kFieldCount> kLabels{
        u"域名：",     u"注册商：", u"E-mail：", u"联系电话：", u"注册时间：",
        u"过期时间：", u"服务器：", u"DNS：",    u"域名状态："};
    QStringList lines;
    for (int i = 0; i < ResultRow::kFieldCount; ++i)
        lines.append(kLabels[i].toString() + row.fields[i]);
    return lines.join(QStringLiteral("\r\n"));
}
