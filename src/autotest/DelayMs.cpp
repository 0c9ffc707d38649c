// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "DelayMs.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <QCoreApplication>

#include "PreciseWake.h"

namespace kv {

void DelayMs(double milliseconds)
{
    PreciseWake wake;
    DelayMs(milliseconds, wake);
}

void DelayMs(double milliseconds, PreciseWake &wake)
{
    using Clock = PreciseWake::Clock; // monotonic: never jumps back, also not at midnight
    const auto start = Clock::now();
    // Longer than any run of the program; keeps the arithmetic in range.
    constexpr double kLongest = 1e12;
    const double wanted = std::isnan(milliseconds) ? 0.0 : std::clamp(milliseconds, -kLongest, kLongest);
    const auto interval = std::chrono::ceil<Clock::duration>(std::chrono::duration<double, std::milli>(wanted));
    const auto deadline = start + interval;
    if (!(Clock::now() < deadline))
        return;

    // Between events the thread sleeps in the event dispatcher; the wake ends
    // that sleep when the interval has passed.
    // Events are processed at least once, also when arming the wake took the
    // whole interval (on Windows it may take a few milliseconds).
    const auto outer = wake.armedFor();
    wake.arm(deadline);
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    while (Clock::now() < deadline);
    // A wait that this one ran inside of still needs its wake.
    if (outer > deadline)
        wake.arm(outer);
}

} // namespace kv
