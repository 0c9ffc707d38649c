// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "CommandLine.h"

#include <QCommandLineParser>
#include <QList>

#include "Indicators.h"

namespace kv {

namespace {

constexpr std::int64_t kLargest = 1'000'000'000'000;      // passes, cards: more than any run sees
constexpr std::int64_t kCentury = 100LL * 365 * 24 * 3600; // seconds: longer than any run lasts

constexpr unsigned bit(Command command) { return 1U << static_cast<unsigned>(command); }
constexpr unsigned kEveryCommand = ~0U; // the common options, which stand without a command too

// The project's reader libraries that --reader names.
const QStringList kReaderNames{QStringLiteral("simulated"), QStringLiteral("serial"), QStringLiteral("wine")};

// How a value is checked: a bounded decimal by the row's range, the others by
// a check of their own.
enum class Kind {
    Switch,     // takes no value
    Decimal,    // digits only, from lowest to highest
    Reader,     // one of kReaderNames
    References, // F=HEX, repeatable
    File,       // a file name, not empty
    Indicator,  // led's CODE: a decimal code or the window's name of the LED command
    Language,   // one of kLanguageNames
};

// Puts a checked value into the invocation.
using Store = void (*)(Invocation &, std::int64_t);

// An option, or the positional argument of a command: its help line, its
// check and its usage error are all made from its row.
struct OptionRow
{
    const char *name = nullptr;
    const char *valueName = nullptr; // none for a switch
    const char *help = nullptr;      // the help line, which a Decimal's range and default follow
    unsigned commands = kEveryCommand;
    Kind kind = Kind::Switch;
    const char *noun = nullptr; // a Decimal's usage error: "'x' is not <noun> from <lowest> to <highest>"
    std::int64_t lowest = 0;
    std::int64_t highest = 0;
    bool openEnded = false; // highest only guards the arithmetic: neither the help nor the error names it
    std::optional<std::int64_t> fallback = std::nullopt; // the value when the option is not given
    const char *word = nullptr;           // accepted besides the numbers; it means the default
    const char *excludes = nullptr;       // an option that cannot be given with this one
    bool positional = false;
    Store store = nullptr;
    const char *shortName = nullptr;
};

// The order of the rows is the order of the help lines (a command's own
// options, then the common ones) and of the checks. An option that two
// commands take with different help or values has a row for each.
constexpr std::array<OptionRow, 18> kOptions = {{
    {.name = "port", .valueName = "N", .help = "serial port number", .kind = Kind::Decimal,
     .noun = "a port number", .lowest = 1, .highest = 255, .fallback = kDefaultPort,
     .store = [](Invocation &i, std::int64_t v) { i.port = static_cast<std::int32_t>(v); }},
    {.name = "baud", .valueName = "B", .help = "baud rate", .kind = Kind::Decimal, .noun = "a baud rate",
     .lowest = 50, .highest = 4'000'000, .fallback = kDefaultBaud,
     .store = [](Invocation &i, std::int64_t v) { i.baud = static_cast<std::int32_t>(v); }},
    {.name = "reader", .valueName = "NAME",
     .help = "use one of the project's installed reader libraries instead of the one the loader finds",
     .kind = Kind::Reader},
    {.name = "language", .valueName = "LANG",
     .help = "the language of the window's texts the program writes (the record's status column, a missing "
             "library's message): zh (the default) or en",
     .kind = Kind::Language},
    {.name = "help", .help = "show the help and exit", .shortName = "h"},
    {.name = "version", .help = "show the program's version and exit"},

    {.name = "format", .valueName = "F", .help = "the format to read", .commands = bit(Command::Read),
     .kind = Kind::Decimal, .noun = "a format", .lowest = 0, .highest = kFormatCount - 1, .word = "all",
     .store = [](Invocation &i, std::int64_t v) { i.format = static_cast<int>(v); }},
    {.name = "format", .valueName = "F", .help = "the format to read", .commands = bit(Command::Watch),
     .kind = Kind::Decimal, .noun = "a format", .lowest = 0, .highest = kFormatCount - 1, .fallback = 0,
     .store = [](Invocation &i, std::int64_t v) { i.format = static_cast<int>(v); }},
    {.name = "interval", .valueName = "MS", .help = "pause between two reads in milliseconds",
     .commands = bit(Command::Watch), .kind = Kind::Decimal, .noun = "a number of milliseconds", .lowest = 0,
     .highest = 3'600'000, .fallback = 100,
     .store = [](Invocation &i, std::int64_t v) { i.intervalMs = static_cast<int>(v); }},
    {.name = "count", .valueName = "N", .help = "end after N cards were seen (arrived or changed)",
     .commands = bit(Command::Watch), .kind = Kind::Decimal, .noun = "a number of cards", .lowest = 1,
     .highest = kLargest, .openEnded = true, .store = [](Invocation &i, std::int64_t v) { i.count = v; }},
    {.name = "json", .help = "print one JSON object",
     .commands = bit(Command::Read) | bit(Command::Version) | bit(Command::Ports),
     .store = [](Invocation &i, std::int64_t) { i.json = true; }},
    {.name = "json", .help = "print one JSON object per line", .commands = bit(Command::Watch),
     .store = [](Invocation &i, std::int64_t) { i.json = true; }},
    {.name = "passes", .valueName = "N", .help = "end after N passes", .commands = bit(Command::Test),
     .kind = Kind::Decimal, .noun = "a number of passes", .lowest = 1, .highest = kLargest, .openEnded = true,
     .excludes = "duration", .store = [](Invocation &i, std::int64_t v) { i.passes = v; }},
    {.name = "duration", .valueName = "SECONDS", .help = "start no pass after SECONDS seconds",
     .commands = bit(Command::Test), .kind = Kind::Decimal, .noun = "a number of seconds", .lowest = 1,
     .highest = kCentury, .openEnded = true, .store = [](Invocation &i, std::int64_t v) { i.durationSeconds = v; }},
    {.name = "reference", .valueName = "F=HEX",
     .help = "the reference of format F: its hexadecimal reading, two digits per byte (repeatable)",
     .commands = bit(Command::Test), .kind = Kind::References},
    {.name = "record", .valueName = "FILE", .help = "append the window's CSV record of the test to FILE",
     .commands = bit(Command::Test), .kind = Kind::File},

    {.name = "VALUE", .commands = bit(Command::Beep), .kind = Kind::Decimal, .noun = "a value", .lowest = 0,
     .highest = 255, .positional = true,
     .store = [](Invocation &i, std::int64_t v) { i.value = static_cast<std::uint8_t>(v); }},
    {.name = "CODE", .commands = bit(Command::Led), .kind = Kind::Indicator, .lowest = 0,
     .highest = kIndicatorNames.size() - 1, .positional = true,
     .store = [](Invocation &i, std::int64_t v) { i.value = static_cast<std::uint8_t>(v); }},
}};

struct CommandInfo
{
    Command command;
    const char *name;
    const char *summary;
    const char *description; // %1, where it stands, is the range of the command's argument
};

const std::array<CommandInfo, 7> kCommands = {{
    {Command::Read, "read", "read the card in one format or all of them",
     "Opens the port, reads the card in one format or in all eleven (the default), and closes the port.\n"
     "One line per format read: the format, the hexadecimal reading and, for the decimal formats 0, 1, 2,\n"
     "9 and 10, the text; --json prints one JSON object instead. A format that could not be read gets no\n"
     "line (with --json an entry without a reading) and a message on standard error."},
    {Command::Watch, "watch", "print each card as it arrives, changes or leaves",
     "Keeps the port open and reads the card again and again; prints one line, with the time, each time a\n"
     "card arrives, another card is read, or the card leaves (a read fails). --json prints one JSON object\n"
     "per line. Runs until interrupted (Ctrl+C or SIGTERM: the port is closed and the status is 0) or\n"
     "until --count cards were seen."},
    {Command::Test, "test", "the endurance test of the window, without a window",
     "Opens the port, takes the references (a first read of every format not given with --reference),\n"
     "then runs passes of eleven step reads, formats 0 to 10, each compared exactly with its reference\n"
     "as the window's automatic test compares. Prints the references, one line per failed step and the\n"
     "totals; a progress line while standard error is a terminal, else a summary line every 10 s. Runs\n"
     "until --passes or --duration is reached or it is interrupted. Status 0 when every step passed, 1\n"
     "when one failed."},
    {Command::Version, "version", "print the reader's version",
     "Opens the port, reads the reader's version (four hexadecimal digits) and closes the port."},
    {Command::Beep, "beep", "sound the buzzer",
     "Opens the port, sounds the buzzer with VALUE (%1, in the library's unit) and closes the port."},
    {Command::Led, "led", "switch an LED",
     "Opens the port, switches an LED and closes the port. CODE is %1 or the window's texts:\n"
     "0 LED1灭 (LED1 off), 1 LED1亮 (LED1 on), 2 LED2灭 (LED2 off), 3 LED2亮 (LED2 on)."},
    {Command::Ports, "ports", "list the serial devices and their port numbers",
     "Lists the serial devices present (ttyUSB*, ttyACM*, ttyS* with a driver, and the devices that\n"
     "KV718ST_SERIAL_DEVICE names), one line each: the port number by which the serial-module reader\n"
     "opens it (none where no port 1 to 255 does), the device, its name in /dev/serial/by-id, the group\n"
     "that owns it, and whether this user may open it; --json prints one JSON object instead. Opens no\n"
     "port and loads no reader library. Not on Windows (status 2)."},
}};

QString programName() { return QStringLiteral("kv718st-cli"); }

Answer versionAnswer() { return {kExitSuccess, QStringLiteral("%1 " KV_VERSION "\n").arg(programName())}; }

QString utf8(const char *text) { return QString::fromUtf8(text); }

bool isCommon(const OptionRow &row) { return row.commands == kEveryCommand; }

const OptionRow *argumentOf(Command command)
{
    for (const OptionRow &row : kOptions)
        if (row.positional && (row.commands & bit(command)))
            return &row;
    return nullptr;
}

// "1 to 255"
QString rangeText(const OptionRow &row) { return QStringLiteral("%1 to %2").arg(row.lowest).arg(row.highest); }

// What the usage error says a refused value is not.
QString wanted(const OptionRow &row)
{
    switch (row.kind) {
    case Kind::Decimal: {
        const QString range =
            row.openEnded ? QStringLiteral("%1 on").arg(row.lowest) : rangeText(row); // "1 on", "1 to 255"
        return QStringLiteral("%1 from %2").arg(utf8(row.noun), range) +
               (row.word ? QStringLiteral(", or ") + utf8(row.word) : QString());
    }
    case Kind::Reader:
        return QStringLiteral("one of ") + kReaderNames.join(QStringLiteral(", "));
    case Kind::Indicator: {
        QStringList names;
        for (const char *name : kIndicatorNames)
            names << utf8(name);
        return rangeText(row) + QStringLiteral(" or one of ") + names.join(QStringLiteral(", "));
    }
    case Kind::Language: {
        QStringList names;
        for (const auto &[name, language] : kLanguageNames)
            names << QString::fromLatin1(name);
        return QStringLiteral("one of ") + names.join(QStringLiteral(", "));
    }
    case Kind::Switch:
    case Kind::References:
    case Kind::File:
        break;
    }
    return {};
}

// The help line: a Decimal's range and default, the reader names, come from the row.
QString helpLine(const OptionRow &row)
{
    QString line = utf8(row.help);
    if (row.kind == Kind::Reader) // ": simulated, serial or wine"
        line += QStringLiteral(": %1 or %2")
                    .arg(kReaderNames.mid(0, kReaderNames.size() - 1).join(QStringLiteral(", ")), kReaderNames.last());
    if (row.kind != Kind::Decimal || row.openEnded)
        return line;
    line += QStringLiteral(", ") + rangeText(row);
    if (row.word)
        return line + QStringLiteral(", or ") + utf8(row.word) + QStringLiteral(" (default)");
    return row.fallback ? line + QStringLiteral(" (default %1)").arg(*row.fallback) : line;
}

QCommandLineOption option(const OptionRow &row)
{
    QStringList names{utf8(row.name)};
    if (row.shortName)
        names.prepend(utf8(row.shortName));
    return row.valueName ? QCommandLineOption(names, helpLine(row), utf8(row.valueName))
                         : QCommandLineOption(names, helpLine(row));
}

// The options a command takes, its own before the common ones; without a
// command, the common ones.
QList<QCommandLineOption> optionsOf(std::optional<Command> command)
{
    QList<QCommandLineOption> options;
    if (command)
        for (const OptionRow &row : kOptions)
            if (!row.positional && !isCommon(row) && (row.commands & bit(*command)))
                options << option(row);
    for (const OptionRow &row : kOptions)
        if (isCommon(row))
            options << option(row);
    return options;
}

Answer usageError(const QString &message, const char *command = nullptr)
{
    const QString help = command ? programName() + u' ' + utf8(command) : programName();
    return {kExitUsage, QStringLiteral("%1: %2\nTry '%3 --help'.\n").arg(programName(), message, help)};
}

// "--port: 'x' is not a port number from 1 to 255"
QString refused(const QString &label, const QString &value, const OptionRow &row)
{
    return QStringLiteral("%1: '%2' is not %3").arg(label, value, wanted(row));
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

QString commandNames()
{
    QStringList names;
    for (const CommandInfo &info : kCommands)
        names << utf8(info.name);
    return names.join(QStringLiteral(", "));
}

const CommandInfo *findCommand(const QString &name)
{
    for (const CommandInfo &info : kCommands)
        if (name == QLatin1String(info.name))
            return &info;
    return nullptr;
}

// "beep VALUE", or the command alone when it takes no argument.
QString synopsis(const CommandInfo &info)
{
    const OptionRow *argument = argumentOf(info.command);
    return argument ? utf8(info.name) + u' ' + utf8(argument->name) : utf8(info.name);
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
    for (const CommandInfo &info : kCommands)
        commands += QStringLiteral("  %1%2\n").arg(synopsis(info), -13).arg(utf8(info.summary));
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
    const OptionRow *argument = argumentOf(info.command);
    parser.setApplicationDescription(argument ? utf8(info.description).arg(rangeText(*argument))
                                              : utf8(info.description));
    parser.addPositionalArgument(utf8(info.name), utf8(info.summary), synopsis(info));
    return helpText(parser);
}

// The given references: F=HEX with as many digits as format F reads, each
// format once.
std::optional<QString> takeReferences(const OptionRow &row, const QStringList &given, Invocation &invocation)
{
    for (const QString &each : given) {
        const qsizetype equals = each.indexOf(u'=');
        const auto format = decimal(each.left(equals), 0, kFormatCount - 1);
        if (equals < 0 || !format)
            return QStringLiteral("--%1: '%2' is not F=HEX with a format F from 0 to %3")
                .arg(utf8(row.name), each, QString::number(kFormatCount - 1));
        const QString hex = each.mid(equals + 1).toUpper();
        const auto digits = static_cast<qsizetype>(kReadFormats[static_cast<std::size_t>(*format)].byteCount() * 2);
        const bool isHex =
            std::ranges::all_of(hex, [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); });
        if (hex.size() != digits || !isHex)
            return QStringLiteral("--%1: format %2 needs %3 hexadecimal digits, not '%4'")
                .arg(utf8(row.name))
                .arg(*format)
                .arg(digits)
                .arg(each.mid(equals + 1));
        QString &reference = invocation.references[static_cast<std::size_t>(*format)];
        if (!reference.isEmpty())
            return QStringLiteral("--%1: format %2 is given twice").arg(utf8(row.name)).arg(*format);
        reference = hex;
    }
    return std::nullopt;
}

// A bounded decimal, or the row's word for its default; `label` names it in
// the usage error.
std::optional<QString> takeDecimal(const OptionRow &row, const QString &label, const QString &value,
                                   Invocation &invocation)
{
    if (row.word && value == QLatin1String(row.word))
        return std::nullopt;
    const std::optional<std::int64_t> number = decimal(value, row.lowest, row.highest);
    if (!number)
        return refused(label, value, row);
    row.store(invocation, *number);
    return std::nullopt;
}

// Checks the value of an option of the command and puts it into the
// invocation; the usage error if it is refused.
std::optional<QString> takeOption(const QCommandLineParser &parser, const OptionRow &row, Invocation &invocation)
{
    const QString name = utf8(row.name);
    if (row.excludes && parser.isSet(name) && parser.isSet(utf8(row.excludes)))
        return QStringLiteral("--%1 and --%2 cannot be given together").arg(name, utf8(row.excludes));
    if (!parser.isSet(name)) {
        if (row.fallback)
            row.store(invocation, *row.fallback);
        return std::nullopt;
    }
    const QString value = parser.value(name);
    switch (row.kind) {
    case Kind::Switch:
        if (row.store)
            row.store(invocation, 1);
        break;
    case Kind::Decimal:
        return takeDecimal(row, QStringLiteral("--") + name, value, invocation);
    case Kind::Reader:
        if (!kReaderNames.contains(value))
            return refused(QStringLiteral("--") + name, value, row);
        invocation.reader = value;
        break;
    case Kind::References:
        return takeReferences(row, parser.values(name), invocation);
    case Kind::File:
        if (value.isEmpty())
            return QStringLiteral("--%1 needs a file name").arg(name);
        invocation.recordFile = value;
        break;
    case Kind::Language: {
        const std::optional<Language> language = languageNamed(value.toStdString());
        if (!language)
            return refused(QStringLiteral("--") + name, value, row);
        invocation.language = *language;
        break;
    }
    case Kind::Indicator: // only led's argument
        break;
    }
    return std::nullopt;
}

// The positional argument: beep's VALUE, led's CODE, none for the others.
std::optional<QString> takeArgument(const QStringList &positional, const CommandInfo &info, Invocation &invocation)
{
    const OptionRow *row = argumentOf(info.command);
    const QString command = utf8(info.name);
    if (positional.size() != (row ? 1 : 0))
        return row ? QStringLiteral("%1 needs %2").arg(command, utf8(row->name))
                   : QStringLiteral("%1 takes no argument, not '%2'").arg(command, positional.join(u' '));
    if (!row)
        return std::nullopt;
    const QString &value = positional.front();
    if (row->kind != Kind::Indicator)
        return takeDecimal(*row, command, value, invocation);
    std::optional<std::int64_t> code = decimal(value, row->lowest, row->highest);
    for (std::size_t i = 0; !code && i < kIndicatorNames.size(); ++i)
        if (utf8(kIndicatorNames[i]) == value)
            code = static_cast<std::int64_t>(i);
    if (!code)
        return refused(command, value, *row);
    row->store(invocation, *code);
    return std::nullopt;
}

// Checks the values of the options a command has, in the table's order; the
// parser has already refused the others.
std::optional<Answer> takeValues(const QCommandLineParser &parser, const CommandInfo &info, Invocation &invocation)
{
    for (const OptionRow &row : kOptions)
        if (!row.positional && (row.commands & bit(info.command)))
            if (std::optional<QString> error = takeOption(parser, row, invocation))
                return usageError(*error, info.name);
    if (std::optional<QString> error = takeArgument(parser.positionalArguments().mid(1), info, invocation))
        return usageError(*error, info.name);
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
                          "     opened, ports on Windows\n"
                          "  3  the port could not be opened (wrong port or rate, no reader there, port busy)\n"
                          "  4  the reader library, or a function in it, cannot be loaded\n");
}

std::variant<Invocation, Answer> parseCommandLine(const QStringList &arguments)
{
    // First every option any command knows, so that option values are told
    // from the command wherever it stands; then the command's own.
    QCommandLineParser all;
    QStringList added;
    for (const OptionRow &row : kOptions)
        if (!row.positional && !added.contains(utf8(row.name))) {
            added << utf8(row.name);
            all.addOption(option(row));
        }
    if (!all.parse(QStringList{programName()} + arguments))
        return usageError(all.errorText());

    QCommandLineParser parser;
    if (all.positionalArguments().isEmpty()) {
        parser.addOptions(optionsOf(std::nullopt));
        if (all.isSet(QStringLiteral("help")))
            return Answer{kExitSuccess, generalHelp(parser)};
        if (all.isSet(QStringLiteral("version")))
            return versionAnswer();
        return usageError(QStringLiteral("no command given (%1)").arg(commandNames()));
    }
    const QString name = all.positionalArguments().front();
    const CommandInfo *info = findCommand(name);
    if (!info)
        return usageError(QStringLiteral("'%1' is not a command (%2)").arg(name, commandNames()));
    parser.addOptions(optionsOf(info->command));
    if (!parser.parse(QStringList{programName()} + arguments))
        return usageError(QStringLiteral("%1: %2").arg(name, parser.errorText()), info->name);
    if (parser.isSet(QStringLiteral("help")))
        return Answer{kExitSuccess, commandHelp(parser, *info)};
    if (parser.isSet(QStringLiteral("version")))
        return versionAnswer();

    Invocation invocation;
    invocation.command = info->command;
    if (std::optional<Answer> error = takeValues(parser, *info, invocation))
        return *error;
    return invocation;
}

} // namespace kv
