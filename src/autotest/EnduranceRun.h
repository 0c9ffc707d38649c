// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "TestStatistics.h"

namespace kv {

class TestRecord;

// The rule of the automatic test that the window and the console program
// share: a step's verdict, its counting, the failure's time (taken in UTC,
// shown and written in local time), the totals since the start and the
// record's lines. Each front reads the card and shows the outcome its own
// way; this decides and counts.
//
// Passes may nest: between the steps of its passes the window processes
// events, so a pass started by a timer tick can run to its end inside the wait
// of another. Every step counts, whichever pass it belongs to; the passes of a
// test are numbered from 1 in the order they began, and a pass still running
// when the test starts again is renumbered as one of the new test's first.
// The totals of a test stopped during a pass are final, and recorded, once no
// pass runs any more.
class EnduranceRun
{
public:
    using Clock = TestStatistics::Clock;

    // Told once when the record can no longer be written, with the file and
    // the reason; the run goes on without a record.
    using RecordLost = std::function<void(const QString &file, const QString &reason)>;

    // What one step found.
    struct Step
    {
        int step = 0;        // the format read, 0 to 10
        QString reference;   // the reference as typed
        QString reading;     // the hexadecimal reading; empty when nothing was read
        bool read = true;    // false when the step found the port closed and read nothing
        QString status;      // the status line after the step
    };

    // How a test started, for the record's start line.
    struct Start
    {
        QString status; // the status line after the port was opened
        std::int32_t port = 0;
        std::int32_t baud = 0;
    };

    explicit EnduranceRun(RecordLost recordLost = {});
    ~EnduranceRun();
    EnduranceRun(const EnduranceRun &) = delete;
    EnduranceRun &operator=(const EnduranceRun &) = delete;

    // Records every test in the CSV file `path` from now on. False when the
    // file cannot be opened; recordError() says why.
    bool recordTo(const QString &path);
    QString recordError() const { return m_recordError; }
    // How the record's start line names the reader library: where it was
    // loaded from, asked at each start.
    void describeLibraryBy(std::function<QString()> describe) { m_describeLibrary = std::move(describe); }

    void start(const Start &start);
    // The test stops: the clock stops and the totals are final. They are
    // recorded once no pass runs any more, or at once (at shut-down, after
    // which nothing runs on).
    enum class StopRecording { WhenPassesEnd, AtOnce };
    void stop(StopRecording when = StopRecording::WhenPassesEnd);

    // A pass begins; the handle names it in countStep() until endPass().
    std::size_t beginPass();
    void endPass();
    // Judges one step of the pass `pass` and counts it, and returns the
    // verdict: a step that found the port closed fails; any other passes when
    // its reading equals the reference (stepPassed), so a failed read, whose
    // reading is empty, passes only an empty reference. A failed step is of
    // the kind PortNotOpen when it found the port closed or the link to the
    // reader lost, NoReading when nothing was read, else WrongReading.
    bool countStep(std::size_t pass, const Step &step);

    // The reader library said that its link to the reader was lost (`up`
    // false) or is back, in `text`. The steps while it is lost found the port
    // closed; during a test the record gets a line for it.
    void linkChanged(bool up, const QString &text);
    bool linkUp() const { return m_linkUp; }

    const TestStatistics &totals() const { return m_totals; }
    std::int64_t passNumber(std::size_t pass) const { return m_passNumbers[pass]; }
    bool passRunning() const { return !m_passNumbers.empty(); }

private:
    void finishRecording();
    void recordFailed();

    RecordLost m_recordLost;
    std::function<QString()> m_describeLibrary;
    TestStatistics m_totals;
    std::unique_ptr<TestRecord> m_record;
    QString m_recordFile;
    QString m_recordError;
    // The numbers of the passes in progress, outermost first.
    std::vector<std::int64_t> m_passNumbers;
    std::int64_t m_passesStarted = 0;
    bool m_stopPending = false; // stopped: the stop line waits for the passes
    bool m_linkUp = true;
};

// The line that says the record cannot be written and the program goes on
// without it, as both programs write it on standard error.
QString recordLostMessage(const QString &file, const QString &reason);

} // namespace kv
