// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The automatic test of the main window: the start/stop toggle, the timer
// tick that runs one pass, the pass itself and the read of one step.
//
// Whether the test runs is held only in the caption of the toggle button,
// compared with the caption of the language in use.
// Passes follow each other one timer interval apart; between the steps of a
// pass DelayMs processes events, so every other handler, the toggle included,
// can run in the middle of a pass.
//
// The log holds the current pass only, so the test also keeps totals since
// its start (shown in the frame fraStats) and, when asked to, a record file:
// every step line the log shows is counted once, whichever pass it belongs to,
// by the endurance run the console program's test shares (EnduranceRun).

#include <chrono>
#include <cstdio>

#include <QCoreApplication>
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

using namespace kv;

using namespace std::chrono_literals;

namespace {

// The toggle's caption while the test is stopped: its caption in the layout.
QString stoppedCaption() { return QCoreApplication::translate("Layout", "自动测试开始"); }
// Its caption while the test runs.
QString runningCaption() { return QCoreApplication::translate("Layout", "自动测试关闭"); }
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
    if (cmdZiDongCeShi->text() == stoppedCaption()) {
        if (!openOrNotice())
            return;
        enableTimer1();
        cmdZiDongCeShi->setText(runningCaption());
        m_run.start({Label_RetInfo->text(), m_port.openedPort(), m_port.openedBaud()});
        m_statisticsFrame->show(m_run.totals(), TestStatistics::Clock::now(), true);
        return;
    }
    cmdZiDongCeShi->setText(stoppedCaption());
    Timer1->stop();
    if (m_port.isOpen())
        closePortSequence();
    stopTest(EnduranceRun::StopRecording::WhenPassesEnd);
}

// Stops the clock and shows the final totals, which go to the record once
// no pass runs any more, or at once at shut-down.
void Form1::stopTest(EnduranceRun::StopRecording when)
{
    const bool wasRunning = m_run.totals().clockRunning();
    m_run.stop(when);
    if (wasRunning)
        m_statisticsFrame->show(m_run.totals(), TestStatistics::Clock::now(), true);
}

void Form1::Timer1_Timer()
{
    Timer1->stop();
    Timer1->setInterval(kPassInterval);
    txtTestResult->clearText();
    subTest();
    enableTimer1();
    if (cmdZiDongCeShi->text() == stoppedCaption())
        Timer1->stop();
}

void Form1::subTest()
{
    if (cmdZiDongCeShi->text() == runningCaption())
        Timer1->stop();
    const std::size_t pass = m_run.beginPass();
    for (std::int16_t step = 0; step < kFormatCount; ++step) {
        // A step the port guard refused read nothing: it fails with an empty
        // card number rather than being judged on an older reading.
        const bool read = subTestStep(step);
        const QString cardNumber = read ? sString : QString();
        const bool passed = m_run.countStep(pass, {step, txtZiFu[static_cast<std::size_t>(step)]->text(), cardNumber,
                                                   read, Label_RetInfo->text()});
        txtTestResult->appendLine((passed ? QCoreApplication::translate("Log", "第%1步测试成功，卡号为%2")
                                           : QCoreApplication::translate("Log", "第%1步测试错误，卡号为%2"))
                                      .arg(numberText(step), cardNumber));
        // While the test runs the totals follow a few times a second; after a
        // stop, the steps of the pass still running are shown as they come.
        m_statisticsFrame->show(m_run.totals(), TestStatistics::Clock::now(), !m_run.totals().clockRunning());
        Shape1->setFillColor(colorFromValue(passed ? kPassColor : kFailColor));
        DelayMs(kStepWaitMs, m_stepWake);
    }
    m_run.endPass();
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

void Form1::recordTo(const QString &path)
{
    if (!m_run.recordTo(path))
        recordLost(path, m_run.recordError());
}

// Says once why the record cannot be written; the test goes on without it.
void Form1::recordLost(const QString &file, const QString &reason)
{
    std::fprintf(stderr, "kv718st-demo: %s\n", qUtf8Printable(recordLostMessage(file, reason)));
    if (!m_shuttingDown)
        tell(QMessageBox::Warning,
             QCoreApplication::translate("Messages",
                                         "无法写入测试记录文件：%1\n\n原因：%2\n\n程序继续运行，但不再记录测试。")
                 .arg(QDir::toNativeSeparators(file), reason));
}
