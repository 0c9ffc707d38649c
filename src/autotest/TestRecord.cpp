// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "TestRecord.h"

#include <algorithm>
#include <array>

#include <QDateTime>

namespace kv {

namespace {

// The columns, in their order in the file. The first twelve are those of
// records of earlier versions, in their places.
constexpr std::array kColumns = {
    "time",          "event",          "pass",         "step",         "reference",        "reading",
    "status",        "passes",         "steps",        "failures",     "failure_rate",     "elapsed",
    "kind",          "no_reading",     "wrong_reading", "port_not_open", "first_failure", "failures_by_step",
    "library",       "port",           "baud",         "version",
};

QByteArray headerLine()
{
    QByteArray line;
    for (const char *column : kColumns)
        line += (line.isEmpty() ? "" : ",") + QByteArray(column);
    return line;
}

// The byte-order mark tells spreadsheets that the file is UTF-8.
const QByteArray kByteOrderMark("\xEF\xBB\xBF");

QString timeText(const QDateTime &when)
{
    return when.isValid() ? when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) : QString();
}

} // namespace

bool TestRecord::open(const QString &path)
{
    m_file.setFileName(path);
    if (!checkLayout())
        return false;
    // Unbuffered: every line reaches the system in the write that makes it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    if (m_file.size() > 0)
        return true;
    const QByteArray head = kByteOrderMark + headerLine() + "\r\n";
    if (m_file.write(head) == head.size())
        return true;
    m_error = m_file.errorString();
    m_file.close();
    return false;
}

// A file that has lines already must start with this layout's header, or
// lines of this layout would make it a CSV file whose lines do not match its
// header: it is left alone.
bool TestRecord::checkLayout()
{
    QFile existing(m_file.fileName());
    if (!existing.exists() || existing.size() == 0)
        return true;
    if (!existing.open(QIODevice::ReadOnly)) {
        m_error = existing.errorString();
        return false;
    }
    QByteArray first = existing.readLine(4096);
    if (first.startsWith(kByteOrderMark))
        first.remove(0, kByteOrderMark.size());
    if (first.trimmed() == headerLine())
        return true;
    m_error = first.startsWith("time,event,")
                  ? QStringLiteral("the file is a record of an earlier version, with other columns; name a new file")
                  : QStringLiteral("the file is not a test record of this program; name a new file");
    return false;
}

bool TestRecord::recordStart(const QDateTime &when, const EnduranceRun::Start &start, const QString &library)
{
    return write({{"time", timeText(when)},
                  {"event", QStringLiteral("start")},
                  {"status", start.status},
                  {"library", library},
                  {"port", QString::number(start.port)},
                  {"baud", QString::number(start.baud)},
                  {"version", QStringLiteral(KV_VERSION)}});
}

bool TestRecord::recordFailure(const TestStatistics::Failure &failure, const QString &status)
{
    return write({{"time", timeText(failure.when)},
                  {"event", QStringLiteral("fail")},
                  {"pass", QString::number(failure.pass)},
                  {"step", QString::number(failure.step)},
                  {"reference", failure.reference},
                  {"reading", failure.reading},
                  {"status", status},
                  {"kind", failureKindName(failure.kind)}});
}

bool TestRecord::recordLink(const QDateTime &when, bool up, const QString &text)
{
    return write({{"time", timeText(when)}, {"event", up ? QStringLiteral("back") : QStringLiteral("lost")},
                  {"status", text}});
}

bool TestRecord::recordStop(const QDateTime &when, const TestStatistics &totals, TestStatistics::Clock::duration elapsed)
{
    return write({{"time", timeText(when)},
                  {"event", QStringLiteral("stop")},
                  {"passes", QString::number(totals.passes())},
                  {"steps", QString::number(totals.steps())},
                  {"failures", QString::number(totals.failures())},
                  {"failure_rate", failureRateText(totals.failures(), totals.steps())},
                  {"elapsed", elapsedText(elapsed)},
                  {"no_reading", QString::number(totals.failures(FailureKind::NoReading))},
                  {"wrong_reading", QString::number(totals.failures(FailureKind::WrongReading))},
                  {"port_not_open", QString::number(totals.failures(FailureKind::PortNotOpen))},
                  {"first_failure", timeText(totals.firstFailure())},
                  {"failures_by_step", stepFailuresText(totals)}});
}

QString TestRecord::field(const QString &value)
{
    QString text = value;
    if (!text.isEmpty() && QStringView(u"=+-@\t\r").contains(text.front()))
        text.prepend(u'\'');
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

bool TestRecord::write(const Fields &fields)
{
    if (!m_file.isOpen())
        return false;
    std::array<QString, kColumns.size()> line;
    for (const auto &[column, value] : fields) {
        const auto at = std::ranges::find_if(kColumns, [&](const char *name) { return qstrcmp(name, column) == 0; });
        Q_ASSERT_X(at != kColumns.end(), "TestRecord", column);
        line[static_cast<std::size_t>(at - kColumns.begin())] = field(value);
    }
    // The whole line in one write.
    const QByteArray bytes = (QStringList(line.begin(), line.end()).join(u',') + QStringLiteral("\r\n")).toUtf8();
    if (m_file.write(bytes) == bytes.size())
        return true;
    m_error = m_file.errorString();
    m_file.close();
    return false;
}

} // namespace kv
