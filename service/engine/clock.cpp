#include "service/engine/clock.h"

#include <QTimer>

void SystemClock::callAfter(std::chrono::milliseconds delay, QObject* context, std::function<void()> action)
{
    // Precise: a coarse timer (Qt's choice from 2 s) may fire up to 5 % early, and
    // pacing and deadlines are checked against the clock when it does.
    QTimer::singleShot(delay, Qt::PreciseTimer, context, std::move(action));
}
