// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "TestStatistics.h"

#include <algorithm>
#include <cmath>

#include <QStringList>

#include "NumericText.h"

namespace kv {

bool stepPassed(const QString &referenceText, const QString &reading)
{
    // Only ASCII blanks are trimmed from the reference. A full-width blank
    // (U+3000) is kept: no reading ever contains one, so a reference typed
    // with it fails visibly instead of passing on a half-seen typo.
    return trimBlanks(referenceText) == reading;
}

void TestStatistics::start(Clock::time_point now)
{
    *this = TestStatistics();
    m_running = true;
    m_started = now;
}

void TestStatistics::stop(Clock::time_point now)
{
    if (!m_running)
        return;
    m_elapsed = now - m_started;
    m_running = false;
}

void TestStatistics::countFailedStep(Failure failure)
{
    ++m_steps;
    ++m_failures;
    ++m_kindFailures[static_cast<std::size_t>(failure.kind)];
    if (failure.step >= 0 && failure.step < kFormatCount)
        ++m_stepFailures[static_cast<std::size_t>(failure.step)];
    if (!m_firstFailure.isValid())
        m_firstFailure = failure.when;
    m_lastFailure = std::move(failure);
}

TestStatistics::Clock::duration TestStatistics::elapsed(Clock::time_point now) const
{
    return m_running ? now - m_started : m_elapsed;
}

QString failureRateText(std::int64_t failures, std::int64_t steps)
{
    if (failures <= 0 || steps <= 0)
        return QStringLiteral("0%");
    const double percent = 100.0 * double(failures) / double(steps);
    // Three significant digits: as many decimals as the leading digit needs.
    const int decimals = std::max(0, 2 - int(std::floor(std::log10(percent))));
    QString text = QString::number(percent, 'f', decimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text + u'%';
}

QString elapsedText(TestStatistics::Clock::duration elapsed)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    const auto total = std::max<long long>(0, seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(total / 3600)
        .arg(total / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(total % 60, 2, 10, QLatin1Char('0'));
}

QString failureKindName(FailureKind kind)
{
    switch (kind) {
    case FailureKind::NoReading:
        return QStringLiteral("no_reading");
    case FailureKind::WrongReading:
        return QStringLiteral("wrong_reading");
    case FailureKind::PortNotOpen:
        return QStringLiteral("port_not_open");
    }
    return {};
}

QString stepFailuresText(const TestStatistics &totals)
{
    QStringList counts;
    for (const std::int64_t count : totals.stepFailures())
        counts << QString::number(count);
    return counts.join(u',');
}

} // namespace kv
