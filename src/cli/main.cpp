// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// kv718st-cli: the reader from scripts. Reads, watches, tests and drives the
// reader without a window, through the same core as the window: the binding
// to the reader library, the port sequences, the format table and renderings,
// the test step, its verdict, totals and record.

#include <variant>
#include <vector>

#include <QCoreApplication>

#include "CommandLine.h"
#include "Console.h"
#include "Language.h"
#include "LibraryReader.h"
#include "ProjectReaders.h"
#include "Commands.h"

#if !defined(_WIN32)
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

#include <QFileInfo>
#include <QStandardPaths>
#endif

using namespace kv;

namespace {

#if !defined(_WIN32)
// Set while the program runs again through the Wine bridge's preparation.
constexpr const char *kWinePreparedVariable = "KV718ST_CLI_WINE_PREPARED";

// The Wine bridge installed with its launcher's steps (prepare.sh: the Wine
// prefix, its serial ports COM1 to COM7, checks with advice) needs them before
// the first call, as the launcher runs them before the window. They set up
// this process's environment, so the program starts itself again through
// them, in the shell the launcher uses, with the same arguments; the second
// run finds the variable set and goes on.
void prepareWine(const QString &folder, Console &console, char *argv[])
{
    const QString prepare = folder + QStringLiteral("/prepare.sh");
    if (!QFileInfo::exists(prepare) || qEnvironmentVariable(kWinePreparedVariable) == folder)
        return;
    const QString bash = QStandardPaths::findExecutable(QStringLiteral("bash"));
    if (bash.isEmpty()) {
        console.message(QStringLiteral("bash not found: %1 is not run").arg(prepare));
        return;
    }
    qputenv(kWinePreparedVariable, QFile::encodeName(folder));
    const QByteArray program = QFile::encodeName(bash);
    const QByteArray readers = QFile::encodeName(folder);
    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    std::vector<char *> arguments{const_cast<char *>(program.constData()),
                                  const_cast<char *>("-c"),
                                  const_cast<char *>("set -eu; readers=$1; shift; . \"$readers/prepare.sh\"; "
                                                     "exec \"$@\""),
                                  const_cast<char *>("kv718st-cli"),
                                  const_cast<char *>(readers.constData()),
                                  const_cast<char *>(self.constData())};
    for (char **argument = argv + 1; *argument; ++argument)
        arguments.push_back(*argument);
    arguments.push_back(nullptr);
    ::execv(program.constData(), arguments.data());
    console.message(QStringLiteral("%1 cannot be run: %2").arg(prepare, QString::fromLocal8Bit(std::strerror(errno))));
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv718st-cli"));
    Console console;
#if !defined(_WIN32)
    // A closed pipe is an error of the write, not the end of the program:
    // the port is closed first.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    const auto parsed = parseCommandLine(QCoreApplication::arguments().mid(1));
    if (const Answer *answer = std::get_if<Answer>(&parsed)) {
        if (answer->status != kExitSuccess) {
            console.error(answer->text);
            return answer->status;
        }
        return console.answer(answer->text) ? kExitSuccess : kExitFailed;
    }
    const Invocation &invocation = std::get<Invocation>(parsed);
    // The window's texts the program writes, in the language asked for; its
    // own messages are English. KV718ST_LANGUAGE is the window's: a script's
    // output does not change with the environment.
    if (!useLanguage(invocation.language))
        console.message(QStringLiteral("the translation is missing from this build; the window's texts stay Chinese"));

    // By default the library by its bare name, as the window loads it; with
    // --reader one of the project's own by its full path, found as the
    // window finds the simulated reader for its hint.
    QString library = QStringLiteral(RF_LIBRARY_NAME);
    if (!invocation.reader.isEmpty()) {
        library = projectReaderLibrary(invocation.reader);
#if !defined(_WIN32)
        // ports loads no library: the bridge needs no Wine prefix for it.
        if (invocation.reader == QLatin1String("wine") && invocation.command != Command::Ports)
            prepareWine(QFileInfo(library).path(), console, argv);
#endif
    }
    LibraryReader reader(library);
    // The project's libraries that tell causes (the serial-module reader, the
    // Wine bridge) write every failure on standard error themselves, in one
    // line with its fix; the binding's own line would say it a second time.
    reader.setProblemNotifier([](const QString &) {});
    Commands commands(reader, invocation, console);
    reader.setMissNotifier([&](const LibraryReader::Miss &miss) {
        console.message(libraryMissingText(miss.what, miss.reason));
        if (invocation.reader.isEmpty() && !projectReaderFolder(QStringLiteral("simulated")).isEmpty())
            console.message(QStringLiteral("to try the program without a reader: %1 --reader simulated ...")
                                .arg(QCoreApplication::applicationName()));
        commands.setLibraryMissing();
    });
    // The library says a lost and a returned reader on standard error itself.
    reader.setLinkNotifier([&](bool up, const QString &text) { commands.linkChanged(up, text); });
    commands.setLibraryDescription([&reader] { return reader.loadedFrom(); });
    return commands.run();
}
