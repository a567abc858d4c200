#include "core/batch/lookup_reply.h"

#include "core/protocol/service_result.h"
#include "core/protocol/wire_protocol.h"

#include <QStringList>

// The table shows one column per member of the service's row.
static_assert(ResultRow::kFieldCount == int(wire::kRowMembers.size()));

QString LookupUrl(const QString& serviceUrl, const QString& name)
{
    return serviceUrl + wire::LookupTarget(name);
}

LookupOutcome MapLookupReply(const QString& reply)
{
    const ResponseObject object = ParseReplyObject(reply);
    const ServiceResult result = ServiceResult::Read(object);
    if (result.kind == ServiceResult::Kind::Unreadable)
        return LookupUnreadable{};
    if (result.kind == ServiceResult::Kind::Refused)
        return LookupRefused{result.message};
    ResultRow row;
    for (int i = 0; i < ResultRow::kFieldCount; ++i) {
        std::optional<QString> field = object.text({wire::kInfo, wire::kWeb, wire::kRowMembers[i]});
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
