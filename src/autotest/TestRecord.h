// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include "EnduranceRun.h"
#include "TestStatistics.h"

class QDateTime;

namespace kv {

// The record of automatic tests: a CSV file (RFC 4180: CR LF line ends; a
// field that holds a comma, a double quote, a line feed or a carriage return
// in double quotes, its quotes doubled) in UTF-8 with a byte-order mark and a
// header line, which a spreadsheet opens as it is. One line when a test starts
// (with the reader library as loaded, the port, the rate and the program's
// version), one per failed step (with its kind), one each time the reader
// library says its link to the reader was lost or is back, and one with the
// totals when the test stops:
//
//   time,event,pass,step,reference,reading,status,passes,steps,failures,failure_rate,elapsed,
//   kind,no_reading,wrong_reading,port_not_open,first_failure,failures_by_step,library,port,baud,version
//
// (one line in the file). event is start, fail, lost, back or stop.
// failures_by_step holds the failed steps of each format 0 to 10, separated
// by commas (and so quoted). The file is only ever appended to, so runs add
// up; a file whose first line is another header (an earlier layout, or not a
// record) is not touched. Each line goes to the system in one write as soon as it is made,
// so a killed program loses nothing it has recorded. A field that a
// spreadsheet would take for a formula (one beginning with = + - @, a tab or
// a carriage return) gets a leading apostrophe, and so stays text.
//
// When opening or a write fails, the record says why and closes: later lines
// are dropped, and the caller goes on without a record.
class TestRecord
{
public:
    // Opens `path` for appending, making the file if needed; an empty file
    // first gets the byte-order mark and the header line.
    bool open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }
    // Why the last open or write failed.
    const QString &errorString() const { return m_error; }

    bool recordStart(const QDateTime &when, const EnduranceRun::Start &start, const QString &library);
    bool recordFailure(const TestStatistics::Failure &failure, const QString &status);
    bool recordLink(const QDateTime &when, bool up, const QString &text);
    bool recordStop(const QDateTime &when, const TestStatistics &totals, TestStatistics::Clock::duration elapsed);

    // One field as written to the file.
    static QString field(const QString &value);

private:
    // Fields by their column; the others stay empty.
    using Fields = QList<std::pair<const char *, QString>>;
    bool write(const Fields &fields);
    // Whether an existing file starts with this layout's header.
    bool checkLayout();

    QFile m_file;
    QString m_error;
};

} // namespace kv
