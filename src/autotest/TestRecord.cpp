// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "TestRecord.h"

#include <QDateTime>

namespace kv {

namespace {

const QStringList kHeader = {
    QStringLiteral("time"),    QStringLiteral("event"),    QStringLiteral("pass"),
    QStringLiteral("step"),    QStringLiteral("reference"), QStringLiteral("reading"),
    QStringLiteral("status"),  QStringLiteral("passes"),   QStringLiteral("steps"),
    QStringLiteral("failures"), QStringLiteral("failure_rate"), QStringLiteral("elapsed"),
};

QString timeText(const QDateTime &when)
{
    return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

} // namespace

bool TestRecord::open(const QString &path)
{
    m_file.setFileName(path);
    // Unbuffered: every line reaches the system in the write that makes it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    if (m_file.size() > 0)
        return true;
    // The mark tells spreadsheets that the file is UTF-8.
    const QByteArray mark("\xEF\xBB\xBF");
    if (m_file.write(mark) != mark.size()) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    return write(kHeader);
}

bool TestRecord::recordStart(const QDateTime &when, const QString &status)
{
    return write({timeText(when), QStringLiteral("start"), {}, {}, {}, {}, status, {}, {}, {}, {}, {}});
}

bool TestRecord::recordFailure(const TestStatistics::Failure &failure, const QString &status)
{
    return write({timeText(failure.when), QStringLiteral("fail"), QString::number(failure.pass),
                  QString::number(failure.step), failure.reference, failure.reading, status, {}, {}, {}, {}, {}});
}

bool TestRecord::recordStop(const QDateTime &when, const TestStatistics &totals, TestStatistics::Clock::duration elapsed)
{
    return write({timeText(when), QStringLiteral("stop"), {}, {}, {}, {}, {}, QString::number(totals.passes()),
                  QString::number(totals.steps()), QString::number(totals.failures()),
                  failureRateText(totals.failures(), totals.steps()), elapsedText(elapsed)});
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

bool TestRecord::write(const QStringList &fields)
{
    if (!m_file.isOpen())
        return false;
    QStringList written;
    written.reserve(fields.size());
    for (const QString &value : fields)
        written << field(value);
    // The whole line in one write.
    const QByteArray line = (written.join(u',') + QStringLiteral("\r\n")).toUtf8();
    if (m_file.write(line) == line.size())
        return true;
    m_error = m_file.errorString();
    m_file.close();
    return false;
}

} // namespace kv
