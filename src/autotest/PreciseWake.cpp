// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "PreciseWake.h"

#include <algorithm>
#include <cmath>

#include <QTimer>

#if defined(__linux__)
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#elif defined(_WIN32)
#include <windows.h>
#include <timeapi.h>

#include <QWinEventNotifier>
#endif

namespace kv {

namespace {

// Where no timer descriptor can be had: a Qt timer, which may end up to a
// millisecond late.
void armQtTimer(QTimer &timer, PreciseWake::Clock::time_point at)
{
    const auto remaining = std::chrono::duration<double, std::milli>(at - PreciseWake::Clock::now()).count();
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    timer.start(static_cast<int>(std::clamp(std::ceil(remaining), 0.0, 2'000'000'000.0)));
}

} // namespace

#if defined(__linux__)

// A timer file descriptor with an absolute deadline on the monotonic clock
// (the clock of std::chrono::steady_clock), watched by the event loop.
struct PreciseWake::Impl
{
    Impl()
        : fd(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
    {
        if (fd < 0)
            return;
        notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        // Reading the expiry count makes the descriptor quiet again, so the
        // event loop does not keep waking for it.
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] {
            std::uint64_t expirations = 0;
            [[maybe_unused]] const auto n = ::read(fd, &expirations, sizeof expirations);
        });
    }
    ~Impl()
    {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }

    void arm(Clock::time_point at)
    {
        if (fd < 0) {
            armQtTimer(fallback, at);
            return;
        }
        const auto sinceEpoch = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
        itimerspec deadline{};
        deadline.it_value.tv_sec = static_cast<time_t>(sinceEpoch / 1'000'000'000);
        deadline.it_value.tv_nsec = static_cast<long>(sinceEpoch % 1'000'000'000);
        if (deadline.it_value.tv_sec == 0 && deadline.it_value.tv_nsec == 0)
            deadline.it_value.tv_nsec = 1; // all zero would disarm
        timerfd_settime(fd, TFD_TIMER_ABSTIME, &deadline, nullptr);
    }

    int fd;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer fallback;
};

void requestPreciseWakeups() { prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

#elif defined(_WIN32)

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// A high-resolution waitable timer (Windows 10 1803 and later), watched by the
// event loop. Ordinary waitable timers and Qt's timers end on the system's
// timer tick, which may be 15.6 ms; where the high-resolution kind cannot be
// made, a Qt timer stands in, with the tick shortened by
// requestPreciseWakeups().
struct PreciseWake::Impl
{
    Impl()
        : timer(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS))
    {
        if (!timer)
            return;
        // A synchronisation timer: the wait that sees it signalled resets it.
        notifier = std::make_unique<QWinEventNotifier>(timer);
    }
    ~Impl()
    {
        notifier.reset();
        if (timer)
            CloseHandle(timer);
    }

    void arm(Clock::time_point at)
    {
        if (!timer) {
            armQtTimer(fallback, at);
            return;
        }
        // Relative due times are negative, in units of 100 ns.
        const auto remaining = std::chrono::duration_cast<std::chrono::nanoseconds>(at - Clock::now()).count();
        LARGE_INTEGER due{};
        due.QuadPart = -std::max<long long>(remaining / 100, 1);
        SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
    }

    HANDLE timer;
    std::unique_ptr<QWinEventNotifier> notifier;
    QTimer fallback;
};

// One-millisecond system timer tick for the whole run, for the fallback and
// for the reader library's own sleeps.
void requestPreciseWakeups() { timeBeginPeriod(1); }

#else

struct PreciseWake::Impl
{
    QTimer timer;
    void arm(Clock::time_point at) { armQtTimer(timer, at); }
};

void requestPreciseWakeups() {}

#endif

PreciseWake::PreciseWake() : m_impl(std::make_unique<Impl>()) {}

PreciseWake::~PreciseWake() = default;

void PreciseWake::arm(Clock::time_point at)
{
    m_armedFor = at;
    m_impl->arm(at);
}

} // namespace kv
