// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "Commands.h"

#include <algorithm>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "CardRead.h"
#include "Console.h"
#include "Interrupt.h"
#include "NumericText.h"
#include "Reader.h"
#include "ReaderVersion.h"
#include "EnduranceRun.h"
#include "TestStatistics.h"

namespace kv {

using namespace std::chrono_literals;

namespace {

// The window's wait after each step of its test.
constexpr auto kStepWait = 10ms;
constexpr auto kProgressInterval = 250ms;         // the progress line on a terminal
constexpr auto kSummaryInterval = 10s;            // a summary line otherwise
constexpr std::int16_t kBridgeMissingStatus = -1; // the Wine bridge: DLL or function not loaded


QString jsonLine(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// The reading of a format as data: format, hexadecimal and, for the decimal
// formats, the text.
QStringList readingFields(int format, const CardReading &reading)
{
    QStringList fields{numberText(format), reading.hex};
    if (!reading.text.isEmpty())
        fields << reading.text;
    return fields;
}

void addReading(QJsonObject &object, int format, const CardReading &reading)
{
    object.insert(QStringLiteral("format"), format);
    object.insert(QStringLiteral("hex"), reading.hex);
    if (!reading.text.isEmpty())
        object.insert(QStringLiteral("text"), reading.text);
}

// Local time with its offset from UTC and milliseconds:
// 2026-12-07T18:13:38.508+01:00.
QString isoText(const QDateTime &when)
{
    const QDateTime local = when.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString totalsText(const TestStatistics &totals, TestStatistics::Clock::time_point now)
{
    return QStringLiteral("passes=%1 steps=%2 failures=%3 failure_rate=%4 elapsed=%5 "
                          "no_reading=%6 wrong_reading=%7 port_not_open=%8 first_failure=%9 failures_by_step=%10")
        .arg(QString::number(totals.passes()), QString::number(totals.steps()), QString::number(totals.failures()),
             failureRateText(totals.failures(), totals.steps()), elapsedText(totals.elapsed(now)),
             QString::number(totals.failures(FailureKind::NoReading)),
             QString::number(totals.failures(FailureKind::WrongReading)),
             QString::number(totals.failures(FailureKind::PortNotOpen)),
             totals.firstFailure().isValid() ? isoText(totals.firstFailure()) : QStringLiteral("none"),
             stepFailuresText(totals));
}

} // namespace

Commands::Commands(Reader &reader, const Invocation &invocation, Console &console)
    : m_reader(reader),
      m_invocation(invocation),
      m_console(console),
      m_run([this](const QString &file, const QString &reason) { m_console.message(recordLostMessage(file, reason)); })
{}

int Commands::run()
{
    switch (m_invocation.command) {
    case Command::Read:
        return read();
    case Command::Watch:
        return watch();
    case Command::Test:
        return test();
    case Command::Version:
        return version();
    case Command::Beep:
        return beep();
    case Command::Led:
        return led();
    case Command::Ports:
        return ports();
    }
    return kExitUsage;
}

bool Commands::libraryMissing(std::int16_t status) const
{
    return m_libraryMissing || (m_invocation.reader == QLatin1String("wine") && status == kBridgeMissingStatus);
}

std::optional<int> Commands::openPort()
{
    const PortConnection::Outcome outcome = m_port.open(m_invocation.port, m_invocation.baud);
    if (outcome.ok) {
        m_openedMessage = outcome.message;
        return std::nullopt;
    }
    if (libraryMissing(outcome.status))
        return kExitLibraryMissing;
    m_console.message(QStringLiteral("port %1 could not be opened at %2 baud (status %3)")
                          .arg(m_invocation.port)
                          .arg(m_invocation.baud)
                          .arg(outcome.status));
    return kExitPortNotOpened;
}

int Commands::closePort(int status)
{
    if (!m_port.isOpen())
        return status;
    const PortConnection::Outcome outcome = m_port.close();
    if (outcome.ok)
        return status;
    return std::max(status, failed(QStringLiteral("the port could not be closed"), outcome.status));
}

int Commands::failed(const QString &what, std::int16_t status)
{
    if (libraryMissing(status))
        return kExitLibraryMissing;
    m_console.message(QStringLiteral("%1 (status %2)").arg(what).arg(status));
    return kExitFailed;
}

int Commands::read()
{
    if (const std::optional<int> status = openPort())
        return *status;
    int status = kExitSuccess;
    QStringList lines;
    QJsonArray formats;
    const int first = m_invocation.format.value_or(0);
    const int last = m_invocation.format.value_or(kFormatCount - 1);
    for (int format = first; format <= last; ++format) {
        const CardReading reading = readCard(m_reader, m_module, static_cast<std::uint8_t>(format));
        QJsonObject entry;
        if (reading.ok()) {
            lines << readingFields(format, reading).join(u'\t');
            addReading(entry, format, reading);
        } else {
            entry.insert(QStringLiteral("format"), format);
            entry.insert(QStringLiteral("status"), reading.status);
            status =
                std::max(status, failed(QStringLiteral("format %1 could not be read").arg(format), reading.status));
        }
        formats.append(entry);
        if (status == kExitLibraryMissing)
            break;
    }
    if (m_invocation.json)
        lines = QStringList{jsonLine({{QStringLiteral("formats"), formats}})};
    for (const QString &line : std::as_const(lines))
        if (!m_console.printLine(line))
            status = std::max(status, int(kExitFailed));
    return closePort(status);
}

int Commands::watch()
{
    // Only the commands that run until they are stopped turn Ctrl+C into a
    // stop; a one-off command ends at once on it, as any program does.
    Interrupt interrupt;
    if (const std::optional<int> status = openPort())
        return *status;
    const int format = m_invocation.format.value_or(0);
    int status = kExitSuccess;
    std::optional<QString> present; // the card on the reader, as last read
    std::int64_t seen = 0;
    while (true) {
        const CardReading reading = readCard(m_reader, m_module, static_cast<std::uint8_t>(format));
        QStringList fields{isoText(QDateTime::currentDateTime())};
        QJsonObject event{{QStringLiteral("time"), fields.front()}};
        if (reading.ok() && reading.hex != present) {
            const QString name = present ? QStringLiteral("changed") : QStringLiteral("arrived");
            fields << name << readingFields(format, reading);
            event.insert(QStringLiteral("event"), name);
            addReading(event, format, reading);
            present = reading.hex;
            ++seen;
        } else if (!reading.ok()) {
            if (libraryMissing(reading.status)) {
                status = kExitLibraryMissing;
                break;
            }
            if (present) {
                fields << QStringLiteral("left");
                event.insert(QStringLiteral("event"), QStringLiteral("left"));
                event.insert(QStringLiteral("status"), reading.status);
            }
            present.reset();
        }
        if (fields.size() > 1 && !m_console.printLine(m_invocation.json ? jsonLine(event) : fields.join(u'\t'))) {
            // Nobody reads any more: that ends the watch as an interrupt does.
            if (!m_console.outputClosed())
                status = kExitFailed;
            break;
        }
        if ((m_invocation.count > 0 && seen >= m_invocation.count) || m_console.outputGone())
            break;
        if (!interrupt.wait(std::chrono::milliseconds(m_invocation.intervalMs)))
            break;
    }
    return closePort(status);
}

bool Commands::takeReferences(References &references)
{
    for (int format = 0; format < kFormatCount; ++format) {
        QString &reference = references[static_cast<std::size_t>(format)];
        if (!reference.isEmpty())
            continue;
        // A reference that could not be read would be empty, and an empty
        // reference passes every failed read: the test would pass without a
        // card. It does not start instead.
        const CardReading reading = readCard(m_reader, m_module, static_cast<std::uint8_t>(format));
        if (!reading.ok())
            return false;
        reference = reading.hex;
    }
    return true;
}

void Commands::showTestProgress(const TestStatistics &totals)
{
    const auto now = TestStatistics::Clock::now();
    if (!m_console.errorIsTerminal()) {
        m_console.message(QStringLiteral("test: ") + totalsText(totals, now));
        return;
    }
    m_console.showProgress(QStringLiteral("passes %1  steps %2  failures %3 (%4)  %5")
                               .arg(totals.passes())
                               .arg(totals.steps())
                               .arg(totals.failures())
                               .arg(failureRateText(totals.failures(), totals.steps()), elapsedText(totals.elapsed(now))));
}

int Commands::test()
{
    if (!m_invocation.recordFile.isEmpty() && !m_run.recordTo(m_invocation.recordFile)) {
        m_console.message(QStringLiteral("the test record %1 cannot be written: %2")
                              .arg(m_invocation.recordFile, m_run.recordError()));
        return kExitUsage;
    }

    Interrupt interrupt;
    if (const std::optional<int> status = openPort())
        return *status;
    References references = m_invocation.references;
    if (!takeReferences(references)) {
        const auto format = std::ranges::find_if(references, &QString::isEmpty) - references.begin();
        return closePort(
            failed(QStringLiteral("no reference: format %1 could not be read").arg(format), m_module.lastStatus));
    }
    for (int format = 0; format < kFormatCount; ++format)
        m_console.printLine(
            QStringLiteral("reference format=%1 hex=%2").arg(format).arg(references[static_cast<std::size_t>(format)]));

    m_run.start({m_openedMessage, m_port.openedPort(), m_port.openedBaud()});
    const bool missing = runPasses(references, interrupt) == TestEnd::LibraryMissing;
    m_run.stop();
    m_console.clearProgress();
    const TestStatistics &totals = m_run.totals();
    int status = missing ? int(kExitLibraryMissing) : totals.failures() > 0 ? int(kExitFailed) : int(kExitSuccess);
    status = closePort(status);
    if (!m_console.printLine(QStringLiteral("totals ") + totalsText(totals, TestStatistics::Clock::now())) &&
        status == kExitSuccess)
        status = kExitFailed;
    return status;
}

Commands::TestEnd Commands::runPasses(const References &references, Interrupt &interrupt)
{
    const std::chrono::seconds duration(m_invocation.durationSeconds);
    const auto progressInterval = m_console.errorIsTerminal() ? kProgressInterval : kSummaryInterval;
    auto nextProgress = TestStatistics::Clock::now() + (m_console.errorIsTerminal() ? 0ms : kSummaryInterval);
    while (!(m_invocation.passes > 0 && m_run.totals().passes() >= m_invocation.passes) &&
           !(duration.count() > 0 && m_run.totals().elapsed(TestStatistics::Clock::now()) >= duration)) {
        const std::size_t pass = m_run.beginPass();
        TestEnd end = TestEnd::Going;
        for (int step = 0; step < kFormatCount && end == TestEnd::Going; ++step) {
            end = testStep(pass, step, references[static_cast<std::size_t>(step)]);
            if (const auto now = TestStatistics::Clock::now(); now >= nextProgress) {
                showTestProgress(m_run.totals());
                nextProgress = now + progressInterval;
            }
            if (end == TestEnd::Going && (m_console.outputFailed() || !interrupt.wait(kStepWait)))
                end = TestEnd::Stopped;
        }
        m_run.endPass();
        if (end != TestEnd::Going)
            return end;
    }
    return TestEnd::Going;
}

// One step read, judged and counted; a failed step is also printed.
Commands::TestEnd Commands::testStep(std::size_t pass, int step, const QString &reference)
{
    const CardReading reading = readTestStep(m_reader, m_module, static_cast<std::uint8_t>(step));
    if (!reading.ok() && libraryMissing(reading.status))
        return TestEnd::LibraryMissing;
    if (!m_run.countStep(pass, {step, reference, reading.hex, true, reading.message()})) {
        const TestStatistics::Failure &failure = *m_run.totals().lastFailure();
        m_console.printLine(QStringLiteral("fail pass=%1 step=%2 reference=%3 reading=%4 kind=%5")
                                .arg(QString::number(failure.pass), QString::number(step), failure.reference,
                                     failure.reading, failureKindName(failure.kind)));
    }
    return TestEnd::Going;
}

int Commands::version()
{
    if (const std::optional<int> status = openPort())
        return *status;
    const ReaderVersion version = readVersion(m_reader, m_module);
    if (!version.ok())
        return closePort(failed(QStringLiteral("the reader's version could not be read"), version.status));
    const bool printed =
        m_console.printLine(m_invocation.json ? jsonLine({{QStringLiteral("version"), version.text}}) : version.text);
    return closePort(printed ? kExitSuccess : kExitFailed);
}

int Commands::beep()
{
    return command([this] { return m_reader.beep(0, m_invocation.value); },
                   QStringLiteral("the buzzer could not be sounded"));
}

int Commands::led()
{
    return command([this] { return m_reader.light(0, m_invocation.value); },
                   QStringLiteral("the LED could not be switched"));
}

int Commands::command(const std::function<std::int16_t()> &call, const QString &failure)
{
    if (const std::optional<int> status = openPort())
        return *status;
    m_module.lastStatus = call();
    return closePort(m_module.lastStatus == 0 ? int(kExitSuccess) : failed(failure, m_module.lastStatus));
}

} // namespace kv
