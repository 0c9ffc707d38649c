// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include <QDateTime>
#include <QString>

namespace kv {

// Whether a test step passed: its reading equals the reference exactly,
// case-sensitively, once the blanks (U+0020 only) around the reference are
// removed. The window's test and the console program's test both judge by it.
bool stepPassed(const QString &referenceText, const QString &reading);

// The totals of an automatic test since it was started. The log of the test
// holds one pass only; these keep what every pass showed: how many passes
// ended, how many step lines were logged, how many of them failed, how long
// the test has run, and the last failure.
class TestStatistics
{
public:
    using Clock = std::chrono::steady_clock;

    struct Failure
    {
        QDateTime when; // shown and recorded in local time
        std::int64_t pass = 0;
        int step = 0;
        QString reference;
        QString reading;
    };

    // Resets the totals and starts the clock.
    void start(Clock::time_point now);
    // Stops the clock; the totals stay until the next start.
    void stop(Clock::time_point now);

    // One step line logged: a passed one, or a failed one with what failed.
    void countPassedStep() { ++m_steps; }
    void countFailedStep(Failure failure);
    // A pass whose last step has been logged.
    void countPass() { ++m_passes; }

    std::int64_t passes() const { return m_passes; }
    std::int64_t steps() const { return m_steps; }
    std::int64_t failures() const { return m_failures; }
    const std::optional<Failure> &lastFailure() const { return m_lastFailure; }
    bool clockRunning() const { return m_running; }
    // Running time of the test: up to now while it runs, up to the stop after.
    Clock::duration elapsed(Clock::time_point now) const;

private:
    std::int64_t m_passes = 0;
    std::int64_t m_steps = 0;
    std::int64_t m_failures = 0;
    std::optional<Failure> m_lastFailure;
    bool m_running = false;
    Clock::time_point m_started{};
    Clock::duration m_elapsed{};
};

// The failure share as a percentage with three significant digits and no
// exponent, so that both 1 in 10 and 1 in a million read at a glance:
// "10%", "33.3%", "0.0001%"; "0%" without failures or steps.
QString failureRateText(std::int64_t failures, std::int64_t steps);

// H:MM:SS, the hours unbounded.
QString elapsedText(TestStatistics::Clock::duration elapsed);

} // namespace kv
