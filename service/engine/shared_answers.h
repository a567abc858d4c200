#pragma once

#include "service/record/whois_record.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// Answers kept where every instance of the service sees them, in front of each one's own
// cache, and a claim on each name being asked so that only one instance asks a
// registry about it. Calls are made and answered on the engine's thread; a store that
// cannot say in time never holds a lookup up: the instance then asks itself.
class SharedAnswers {
public:
    struct Hit {
        LookupResult result;
        std::chrono::milliseconds left; // time to live that remains
    };
    struct Look {
        enum class Next {
            Use,  // `hit` is the answer
            Ask,  // ask the upstreams (this instance holds the claim, or there is no store)
            Wait, // another asker holds the claim: look again shortly
        };
        Next next = Next::Ask;
        std::optional<Hit> hit;
    };

    virtual ~SharedAnswers() = default;
    // The stored answer, else a claim on the name for `hold` (while this instance asks).
    virtual void look(const QString& ace, std::chrono::milliseconds hold, std::function<void(Look)> done) = 0;
    // Keeps an answer for `ttl` (nothing for zero) and gives up this instance's claim.
    virtual void keep(const QString& ace, const LookupResult& result, std::chrono::seconds ttl) = 0;
};
