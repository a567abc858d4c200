#include "core/app/endpoints.h"

#include "build_config.h"

Endpoints Endpoints::compiledDefaults()
{
    return Endpoints{QStringLiteral(WHOIS_LOOKUP_URL_DEFAULT), QStringLiteral(WHOIS_UPDATE_URL_DEFAULT),
                     QStringLiteral(WHOIS_MAKER_URL_DEFAULT), QStringLiteral(WHOIS_STUDIO_URL_DEFAULT),
                     QStringLiteral(WHOIS_COMPANY_URL_DEFAULT)};
}
