// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

#include <QDateTime>
#include <QString>

#include "ReadFormat.h"

namespace kv {

// Whether a test step passed: its reading equals the reference exactly,
// case-sensitively, once the blanks (U+0020 only) around the reference are
// removed. The window's test and the console program's test both judge by it.
bool stepPassed(const QString &referenceText, const QString &reading);

// What kind of failure a failed step was.
enum class FailureKind {
    NoReading,    // the read failed: nothing came back
    WrongReading, // a reading came back and differs from the reference
    PortNotOpen,  // the step found the port closed, or the link to the reader lost
};
inline constexpr std::size_t kFailureKindCount = 3;

// The totals of an automatic test since it was started. The log of the test
// holds one pass only; these keep what every pass showed: how many passes
// ended, how many step lines were logged, how many of them failed and of
// which kind at which step, how long the test has run, and the first and the
// last failure.
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
        FailureKind kind = FailureKind::WrongReading;
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
    std::int64_t failures(FailureKind kind) const { return m_kindFailures[static_cast<std::size_t>(kind)]; }
    // Failed steps by the format of the step, 0 to 10.
    const std::array<std::int64_t, kFormatCount> &stepFailures() const { return m_stepFailures; }
    // When the first failure since the start came; invalid while there is none.
    const QDateTime &firstFailure() const { return m_firstFailure; }
    const std::optional<Failure> &lastFailure() const { return m_lastFailure; }
    bool clockRunning() const { return m_running; }
    // Running time of the test: up to now while it runs, up to the stop after.
    Clock::duration elapsed(Clock::time_point now) const;

private:
    std::int64_t m_passes = 0;
    std::int64_t m_steps = 0;
    std::int64_t m_failures = 0;
    std::array<std::int64_t, kFailureKindCount> m_kindFailures{};
    std::array<std::int64_t, kFormatCount> m_stepFailures{};
    QDateTime m_firstFailure;
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

// The kind's name in the record and the console's output: no_reading,
// wrong_reading, port_not_open.
QString failureKindName(FailureKind kind);

// The failed steps of each format 0 to 10, separated by commas: "0,0,2,0,…".
QString stepFailuresText(const TestStatistics &totals);

} // namespace kv
