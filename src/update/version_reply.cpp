#include "update/version_reply.h"

#include "net/evaluate_reply.h"

VersionDecision DecideVersion(const QString& reply)
{
    if (reply.isEmpty())
        return VersionNoAnswer{};
    const ResponseObject object = EvaluateReply(reply);
    const std::optional<QString> result = object.text({u"result"});
    if (!result)
        return VersionNoAnswer{};
    if (*result == u"0") {
        const std::optional<QString> message = object.text({u"message"});
        if (!message)
            return VersionNoAnswer{};
        return VersionRefused{*message};
    }
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
