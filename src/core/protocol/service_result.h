#pragma once

#include "core/net/reply_object.h"

#include <QString>

// How both services say whether they answered: a refused result (text or number) is a
// refusal with a message for the user; any other result is an answer (the members are
// named in core/protocol/wire_protocol.h).
struct ServiceResult {
    enum class Kind { Unreadable, Refused, Answered };
    Kind kind = Kind::Unreadable;
    QString message; // the refusal's message

    // Unreadable: no object, no result, or a refusal without its message.
    static ServiceResult Read(const ResponseObject& reply);
};
