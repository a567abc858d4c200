#pragma once

#include "core/net/evaluate_reply.h"

#include <QString>

// How both services say whether they answered: "result" "0" (text or number) is a
// refusal with a "message" for the user; any other "result" is an answer.
struct ServiceResult {
    enum class Kind { Unreadable, Refused, Answered };
    Kind kind = Kind::Unreadable;
    QString message; // the refusal's message

    // Unreadable: no object, no "result", or a refusal without its message.
    static ServiceResult Read(const ResponseObject& reply);
};
