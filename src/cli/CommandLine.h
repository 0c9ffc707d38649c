// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <variant>

#include <QString>
#include <QStringList>

#include "Language.h"
#include "ReadFormat.h"

namespace kv {

// The exit statuses of the console program, one table for --help, the manual
// page and the README. A script acts differently on each: 1 may be retried
// (no card now), 3 needs the reader or its port seen to, 4 the installation.
enum ExitStatus : int {
    kExitSuccess = 0,
    kExitFailed = 1,         // what was asked failed: a read, a command, a test step, the close
    kExitUsage = 2,          // the command line: unknown subcommand or option, a bad value
    kExitPortNotOpened = 3,  // the reader library could not open the port
    kExitLibraryMissing = 4, // the reader library, or a function in it, cannot be loaded
};

enum class Command { Read, Watch, Test, Version, Beep, Led, Ports };

// The port and rate when none is given: the window's fields start with them.
inline constexpr std::int32_t kDefaultPort = 2;
inline constexpr std::int32_t kDefaultBaud = 19200;

// What the command line asks for, every value checked.
struct Invocation
{
    Command command = Command::Read;
    std::int32_t port = kDefaultPort;
    std::int32_t baud = kDefaultBaud;
    QString reader; // simulated, serial or wine; empty: the library by its bare name
    bool json = false;
    std::optional<int> format; // read: all formats when empty; watch: always set
    int intervalMs = 0;        // watch: the pause between two reads
    std::int64_t count = 0;    // watch: cards to see; 0 means no limit
    std::int64_t passes = 0;   // test: passes to run; 0 means no limit
    std::int64_t durationSeconds = 0;
    std::array<QString, kFormatCount> references; // test: given references, empty where not given
    QString recordFile;
    std::uint8_t value = 0; // beep: the value; led: the code
    Language language = Language::Chinese; // of the window's texts the program writes
};

// What the program answers without touching the reader: a help text or the
// version (status 0, standard output), or a usage error (status 2, standard
// error).
struct Answer
{
    int status = kExitSuccess;
    QString text;
};

// Parses the arguments after the program name. Options may stand before or
// after the subcommand.
std::variant<Invocation, Answer> parseCommandLine(const QStringList &arguments);

// The exit status table as the help texts show it.
QString exitStatusTable();

} // namespace kv
