#pragma once

#include "service/engine/clock.h"

#include <QString>

#include <atomic>
#include <memory>

// Who asks for a lookup and until when. Queues in front of a registry take turns
// between clients; a lookup whose caller has gone, or whose deadline has passed, is
// never sent.
struct LookupCaller {
    QString client;             // the asking address (or a program's own name)
    Clock::TimePoint deadline;  // the answer is due by then, whatever upstreams do
    // Set, from any thread, once nobody waits for the answer any more.
    std::shared_ptr<std::atomic<bool>> gone = std::make_shared<std::atomic<bool>>(false);

    bool hasGone() const { return gone && gone->load(std::memory_order_relaxed); }
};
