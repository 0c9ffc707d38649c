// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The automatic test of the main window: the start/stop toggle, the timer
// tick that runs one pass, the pass itself and the read of one step.
//
// Whether the test runs is held only in the caption of the toggle button.
// Passes follow each other one timer interval apart; between the steps of a
// pass DelayMs processes events, so every other handler, the toggle included,
// can run in the middle of a pass.
//
// The log holds the current pass only, so the test also keeps totals since
// its start (shown in the frame fraStats) and, when asked to, a record file:
// every step line the log shows is counted once, whichever pass it belongs to.

#include <chrono>
#include <cstdio>

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "CardRead.h"
#include "DelayMs.h"
#include "Form1.h"
#include "LogBox.h"
#include "NumericText.h"
#include "ReadFormat.h"
#include "Shape.h"
#include "TestRecord.h"

using namespace kv;

using namespace std::chrono_literals;

namespace {

const QString kStopped = QStringLiteral("自动测试开始"); // the caption while the test is stopped
const QString kRunning = QStringLiteral("自动测试关闭"); // the caption while it runs
constexpr auto kPassInterval = 10ms;
constexpr double kStepWaitMs = 10;
constexpr int kPassColor = 49152; // green
constexpr int kFailColor = 255;   // red

} // namespace

// Enabling a timer that already runs leaves its countdown alone.
void Form1::enableTimer1()
{
    if (Timer1->isActive())
        return;
    Timer1->start();
    m_timer1Wake.arm(PreciseWake::Clock::now() + Timer1->intervalAsDuration());
}

void Form1::cmdZiDongCeShi_Click()
{
    if (cmdZiDongCeShi->text() == kStopped) {
        if (!openOrNotice())
            return;
        enableTimer1();
        cmdZiDongCeShi->setText(kRunning);
        startStatistics();
        return;
    }
    cmdZiDongCeShi->setText(kStopped);
    Timer1->stop();
    if (m_port.isOpen())
        closePortSequence();
    stopStatistics();
}

void Form1::Timer1_Timer()
{
    Timer1->stop();
    Timer1->setInterval(kPassInterval);
    txtTestResult->clearText();
    subTest();
    enableTimer1();
    if (cmdZiDongCeShi->text() == kStopped)
        Timer1->stop();
}

void Form1::subTest()
{
    if (cmdZiDongCeShi->text() == kRunning)
        Timer1->stop();
    const std::size_t depth = m_passNumbers.size();
    m_passNumbers.push_back(++m_passesStarted);
    for (std::int16_t step = 0; step < kFormatCount; ++step) {
        // A step the port guard refused read nothing: it fails with an empty
        // card number rather than being judged on an older reading.
        const bool read = subTestStep(step);
        const QString reference = txtZiFu[static_cast<std::size_t>(step)]->text();
        const bool passed = read && stepPassed(reference, sString);
        const QString cardNumber = read ? sString : QString();

        txtTestResult->appendLine(QStringLiteral("第") + kv::numberText(step)
                                  + (passed ? QStringLiteral("步测试成功，卡号为") : QStringLiteral("步测试错误，卡号为"))
                                  + cardNumber);
        countStep(depth, step, reference, cardNumber, passed);
        Shape1->setFillColor(colorFromValue(passed ? kPassColor : kFailColor));
        DelayMs(kStepWaitMs, m_stepWake);
    }
    m_passNumbers.pop_back();
    if (m_passNumbers.empty())
        finishRecordedRun();
}

// Reads the card once in `format` for a test step, keeping the result only in
// sString; the read gives the cues on the reader. Returns false when the port
// guard refused the step (sString then keeps its value).
bool Form1::subTestStep(const std::int16_t &format)
{
    if (notOpenGuard())
        return false;
    sString.clear();
    const CardReading reading = readTestStep(m_reader, m_module, static_cast<std::uint8_t>(format));
    setStatus(reading.message());
    if (!reading.ok())
        return true;
    sString = reading.hex;
    countSuccess();
    return true;
}

void Form1::startStatistics()
{
    // A run stopped during a pass that is still going ends here.
    finishRecordedRun();
    const auto now = TestStatistics::Clock::now();
    m_statistics.start(now);
    // Passes still running belong to the new run and are its first ones.
    for (std::size_t i = 0; i < m_passNumbers.size(); ++i)
        m_passNumbers[i] = static_cast<std::int64_t>(i) + 1;
    m_passesStarted = static_cast<std::int64_t>(m_passNumbers.size());
    if (m_record && !m_record->recordStart(QDateTime::currentDateTime(), Label_RetInfo->text()))
        recordFailed();
    m_statisticsFrame->show(m_statistics, now, true);
}

// Stops the clock and shows the final totals. They go to the record once no
// pass runs any more; at shut-down at once, as nothing runs on after it.
void Form1::stopStatistics()
{
    if (m_statistics.clockRunning()) {
        const auto now = TestStatistics::Clock::now();
        m_statistics.stop(now);
        m_stopPending = true;
        m_statisticsFrame->show(m_statistics, now, true);
    }
    if (m_passNumbers.empty() || m_shuttingDown)
        finishRecordedRun();
}

void Form1::countStep(std::size_t depth, int step, const QString &reference, const QString &reading, bool passed)
{
    if (passed) {
        m_statistics.countPassedStep();
    } else {
        // In UTC, which needs no look-up of the time zone: a failing reader
        // fails every step. It is shown and recorded in local time.
        TestStatistics::Failure failure{QDateTime::currentDateTimeUtc(), m_passNumbers[depth], step,
                                        kv::trimBlanks(reference), reading};
        if (m_record && !m_record->recordFailure(failure, Label_RetInfo->text()))
            recordFailed();
        m_statistics.countFailedStep(std::move(failure));
    }
    if (step == kFormatCount - 1)
        m_statistics.countPass();
    // While the test runs the labels follow a few times a second; after a
    // stop, the steps of the pass still running are shown as they come.
    m_statisticsFrame->show(m_statistics, TestStatistics::Clock::now(), !m_statistics.clockRunning());
}

void Form1::finishRecordedRun()
{
    if (!m_stopPending)
        return;
    m_stopPending = false;
    if (m_record && !m_record->recordStop(QDateTime::currentDateTime(), m_statistics,
                                          m_statistics.elapsed(TestStatistics::Clock::now())))
        recordFailed();
}

void Form1::recordTo(const QString &path)
{
    m_record = std::make_unique<TestRecord>();
    if (!m_record->open(path))
        recordFailed();
}

// Says once why the record cannot be written, and goes on without it.
void Form1::recordFailed()
{
    const QString file = m_record->fileName();
    const QString reason = m_record->errorString();
    m_record.reset();
    std::fprintf(stderr, "kv718st-demo: the test record %s cannot be written: %s; going on without it\n",
                 qUtf8Printable(file), qUtf8Printable(reason));
    if (!m_shuttingDown)
        m_hooks.messageBox(this, QMessageBox::Warning,
                           QStringLiteral("无法写入测试记录文件：%1\n\n原因：%2\n\n程序继续运行，但不再记录测试。")
                               .arg(QDir::toNativeSeparators(file), reason));
}
