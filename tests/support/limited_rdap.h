#pragma once

#include "test_https_server.h"
#include "window_counter.h"

#include <memory>

// An RDAP registry's limit for TestHttpsServer: `answer` serves up to `perSecond`
// requests in any one second; beyond, 429 with Retry-After. `arrivals` records them.
inline TestHttpsServer::Handler RateLimited(TestHttpsServer::Handler answer, int perSecond,
                                            std::shared_ptr<WindowCounter> arrivals,
                                            int retryAfterSeconds = 1)
{
    const QByteArray retryAfter = QByteArray::number(retryAfterSeconds);
    return [answer = std::move(answer), perSecond, arrivals = std::move(arrivals),
            retryAfter](const TestHttpsServer::Request& request) {
        if (!arrivals->admit(perSecond))
            return TestHttpsServer::Response{429, "{}",  "application/rdap+json",
                                             0,   false, {{"Retry-After", retryAfter}}};
        return answer(request);
    };
}
