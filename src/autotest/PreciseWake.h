// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <memory>

class QObject;

namespace kv {

// Wakes the calling thread's event loop at a given moment, to within the
// kernel's timer slack. Qt's own timers round every wait of the event loop up
// to a whole millisecond, so a 10 ms wait would end up to 1 ms late; the
// automatic test's waits and its pass timer must end on time.
//
// A wake only makes the event loop look again: whoever waits re-reads the
// clock, and Qt fires any timer that is then due. Arming again moves the
// moment; destroying the object cancels it. One object serves any number of
// waits one after another: making the timer costs more than arming it.
class PreciseWake
{
public:
    using Clock = std::chrono::steady_clock;

    PreciseWake();
    ~PreciseWake();
    PreciseWake(const PreciseWake &) = delete;
    PreciseWake &operator=(const PreciseWake &) = delete;

    void arm(Clock::time_point at);
    // The moment of the last arm(); the clock's zero before the first.
    Clock::time_point armedFor() const { return m_armedFor; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    Clock::time_point m_armedFor{};
};

// Asks the kernel for the smallest timer slack for this thread, so that
// sleeps end when they were asked to (Linux: the timer slack; Windows: a 1 ms
// system timer tick).
void requestPreciseWakeups();

} // namespace kv
