#include "service/status/health.h"

QByteArray Health::text() const
{
    switch (level) {
    case Level::Ok: return "ok\n";
    case Level::Degraded: return "degraded: " + reason.toUtf8() + '\n';
    case Level::Failing: return "failing: " + reason.toUtf8() + '\n';
    }
    return {};
}

Health JudgeHealth(const std::optional<StoreView>& store, int unreachableInARow)
{
    if (unreachableInARow >= kUnreachableBeforeFailing)
        return {Health::Level::Failing,
                QStringLiteral("no upstream server reached for the last %1 lookups").arg(unreachableInARow)};
    if (!store || store->state == StoreState::Up)
        return {};
    if (store->state == StoreState::Connecting)
        return {Health::Level::Degraded, QStringLiteral("store not reached yet")};
    return {Health::Level::Degraded,
            QStringLiteral("store ") +
                (store->state == StoreState::Full ? QStringLiteral("full: ") : QStringLiteral("down: ")) +
                store->problem};
}

QByteArray StoreGauges(const std::optional<StoreView>& store)
{
    QByteArray out = "# HELP whoisd_store_state The shared store's state (1 for the current one).\n"
                     "# TYPE whoisd_store_state gauge\n";
    const std::pair<StoreState, const char*> states[] = {{StoreState::Connecting, "connecting"},
                                                         {StoreState::Up, "up"},
                                                         {StoreState::Full, "full"},
                                                         {StoreState::Down, "down"}};
    for (const auto& [state, name] : states)
        out += QByteArray("whoisd_store_state{state=\"") + name + "\"} " +
               (store && store->state == state ? "1" : "0") + '\n';
    out += "# HELP whoisd_store_configured 1 when instances share a store.\n"
           "# TYPE whoisd_store_configured gauge\nwhoisd_store_configured ";
    out += store ? "1\n" : "0\n";
    if (store)
        out += "# HELP whoisd_store_instances Instances sharing the store when it was last reached.\n"
               "# TYPE whoisd_store_instances gauge\nwhoisd_store_instances " +
               QByteArray::number(store->instances) + '\n';
    return out;
}
