#pragma once

#include "service/front/reply_cache.h"
#include "service/log/request_log.h"
#include "service/config/settings.h"
#include "service/metrics/metrics.h"

#include <QByteArray>

#include <atomic>
#include <functional>
#include <memory>

class LookupService;

struct FrontRequest {
    QByteArray method;
    QByteArray target; // path and query as sent
    QByteArray body;
    QString client; // address
    // Set once the client has gone: its lookup is withdrawn. May be null.
    std::shared_ptr<std::atomic<bool>> gone;
};

struct FrontReply {
    int status = 200;
    QByteArray body;
};

// What the two endpoints answer, with a log line per lookup. Called on the threads
// serving connections; lookups themselves run on the thread of the LookupService.
class FrontRoutes final {
public:
    using Answer = std::function<void(FrontReply)>;

    // `metrics`, when given, counts the requests by route and status.
    FrontRoutes(const ServiceSettings& settings, LookupService& lookups, Metrics* metrics = nullptr);

    // `answer` runs once, on this thread or the lookups' thread.
    void handle(const FrontRequest& request, Answer answer);
    // Lets expired answers go; called now and then from a serving thread.
    void sweep();

private:
    void lookUp(const FrontRequest& request, Answer answer);

    const ServiceSettings m_settings;
    LookupService& m_lookups;
    Metrics* m_metrics;
    // Shared with lookups still running when the front goes.
    const std::shared_ptr<ReplyCache> m_replies;
};
