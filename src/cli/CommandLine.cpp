// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "CommandLine.h"

#include <QCommandLineParser>
#include <QList>

#include "Indicators.h"

namespace kv {

namespace {

constexpr std::int64_t kLargest = 1'000'000'000'000; // passes, cards: more than any run sees

// The option names, one place each.
const QString kPort = QStringLiteral("port");
const QString kBaud = QStringLiteral("baud");
const QString kReader = QStringLiteral("reader");
const QString kHelp = QStringLiteral("help");
const QString kVersion = QStringLiteral("version");
const QString kFormat = QStringLiteral("format");
const QString kJson = QStringLiteral("json");
const QString kInterval = QStringLiteral("interval");
const QString kCount = QStringLiteral("count");
const QString kPasses = QStringLiteral("passes");
const QString kDuration = QStringLiteral("duration");
const QString kReference = QStringLiteral("reference");
const QString kRecord = QStringLiteral("record");

QCommandLineOption option(const QString &name, const char *description, const char *valueName = nullptr)
{
    return valueName ? QCommandLineOption(name, QString::fromUtf8(description), QString::fromUtf8(valueName))
                     : QCommandLineOption(name, QString::fromUtf8(description));
}

QList<QCommandLineOption> commonOptions()
{
    return {
        option(kPort, "serial port number, 1 to 255 (default 2)", "N"),
        option(kBaud, "baud rate, 50 to 4000000 (default 19200)", "B"),
        option(kReader,
               "use one of the project's installed reader libraries instead of the one the loader finds: "
               "simulated, serial or wine",
               "NAME"),
        QCommandLineOption({QStringLiteral("h"), kHelp}, QStringLiteral("show the help and exit")),
        option(kVersion, "show the program's version and exit"),
    };
}

struct CommandInfo
{
    Command command;
    const char *name;
    const char *arguments; // the positional argument, if any
    const char *summary;
    const char *description;
};

const std::array<CommandInfo, 6> kCommands = {{
    {Command::Read, "read", nullptr, "read the card in one format or all of them",
     "Opens the port, reads the card in one format or in all eleven (the default), and closes the port.\n"
     "One line per format read: the format, the hexadecimal reading and, for the decimal formats 0, 1, 2,\n"
     "9 and 10, the text; --json prints one JSON object instead. A format that could not be read gets no\n"
     "line (with --json an entry without a reading) and a message on standard error."},
    {Command::Watch, "watch", nullptr, "print each card as it arrives, changes or leaves",
     "Keeps the port open and reads the card again and again; prints one line, with the time, each time a\n"
     "card arrives, another card is read, or the card leaves (a read fails). --json prints one JSON object\n"
     "per line. Runs until interrupted (Ctrl+C or SIGTERM: the port is closed and the status is 0) or\n"
     "until --count cards were seen."},
    {Command::Test, "test", nullptr, "the endurance test of the window, without a window",
     "Opens the port, takes the references (a first read of every format not given with --reference),\n"
     "then runs passes of eleven step reads, formats 0 to 10, each compared exactly with its reference\n"
     "as the window's automatic test compares. Prints the references, one line per failed step and the\n"
     "totals; a progress line while standard error is a terminal, else a summary line every 10 s. Runs\n"
     "until --passes or --duration is reached or it is interrupted. Status 0 when every step passed, 1\n"
     "when one failed."},
    {Command::Version, "version", nullptr, "print the reader's version",
     "Opens the port, reads the reader's version (four hexadecimal digits) and closes the port."},
    {Command::Beep, "beep", "VALUE", "sound the buzzer",
     "Opens the port, sounds the buzzer with VALUE (0 to 255, in the library's unit) and closes the port."},
    {Command::Led, "led", "CODE", "switch an LED",
     "Opens the port, switches an LED and closes the port. CODE is 0 to 3 or the window's texts:\n"
     "0 LED1灭 (LED1 off), 1 LED1亮 (LED1 on), 2 LED2灭 (LED2 off), 3 LED2亮 (LED2 on)."},
}};

QList<QCommandLineOption> commandOptions(Command command)
{
    switch (command) {
    case Command::Read:
        return {option(kFormat, "the format to read, 0 to 10, or all (default)", "F"),
                option(kJson, "print one JSON object")};
    case Command::Watch:
        return {option(kFormat, "the format to read, 0 to 10 (default 0)", "F"),
                option(kInterval, "pause between two reads in milliseconds, 0 to 3600000 (default 100)", "MS"),
                option(kCount, "end after N cards were seen (arrived or changed)", "N"),
                option(kJson, "print one JSON object per line")};
    case Command::Test:
        return {option(kPasses, "end after N passes", "N"),
                option(kDuration, "start no pass after SECONDS seconds", "SECONDS"),
                option(kReference,
                       "the reference of format F: its hexadecimal reading, two digits per byte (repeatable)", "F=HEX"),
                option(kRecord, "append the window's CSV record of the test to FILE", "FILE")};
    case Command::Version:
        return {option(kJson, "print one JSON object")};
    case Command::Beep:
    case Command::Led:
        break;
    }
    return {};
}

QString programName() { return QStringLiteral("kv718st-cli"); }

Answer usageError(const QString &message, const char *command = nullptr)
{
    const QString help = command ? programName() + u' ' + QString::fromUtf8(command) : programName();
    return {kExitUsage, QStringLiteral("%1: %2\nTry '%3 --help'.\n").arg(programName(), message, help)};
}

// A decimal integer of digits only, within [lowest, highest].
std::optional<std::int64_t> decimal(const QString &text, std::int64_t lowest, std::int64_t highest)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    const std::int64_t value = text.toLongLong();
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}

const CommandInfo *findCommand(const QString &name)
{
    for (const CommandInfo &info : kCommands)
        if (name == QLatin1String(info.name))
            return &info;
    return nullptr;
}

// Qt's help text, which names the program as it was started, with the
// program's own name, and the exit statuses.
QString helpText(const QCommandLineParser &parser)
{
    QString text = parser.helpText();
    const qsizetype options = text.indexOf(QStringLiteral(" [options]"));
    if (text.startsWith(QStringLiteral("Usage: ")) && options > 0)
        text.replace(7, options - 7, programName());
    return text + u'\n' + exitStatusTable();
}

QString generalHelp(QCommandLineParser &parser)
{
    QString commands;
    for (const CommandInfo &info : kCommands) {
        const QString name =
            QString::fromUtf8(info.name) + (info.arguments ? u' ' + QString::fromUtf8(info.arguments) : QString());
        commands += QStringLiteral("  %1%2\n").arg(name, -13).arg(QString::fromUtf8(info.summary));
    }
    parser.setApplicationDescription(
        QStringLiteral("Reads, watches, tests and drives a 125 kHz proximity-card reader from scripts, without\n"
                       "a window, through the reader library libVeltronanew125K.so (on Windows\n"
                       "Veltronanew125K.dll). Card readings go to standard output, messages to standard error.\n\n"
                       "Commands:\n") +
        commands +
        QStringLiteral("\nOptions may stand before or after the command; '%1 COMMAND --help' shows the "
                       "options\nof a command.")
            .arg(programName()));
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("one of the commands above"),
                                 QStringLiteral("COMMAND [ARGUMENT]"));
    return helpText(parser);
}

