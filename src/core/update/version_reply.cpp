#include "core/update/version_reply.h"

#include "core/net/service_result.h"

VersionDecision DecideVersion(const QString& reply)
{
    if (reply.isEmpty())
        return VersionNoAnswer{};
    const ResponseObject object = EvaluateReply(reply);
    const ServiceResult result = ServiceResult::Read(object);
    if (result.kind == ServiceResult::Kind::Unreadable)
        return VersionNoAnswer{};
    if (result.kind == ServiceResult::Kind::Refused)
        return VersionRefused{result.message};
    // All three are read before any is used.
    const std::optional<QString> version = object.text({u"info", u"version"});
    const std::optional<QString> sid = object.text({u"info", u"sid"});
    const std::optional<QString> must = object.text({u"info", u"must"});
    if (!version || !sid || !must)
        return VersionNoAnswer{};
    if (*version == kCheckedVersion)
        return VersionCurrent{};
    return VersionOffer{*version, *sid, *must != u"0"};
}

QString UpdateOfferText(const QString& version)
{
    return QStringLiteral("发现最新版本") + version + QStringLiteral("，是否现在更新?");
}

QString WorksDetailUrl(const QString& makerUrl, const QString& sid)
{
    return makerUrl + QStringLiteral("/index.php/Works/detail/sid/") + sid;
}
