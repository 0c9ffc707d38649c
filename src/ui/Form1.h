// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QHash>
#include <QMessageBox>
#include <QWidget>

#include "Module.h"
#include "PortConnection.h"
#include "PreciseWake.h"
#include "StatisticsFrame.h"
#include "EnduranceRun.h"
#include "TestStatistics.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace kv {
class LogBox;
class Reader;
class Shape;
} // namespace kv

// The tool's one window.
//
// It owns every control, the port state (error_com, inside PortConnection),
// the last reading sString, and the state shared with the reader library
// (Module). Each control event has one handler named after the control; the
// handlers of a subsystem live in that subsystem's folder: the card reads and
// read-all in card/, the automatic test in autotest/, the rest here. All of
// them run on the UI thread and call the reader synchronously; the automatic
// test's waits process events, so any handler may run inside a test pass.
class Form1 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    // The window's ways out of itself, replaceable by tests: every modal
    // message box goes through messageBox, a box that waits for nobody (what
    // the reader library or the record says while a test runs: an unattended
    // test must not stop at a box) through notice, which falls back to
    // messageBox where it is not set, and shut-down ends the program through
    // endProgram.
    using MessageBox = std::function<void(QWidget *parent, QMessageBox::Icon icon, const QString &text)>;
    struct Hooks
    {
        MessageBox messageBox;
        std::function<void()> endProgram;
        MessageBox notice;
    };
    static Hooks defaultHooks();

    explicit Form1(kv::Reader &reader, Hooks hooks = defaultHooks(), QWidget *parent = nullptr);
    ~Form1() override;

    // Tells the operator that the reader library, or one of its functions,
    // could not be found, and how to fix it. During shut-down it only writes
    // to standard error.
    void showLibraryMissing(const QString &what, const QString &reason);
    // Tells the operator why the reader library's calls fail, in the
    // library's own words (which say how to fix it). During shut-down it
    // only writes to standard error.
    void showLibraryProblem(const QString &problem);

    // How the record names the reader library: where it was loaded from.
    void setLibraryDescription(std::function<QString()> describe) { m_run.describeLibraryBy(std::move(describe)); }
    // The reader library said that its link to the reader was lost (`up`
    // false) or is back: shown in the statistics frame, counted and recorded
    // by the test.
    void linkChanged(bool up, const QString &text);

    // Records every automatic test in the CSV file `path` from now on. A file
    // that cannot be opened is said in a message box and on standard error,
    // and the program goes on without a record.
    void recordTo(const QString &path);

    const kv::PortConnection &port() const { return m_port; }
    const kv::Module &module() const { return m_module; }
    const QString &readingText() const { return sString; }

    static QString applicationTitle();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void findControls(const QHash<QByteArray, QWidget *> &byName);
    void setUpControls();
    void connectHandlers();
    void Form_Load();
    void Form_Unload();

    // Port sequences shown in the status line.
    bool openPortSequence();
    void closePortSequence();
    // The not-open guard: true (and the message shown) when the port is closed.
    bool notOpenGuard();
    // The already-open notice when the port is open, else the open sequence.
    bool openOrNotice();
    void setStatus(const QString &message);
    void showNotice(const QString &text);
    // A message box that waits for the operator, or, while a test runs, one
    // that does not.
    void tell(QMessageBox::Icon icon, const QString &text);

    // Card reading (card/CardCommands.cpp).
    void cmdRequest_Click(int index);
    void cmdReadAll_Click();
    void countSuccess();

    // Buzzer, indicator and version (ui/Peripherals.cpp).
    void cmdBuzzer_Click();
    void cmdLED_Click();
    void cmdReadVersion_Click();
    int selectedIndicator() const;

    // Automatic test (autotest/AutoTest.cpp).
    void cmdZiDongCeShi_Click();
    void Timer1_Timer();
    void subTest();
    bool subTestStep(const std::int16_t &format);
    void enableTimer1();

    void stopTest(kv::EnduranceRun::StopRecording when);
    void recordLost(const QString &file, const QString &reason);

    kv::Reader &m_reader;
    Hooks m_hooks;
    kv::Module m_module;
    kv::PortConnection m_port{m_reader};
    QString sString;
    bool m_shuttingDown = false;
    // End the waits for Timer1's ticks, and the waits between the test's
    // steps, on time.
    kv::PreciseWake m_timer1Wake;
    kv::PreciseWake m_stepWake;
    // The automatic test's verdicts, totals and record.
    kv::EnduranceRun m_run{[this](const QString &file, const QString &reason) { recordLost(file, reason); }};
    std::optional<kv::StatisticsFrame> m_statisticsFrame;

    QComboBox *cboSetBoud = nullptr;
    QLineEdit *txtBaudRate = nullptr;
    std::array<QPushButton *, 11> cmdRequest{};
    std::array<QLineEdit *, 11> txtZiFu{};
    std::array<QLineEdit *, 5> txtZiFu2{};
    QPushButton *cmdReadAll = nullptr;
    QPushButton *cmdZiDongCeShi = nullptr;
    kv::LogBox *txtTestResult = nullptr;
    QLabel *lblCount = nullptr;
    QLabel *Label_RetInfo = nullptr;
    QPushButton *cmdReadVersion = nullptr;
    QLineEdit *txtVersion = nullptr;
    QComboBox *cboLED = nullptr;
    QPushButton *cmdLED = nullptr;
    QLineEdit *txtBuzzerValue = nullptr;
    QPushButton *cmdBuzzer = nullptr;
    kv::Shape *Shape1 = nullptr;
    QTimer *Timer1 = nullptr;
};
