#include "DelayMs.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

void DelayMs(double milliseconds)
{
    using namespace std::chrono;
    QElapsedTimer clock; // monotonic: never jumps back, also not at midnight
    clock.start();
    const auto interval = duration<double, std::milli>(milliseconds);
    const auto elapsed = [&clock] { return duration<double, std::milli>(nanoseconds(clock.nsecsElapsed())); };
    if (!(elapsed() < interval))
        return;

    // A precise single-shot timer wakes the event loop at the end of the
    // interval; until then the thread sleeps in the event dispatcher and
    // wakes only for events. Should the timer fire a little early, it is
    // armed again for what is left.
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    const auto arm = [&] {
        const double remaining = (interval - elapsed()).count();
        wake.start(static_cast<int>(std::max(1.0, std::ceil(remaining))));
    };
    arm();
    while (elapsed() < interval) {
        if (!wake.isActive())
            arm();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}
