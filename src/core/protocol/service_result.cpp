#include "core/protocol/service_result.h"

#include "core/protocol/wire_protocol.h"

ServiceResult ServiceResult::Read(const ResponseObject& reply)
{
    const std::optional<QString> result = reply.text({wire::kResult});
    if (!result)
        return {};
    if (*result != wire::kRefusedResult)
        return {Kind::Answered, {}};
    const std::optional<QString> message = reply.text({wire::kMessage});
    if (!message)
        return {};
    return {Kind::Refused, *message};
}
