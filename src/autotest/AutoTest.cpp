// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The automatic test of the main window: the start/stop toggle, the timer
// tick that runs one pass, the pass itself and the read of one step.
//
// Whether the test runs is held only in the caption of the toggle button.
// Passes follow each other one timer interval apart; between the steps of a
// pass DelayMs processes events, so every other handler, the toggle included,
// can run in the middle of a pass.

#include <chrono>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "DelayMs.h"
#include "Form1.h"
#include "LogBox.h"
#include "NumericText.h"
#include "ReadFormat.h"
#include "Reader.h"
#include "Shape.h"

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
        return;
    }
    cmdZiDongCeShi->setText(kStopped);
    Timer1->stop();
    if (m_port.isOpen())
        closePortSequence();
}

void Form1::Timer1_Timer()
{
    Timer1->stop();
    Timer1->setInterval(kPassInterval);
    txtTestResult->setPlainText(QString());
    subTest();
    enableTimer1();
    if (cmdZiDongCeShi->text() == kStopped)
        Timer1->stop();
}

void Form1::subTest()
{
    if (cmdZiDongCeShi->text() == kRunning)
        Timer1->stop();
    for (std::int16_t step = 0; step < kFormatCount; ++step) {
        // A step the port guard refused read nothing: it fails with an empty
        // card number rather than being judged on an older reading.
        const bool read = subTestStep(step);
        // Only ASCII blanks are trimmed from the reference. A full-width blank
        // (U+3000) is kept: no reading ever contains one, so a reference typed
        // with it fails visibly instead of passing on a half-seen typo.
        const QString reference = kv::trimBlanks(txtZiFu[static_cast<std::size_t>(step)]->text());
        const bool passed = read && reference == sString;
        const QString cardNumber = read ? sString : QString();

        txtTestResult->appendLine(QStringLiteral("第") + kv::numberText(step)
                                  + (passed ? QStringLiteral("步测试成功，卡号为") : QStringLiteral("步测试错误，卡号为"))
                                  + cardNumber);
        Shape1->setFillColor(colorFromValue(passed ? kPassColor : kFailColor));
        DelayMs(kStepWaitMs);
    }
}

// Reads the card once in `format` for a test step, keeping the result only in
// sString, and gives the cues on the reader: both LEDs off at the first step,
// a beep and both LEDs on at the last. Returns false when the port guard
// refused the step (sString then keeps its value).
bool Form1::subTestStep(const std::int16_t &format)
{
    if (notOpenGuard())
        return false;
    sString.clear();
    const auto byteFormat = static_cast<std::uint8_t>(format);
    m_module.lastStatus = m_reader.request(0, byteFormat, m_module.cardBuffer.data(), &m_module.requestAux);
    if (m_module.lastStatus != 0) {
        setStatus(QStringLiteral("寻卡操作失败！"));
        return true;
    }
    // The cues' statuses are kept but never reported.
    if (format == 0) {
        m_module.lastStatus = m_reader.light(0, 0);
        m_module.lastStatus = m_reader.light(0, 2);
    } else if (format == 10) {
        m_module.lastStatus = m_reader.beep(0, 30);
        m_module.lastStatus = m_reader.light(0, 1);
        m_module.lastStatus = m_reader.light(0, 3);
    }
    sString = hexRendering(std::span(m_module.cardBuffer.data(), kReadFormats[byteFormat].byteCount()));
    setStatus(QStringLiteral("寻卡成功！"));
    countSuccess();
    return true;
}
