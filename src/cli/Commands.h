// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <functional>

#include "CommandLine.h"
#include "EnduranceRun.h"
#include "Module.h"
#include "PortConnection.h"

namespace kv {

class Console;
class Interrupt;
class Reader;
class TestStatistics;

// One run of a console command on a reader: open the port, do the command,
// close the port, and say how it went as an exit status. Every command works
// through the core the window uses: the port sequences, the card read and its
// renderings, the test step and its verdict, the totals and the record.
class Commands
{
public:
    Commands(Reader &reader, const Invocation &invocation, Console &console);

    // Runs the command; returns the exit status.
    int run();

    // The library or one of its functions could not be loaded: every call
    // fails from then on, and the run ends with kExitLibraryMissing.
    void setLibraryMissing() { m_libraryMissing = true; }
    // How the record names the reader library: where it was loaded from.
    void setLibraryDescription(std::function<QString()> describe) { m_run.describeLibraryBy(std::move(describe)); }
    // The reader library said that its link to the reader was lost (`up`
    // false) or is back; a running test counts and records it.
    void linkChanged(bool up, const QString &text) { m_run.linkChanged(up, text); }

private:
    int read();
    int watch();
    int test();
    int version();
    int beep();
    int led();
    int ports();
    // A command that prints nothing: open, `call`, close; `failure` says what
    // failed when the call did.
    int command(const std::function<std::int16_t()> &call, const QString &failure);

    // Opens the port; on failure says why and returns the exit status.
    std::optional<int> openPort();
    // Closes the port and returns `status`, or kExitFailed when the close
    // failed (said on standard error).
    int closePort(int status);
    // The exit status of a failed call: the library's absence decides first.
    int failed(const QString &what, std::int16_t status);
    // A call the bridge answered with its status for a DLL or function it
    // could not load counts as a missing library too.
    bool libraryMissing(std::int16_t status) const;

    using References = std::array<QString, kFormatCount>;
    // How a test's passes ended: still going when they ran their course.
    enum class TestEnd { Going, Stopped, LibraryMissing };
    bool takeReferences(References &references);
    TestEnd runPasses(const References &references, Interrupt &interrupt);
    TestEnd testStep(std::size_t pass, int step, const QString &reference);
    void showTestProgress(const TestStatistics &totals);

    Reader &m_reader;
    const Invocation &m_invocation;
    Console &m_console;
    Module m_module;
    PortConnection m_port{m_reader};
    bool m_libraryMissing = false;
    QString m_openedMessage; // the status line of the open, for the record
    // The test's verdicts, totals and record.
    EnduranceRun m_run;
};

} // namespace kv
