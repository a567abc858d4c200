#include "service/engine/domain_name.h"

#include <QStringList>
#include <QUrl>

namespace {

bool IsLdhLabel(QStringView label)
{
    if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
        return false;
    for (const QChar ch : label) {
        const char16_t c = ch.unicode();
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

std::optional<DomainName> DomainName::parse(const QString& name)
{
    QString text = name.trimmed();
    if (text.endsWith(u'.'))
        text.chop(1);
    if (text.isEmpty() || text.size() > 253)
        return std::nullopt;
    const QByteArray aceBytes = QUrl::toAce(text, QUrl::AceTransitionalProcessing);
    if (aceBytes.isEmpty())
        return std::nullopt;
    const QString ace = QString::fromLatin1(aceBytes).toLower();
    if (ace.size() > 253)
        return std::nullopt;
    const QStringList labels = ace.split(u'.');
    if (labels.size() < 2)
        return std::nullopt;
    for (const QString& label : labels) {
        if (!IsLdhLabel(label))
            return std::nullopt;
    }
    // A top-level domain is never all digits.
    bool numeric = true;
    for (const QChar ch : labels.last())
        numeric = numeric && ch.isDigit();
    if (numeric)
        return std::nullopt;
    return DomainName{ace, QUrl::fromAce(aceBytes), labels.last()};
}