QString commandHelp(QCommandLineParser &parser, const CommandInfo &info)
{
    parser.setApplicationDescription(QString::fromUtf8(info.description));
    if (info.arguments)
        parser.addPositionalArgument(QString::fromUtf8(info.name), QString::fromUtf8(info.summary),
                                     QString::fromUtf8(info.name) + u' ' + QString::fromUtf8(info.arguments));
    else
        parser.addPositionalArgument(QString::fromUtf8(info.name), QString::fromUtf8(info.summary),
                                     QString::fromUtf8(info.name));
    return helpText(parser);
}

// Checks the values of the options a command has; the parser has already
// refused the others.
std::optional<Answer> takeValues(const QCommandLineParser &parser, const CommandInfo &info, Invocation &invocation)
{
    const auto usage = [&info](const QString &message) { return usageError(message, info.name); };
    const auto bad = [&usage](const QString &name, const QString &value, const char *wanted) {
        return usage(QStringLiteral("--%1: '%2' is not %3").arg(name, value, QString::fromUtf8(wanted)));
    };
    if (parser.isSet(kPort)) {
        const auto port = decimal(parser.value(kPort), 1, 255);
        if (!port)
            return bad(kPort, parser.value(kPort), "a port number from 1 to 255");
        invocation.port = static_cast<std::int32_t>(*port);
    }
    if (parser.isSet(kBaud)) {
        const auto baud = decimal(parser.value(kBaud), 50, 4'000'000);
        if (!baud)
            return bad(kBaud, parser.value(kBaud), "a baud rate from 50 to 4000000");
        invocation.baud = static_cast<std::int32_t>(*baud);
    }
    if (parser.isSet(kReader)) {
        invocation.reader = parser.value(kReader);
        if (!QStringList{QStringLiteral("simulated"), QStringLiteral("serial"), QStringLiteral("wine")}.contains(
                invocation.reader))
            return bad(kReader, invocation.reader, "one of simulated, serial, wine");
    }
    invocation.json = info.command != Command::Test && info.command != Command::Beep && info.command != Command::Led &&
                      parser.isSet(kJson);

    if (info.command == Command::Read && parser.isSet(kFormat) && parser.value(kFormat) != QLatin1String("all")) {
        const auto format = decimal(parser.value(kFormat), 0, kFormatCount - 1);
        if (!format)
            return bad(kFormat, parser.value(kFormat), "a format from 0 to 10, or all");
        invocation.format = static_cast<int>(*format);
    }
    if (info.command == Command::Watch) {
        invocation.format = 0;
        if (parser.isSet(kFormat)) {
            const auto format = decimal(parser.value(kFormat), 0, kFormatCount - 1);
            if (!format)
                return bad(kFormat, parser.value(kFormat), "a format from 0 to 10");
            invocation.format = static_cast<int>(*format);
        }
        invocation.intervalMs = 100;
        if (parser.isSet(kInterval)) {
            const auto interval = decimal(parser.value(kInterval), 0, 3'600'000);
            if (!interval)
                return bad(kInterval, parser.value(kInterval), "a number of milliseconds from 0 to 3600000");
            invocation.intervalMs = static_cast<int>(*interval);
        }
        if (parser.isSet(kCount)) {
            const auto count = decimal(parser.value(kCount), 1, kLargest);
            if (!count)
                return bad(kCount, parser.value(kCount), "a number of cards from 1 on");
            invocation.count = *count;
        }
    }
    if (info.command == Command::Test) {
        if (parser.isSet(kPasses) && parser.isSet(kDuration))
            return usage(QStringLiteral("--passes and --duration cannot be given together"));
        if (parser.isSet(kPasses)) {
            const auto passes = decimal(parser.value(kPasses), 1, kLargest);
            if (!passes)
                return bad(kPasses, parser.value(kPasses), "a number of passes from 1 on");
            invocation.passes = *passes;
        }
        if (parser.isSet(kDuration)) {
            const auto duration = decimal(parser.value(kDuration), 1, 100LL * 365 * 24 * 3600);
            if (!duration)
                return bad(kDuration, parser.value(kDuration), "a number of seconds from 1 on");
            invocation.durationSeconds = *duration;
        }
        for (const QString &given : parser.values(kReference)) {
            const qsizetype equals = given.indexOf(u'=');
            const auto format = decimal(given.left(equals), 0, kFormatCount - 1);
            if (equals < 0 || !format)
                return bad(kReference, given, "F=HEX with a format F from 0 to 10");
            const QString hex = given.mid(equals + 1).toUpper();
            const auto digits = static_cast<qsizetype>(kReadFormats[static_cast<std::size_t>(*format)].byteCount() * 2);
            const bool isHex =
                std::ranges::all_of(hex, [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); });
            if (hex.size() != digits || !isHex)
                return usage(QStringLiteral("--reference: format %1 needs %2 hexadecimal digits, not '%3'")
                                 .arg(*format)
                                 .arg(digits)
                                 .arg(given.mid(equals + 1)));
            QString &reference = invocation.references[static_cast<std::size_t>(*format)];
            if (!reference.isEmpty())
                return usage(QStringLiteral("--reference: format %1 is given twice").arg(*format));
            reference = hex;
        }
        if (parser.isSet(kRecord)) {
            invocation.recordFile = parser.value(kRecord);
            if (invocation.recordFile.isEmpty())
                return usage(QStringLiteral("--record needs a file name"));
        }
    }

    const QStringList positional = parser.positionalArguments().mid(1);
    const int wanted = info.arguments ? 1 : 0;
    if (positional.size() != wanted)
        return usage(
            wanted ? QStringLiteral("%1 needs %2").arg(QString::fromUtf8(info.name), QString::fromUtf8(info.arguments))
                   : QStringLiteral("%1 takes no argument, not '%2'")
                         .arg(QString::fromUtf8(info.name), positional.join(u' ')));
    if (info.command == Command::Beep) {
        const auto value = decimal(positional.front(), 0, 255);
        if (!value)
            return usage(QStringLiteral("beep: '%1' is not a value from 0 to 255").arg(positional.front()));
        invocation.value = static_cast<std::uint8_t>(*value);
    }
    if (info.command == Command::Led) {
        std::optional<std::int64_t> code = decimal(positional.front(), 0, kIndicatorNames.size() - 1);
        for (std::size_t i = 0; !code && i < kIndicatorNames.size(); ++i)
            if (QStringView(kIndicatorNames[i]) == positional.front())
                code = static_cast<std::int64_t>(i);
        if (!code)
            return usage(QStringLiteral("led: '%1' is not 0 to 3 or one of LED1灭, LED1亮, LED2灭, LED2亮")
                             .arg(positional.front()));
        invocation.value = static_cast<std::uint8_t>(*code);
    }
    return std::nullopt;
}

} // namespace

