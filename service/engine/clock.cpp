#include "service/engine/clock.h"

#include <QTimer>

void SystemClock::callAfter(std::chrono::milliseconds delay, QObject* context, std::function<void()> action)
{
    QTimer::singleShot(delay, context, std::move(action));
}
