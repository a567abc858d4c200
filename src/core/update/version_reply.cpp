#include "core/update/version_reply.h"

#include "core/protocol/service_result.h"
#include "core/protocol/wire_protocol.h"

VersionDecision DecideVersion(const QString& reply)
{
    if (reply.isEmpty())
        return VersionNoAnswer{};
    const ResponseObject object = ParseReplyObject(reply);
    const ServiceResult result = ServiceResult::Read(object);
    if (result.kind == ServiceResult::Kind::Unreadable)
        return VersionNoAnswer{};
    if (result.kind == ServiceResult::Kind::Refused)
        return VersionRefused{result.message};
    // All three are read before any is used.
    const std::optional<QString> version = object.text({wire::kInfo, wire::kVersion});
    const std::optional<QString> sid = object.text({wire::kInfo, wire::kSid});
    const std::optional<QString> must = object.text({wire::kInfo, wire::kMust});
    if (!version || !sid || !must)
        return VersionNoAnswer{};
    if (*version == wire::kCheckedVersion)
        return VersionCurrent{};
    return VersionOffer{*version, *sid, *must != wire::kOptionalUpdate};
}

QString UpdateOfferText(const QString& version)
{
    return QStringLiteral("发现最新版本") + version + QStringLiteral("，是否现在更新?");
}

QString WorksDetailUrl(const QString& makerUrl, const QString& sid)
{
    return makerUrl + QStringLiteral("/index.php/Works/detail/sid/") + sid;
}
