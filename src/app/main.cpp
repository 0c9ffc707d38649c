// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "Form1.h"
#include "Language.h"
#include "LibraryReader.h"
#include "PreciseWake.h"

using namespace kv;

namespace {

constexpr const char *helpText =
    "Usage: kv718st-demo [--language en|zh] [--record FILE] [--help | --version]\n"
    "\n"
    "An operator's tool for a 125 kHz proximity-card reader: reads the card number\n"
    "in eleven formats, runs an automatic endurance test, sounds the buzzer,\n"
    "switches the LEDs and reads the reader's version. Opens one window.\n"
    "\n"
    "The reader library libVeltronanew125K.so is looked for by the dynamic loader\n"
    "(LD_LIBRARY_PATH first, then the system's library folders).\n"
    "kv718st-demo-simulated and kv718st-demo-serial start the program on the\n"
    "simulated reader and on the serial-module reader.\n"
    "\n"
    "  --language LANG  the window's language: zh (Chinese, the default whatever\n"
    "                   the system's locale) or en (English); the environment\n"
    "                   variable KV718ST_LANGUAGE does the same, the option wins\n"
    "  --record FILE    append a record of every automatic test to FILE (CSV:\n"
    "                   one line at each start, each failed step and each stop)\n"
    "  --help           show this text and exit\n"
    "  --version        show the version and exit\n"
    "\n"
    "Any other argument is ignored. See kv718st-demo(1).\n";

struct Options
{
    bool answered = false; // --help, --version or a usage error: the program ends
    int status = 0;        // its exit status then
    // Where the value of the last --record stands: argument and offset in it.
    int recordArgument = 0;
    std::size_t recordOffset = 0;
    std::optional<kv::Language> language; // the last --language
};

// Ends the program with a usage error.
Options usageError(const std::string &message)
{
    std::fprintf(stderr, "kv718st-demo: %s\n", message.c_str());
    Options options;
    options.answered = true;
    options.status = 2;
    return options;
}

std::string languageError(const std::string &what, std::string_view value)
{
    if (value.empty())
        return what + " needs a language: en or zh";
    return what + ": '" + std::string(value) + "' is not a language (en or zh)";
}

// The window's language when the command line does not choose it:
// KV718ST_LANGUAGE when set and not empty, else Chinese.
Options languageFromEnvironment(Options options)
{
    const char *value = std::getenv(kLanguageVariable);
    if (!value || *value == '\0') {
        options.language = Language::Chinese;
        return options;
    }
    options.language = languageNamed(value);
    return options.language ? options : usageError(languageError(kLanguageVariable, value));
}

// Answers --help and --version before any window system is needed, finds
// --record FILE (or --record=FILE), and takes the language from --language
// LANG (or --language=LANG), else from KV718ST_LANGUAGE.
Options parseOptions(int argc, char *argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "--version") {
            if (argument == "--help")
                std::fputs(helpText, stdout);
            else
                std::puts("kv718st-demo " KV_VERSION);
            options.answered = true;
            options.status = std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
            return options;
        }
        constexpr std::string_view kJoined = "--record=";
        if (argument == "--record" && i + 1 < argc && argv[i + 1][0] != '\0') {
            options.recordArgument = ++i;
            options.recordOffset = 0;
        } else if (argument.starts_with(kJoined) && argument.size() > kJoined.size()) {
            options.recordArgument = i;
            options.recordOffset = kJoined.size();
        } else if (argument == "--record" || argument.starts_with(kJoined)) {
            return usageError("--record needs a file name");
        }
        constexpr std::string_view kLanguageJoined = "--language=";
        if (argument == "--language" || argument.starts_with(kLanguageJoined)) {
            std::string_view value;
            if (argument != "--language")
                value = argument.substr(kLanguageJoined.size());
            else if (i + 1 < argc)
                value = argv[++i];
            options.language = languageNamed(value);
            if (!options.language)
                return usageError(languageError("--language", value));
        }
    }
    return options.language ? options : languageFromEnvironment(options);
}

// The value of --record, from the application's arguments, which on Windows
// are the program's wide command line, so any file name survives.
std::optional<QString> recordFile(const Options &options, int argc, char *argv[])
{
    if (options.recordArgument == 0)
        return std::nullopt;
    const QStringList arguments = QCoreApplication::arguments();
    const QString argument = arguments.size() == argc ? arguments.at(options.recordArgument)
                                                      : QString::fromLocal8Bit(argv[options.recordArgument]);
    return argument.mid(static_cast<qsizetype>(options.recordOffset));
}

} // namespace

int main(int argc, char *argv[])
{
    const Options options = parseOptions(argc, argv);
    if (options.answered)
        return options.status;
    requestPreciseWakeups(); // the automatic test's 10 ms waits end on time
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kv718st-demo"));
    QApplication::setApplicationVersion(QStringLiteral(KV_VERSION));
    if (!useLanguage(*options.language))
        std::fputs("kv718st-demo: the translation is missing from this build; the window stays Chinese\n", stderr);

    LibraryReader reader;
    Form1 form(reader);
    reader.setMissNotifier(
        [&form](const LibraryReader::Miss &miss) { form.showLibraryMissing(miss.what, miss.reason); });
    reader.setProblemNotifier([&form](const QString &problem) { form.showLibraryProblem(problem); });
    reader.setLinkNotifier([&form](bool up, const QString &text) { form.linkChanged(up, text); });
    form.setLibraryDescription([&reader] { return reader.loadedFrom(); });
    form.show();
    if (const std::optional<QString> record = recordFile(options, argc, argv))
        form.recordTo(*record);
    return QApplication::exec();
}
