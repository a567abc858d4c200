#include "core/domain_list/name_rules.h"

#include <array>

bool IsPlausibleName(QStringView name)
{
    static constexpr std::array<QStringView, 8> kFragments{u"com", u"cn", u"org", u"info",
                                                           u"hk",  u"me", u"net", u"cc"};
    for (const QStringView fragment : kFragments) {
        if (name.contains(fragment))
            return true;
    }
    return false;
}

std::optional<QString> AddedNameProblem(QStringView text)
{
    if (text.isEmpty())
        return QStringLiteral("请输入域名..");
    if (!IsPlausibleName(text))
        return QStringLiteral("域名不正确,您请检查..");
    if (text.contains(u"http://"))
        return QStringLiteral("域名不需要加http://..");
    if (text.startsWith(u"www."))
        return QStringLiteral("域名不需要加www..");
    return std::nullopt;
}
