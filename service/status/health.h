#pragma once

#include "service/store/store_client.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What /healthz says: "ok"; "degraded" with the reason while the instance answers but
// without something it should have (the shared store); "failing" while it cannot do
// its job (no upstream reached for many lookups in a row), so a balancer sends
// clients elsewhere.
struct Health {
    enum class Level { Ok, Degraded, Failing };
    Level level = Level::Ok;
    QString reason;

    int httpStatus() const { return level == Level::Failing ? 503 : 200; }
    QByteArray text() const;
};

// Lookups in a row without any upstream reached before the instance counts as failing.
inline constexpr int kUnreachableBeforeFailing = 20;

struct StoreView {
    StoreState state;
    QString problem;
    int instances = 1; // sharing the store when last seen
};

// `store`: nothing when no store is configured.
Health JudgeHealth(const std::optional<StoreView>& store, int unreachableInARow);

// The store's state as gauges for /metrics.
QByteArray StoreGauges(const std::optional<StoreView>& store);