QString exitStatusTable()
{
    return QStringLiteral("Exit status:\n"
                          "  0  success; watch: interrupted or --count cards seen; test: every step passed\n"
                          "  1  what was asked failed: a format could not be read (no card), the reader refused a\n"
                          "     command, a test step failed, the port could not be closed, or the output could\n"
                          "     not be written\n"
                          "  2  usage: an unknown command or option, a bad value, a --record file that cannot be\n"
                          "     opened\n"
                          "  3  the port could not be opened (wrong port or rate, no reader there, port busy)\n"
                          "  4  the reader library, or a function in it, cannot be loaded\n");
}

std::variant<Invocation, Answer> parseCommandLine(const QStringList &arguments)
{
    // First every option any command knows, so that option values are told
    // from the command wherever it stands; then the command's own.
    QCommandLineParser all;
    all.addOptions(commonOptions());
    QStringList added;
    for (const CommandInfo &info : kCommands)
        for (const QCommandLineOption &each : commandOptions(info.command))
            if (!added.contains(each.names().front())) {
                added << each.names().front();
                all.addOption(each);
            }
    if (!all.parse(QStringList{programName()} + arguments))
        return usageError(all.errorText());

    QCommandLineParser parser;
    if (all.positionalArguments().isEmpty()) {
        parser.addOptions(commonOptions());
        if (all.isSet(kHelp))
            return Answer{kExitSuccess, generalHelp(parser)};
        if (all.isSet(kVersion))
            return Answer{kExitSuccess, QStringLiteral("%1 " KV_VERSION "\n").arg(programName())};
        return usageError(QStringLiteral("no command given (read, watch, test, version, beep, led)"));
    }
    const QString name = all.positionalArguments().front();
    const CommandInfo *info = findCommand(name);
    if (!info)
        return usageError(QStringLiteral("'%1' is not a command (read, watch, test, version, beep, led)").arg(name));
    parser.addOptions(commandOptions(info->command));
    parser.addOptions(commonOptions());
    if (!parser.parse(QStringList{programName()} + arguments))
        return usageError(QStringLiteral("%1: %2").arg(name, parser.errorText()), info->name);
    if (parser.isSet(kHelp))
        return Answer{kExitSuccess, commandHelp(parser, *info)};
    if (parser.isSet(kVersion))
        return Answer{kExitSuccess, QStringLiteral("%1 " KV_VERSION "\n").arg(programName())};

    Invocation invocation;
    invocation.command = info->command;
    if (std::optional<Answer> error = takeValues(parser, *info, invocation))
        return *error;
    return invocation;
}

} // namespace kv
