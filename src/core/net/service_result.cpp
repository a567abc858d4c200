#include "core/net/service_result.h"

ServiceResult ServiceResult::Read(const ResponseObject& reply)
{
    const std::optional<QString> result = reply.text({u"result"});
    if (!result)
        return {};
    if (*result != u"0")
        return {Kind::Answered, {}};
    const std::optional<QString> message = reply.text({u"message"});
    if (!message)
        return {};
    return {Kind::Refused, *message};
}
