#include "core/app/version_text.h"

#include "build_config.h"

QString VersionText(int major, int minor, int revision)
{
    return QStringLiteral("V%1.%2.%3").arg(major).arg(minor).arg(revision);
}

QString VersionText()
{
    return VersionText(WHOIS_VERSION_MAJOR, WHOIS_VERSION_MINOR, WHOIS_VERSION_PATCH);
}
