// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "EnduranceRun.h"

#include <QDateTime>

#include "NumericText.h"
#include "ReadFormat.h"
#include "TestRecord.h"

namespace kv {

EnduranceRun::EnduranceRun(RecordLost recordLost) : m_recordLost(std::move(recordLost)) {}

EnduranceRun::~EnduranceRun() = default;

bool EnduranceRun::recordTo(const QString &path)
{
    m_recordFile = path;
    m_record = std::make_unique<TestRecord>();
    if (m_record->open(path))
        return true;
    m_recordError = m_record->errorString();
    m_record.reset();
    return false;
}

void EnduranceRun::start(const Start &start)
{
    // A test stopped during a pass that is still going ends here.
    finishRecording();
    m_totals.start(Clock::now());
    // Passes still running belong to the new test and are its first ones.
    for (std::size_t i = 0; i < m_passNumbers.size(); ++i)
        m_passNumbers[i] = static_cast<std::int64_t>(i) + 1;
    m_passesStarted = static_cast<std::int64_t>(m_passNumbers.size());
    const QString library = m_describeLibrary ? m_describeLibrary() : QString();
    if (m_record && !m_record->recordStart(QDateTime::currentDateTimeUtc(), start, library))
        recordFailed();
}

void EnduranceRun::stop(StopRecording when)
{
    if (m_totals.clockRunning()) {
        m_totals.stop(Clock::now());
        m_stopPending = true;
    }
    if (m_passNumbers.empty() || when == StopRecording::AtOnce)
        finishRecording();
}

std::size_t EnduranceRun::beginPass()
{
    m_passNumbers.push_back(++m_passesStarted);
    return m_passNumbers.size() - 1;
}

void EnduranceRun::endPass()
{
    m_passNumbers.pop_back();
    if (m_passNumbers.empty())
        finishRecording();
}

bool EnduranceRun::countStep(std::size_t pass, const Step &step)
{
    const bool passed = step.read && stepPassed(step.reference, step.reading);
    if (passed) {
        m_totals.countPassedStep();
    } else {
        // In UTC, which needs no look-up of the time zone: a failing reader
        // fails every step. It is shown and recorded in local time.
        const FailureKind kind = !step.read || !m_linkUp ? FailureKind::PortNotOpen
                                 : step.reading.isEmpty() ? FailureKind::NoReading
                                                          : FailureKind::WrongReading;
        TestStatistics::Failure failure{QDateTime::currentDateTimeUtc(), m_passNumbers[pass], step.step,
                                        trimBlanks(step.reference), step.reading, kind};
        if (m_record && !m_record->recordFailure(failure, step.status))
            recordFailed();
        m_totals.countFailedStep(std::move(failure));
    }
    if (step.step == kFormatCount - 1)
        m_totals.countPass();
    return passed;
}

void EnduranceRun::linkChanged(bool up, const QString &text)
{
    m_linkUp = up;
    const bool testing = m_totals.clockRunning() || passRunning();
    if (testing && m_record && !m_record->recordLink(QDateTime::currentDateTimeUtc(), up, text))
        recordFailed();
}

void EnduranceRun::finishRecording()
{
    if (!m_stopPending)
        return;
    m_stopPending = false;
    if (m_record && !m_record->recordStop(QDateTime::currentDateTimeUtc(), m_totals, m_totals.elapsed(Clock::now())))
        recordFailed();
}

// Says once why the record cannot be written, and goes on without it.
void EnduranceRun::recordFailed()
{
    m_recordError = m_record->errorString();
    m_record.reset();
    if (m_recordLost)
        m_recordLost(m_recordFile, m_recordError);
}

QString recordLostMessage(const QString &file, const QString &reason)
{
    return QStringLiteral("the test record %1 cannot be written: %2; going on without it").arg(file, reason);
}

} // namespace kv
