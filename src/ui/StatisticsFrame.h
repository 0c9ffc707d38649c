// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <chrono>

#include "TestStatistics.h"

class QDateTime;
class QLabel;
class QWidget;

namespace kv {

// Shows the automatic test's totals in the labels of the frame fraStats.
//
// A running test changes its totals about a hundred times a second; showing
// each change would cost paints nobody can read. While the clock runs the
// labels are therefore brought up to date at most every kInterval, on a step
// that happens anyway (no timer of their own), and at once whenever the
// caller asks for it: at a start or a stop, and for every step while the test
// is stopped.
class StatisticsFrame
{
public:
    static constexpr std::chrono::milliseconds kInterval{250};

    // Finds the labels among the window's children.
    explicit StatisticsFrame(const QWidget &window);

    void show(const TestStatistics &statistics, TestStatistics::Clock::time_point now, bool atOnce);
    // The link to the reader was lost (in red) or is back, at `when`.
    void showLink(bool up, const QDateTime &when);

    // Time of day, step, reading and reference of a failed step.
    static QString failureText(const TestStatistics::Failure &failure);

private:
    QLabel *m_passes = nullptr;
    QLabel *m_steps = nullptr;
    QLabel *m_failures = nullptr;
    QLabel *m_rate = nullptr;
    QLabel *m_elapsed = nullptr;
    QLabel *m_firstFailure = nullptr;
    QLabel *m_lastFailure = nullptr;
    std::array<QLabel *, kFailureKindCount> m_kinds{};
    QLabel *m_link = nullptr;
    TestStatistics::Clock::time_point m_shown{};
};

} // namespace kv
