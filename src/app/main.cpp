// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QApplication>

#include <cstdio>
#include <cstring>

#include "Form1.h"
#include "LibraryReader.h"
#include "PreciseWake.h"

namespace {

constexpr const char *helpText =
    "Usage: kv718st-demo [--help | --version]\n"
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
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Any other argument is ignored. See kv718st-demo(1).\n";

// Answers --help and --version, the only options the program has, before any
// window system is needed. Returns false when the window is to be started.
bool answeredOption(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(helpText, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("kv718st-demo " KV_VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (answeredOption(argc, argv))
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    requestPreciseWakeups(); // the automatic test's 10 ms waits end on time
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kv718st-demo"));
    QApplication::setApplicationVersion(QStringLiteral(KV_VERSION));

    LibraryReader reader;
    Form1 form(reader);
    reader.setMissNotifier(
        [&form](const LibraryReader::Miss &miss) { form.showLibraryMissing(miss.what, miss.reason); });
    reader.setProblemNotifier([&form](const QString &problem) { form.showLibraryProblem(problem); });
    form.show();
    return QApplication::exec();
}
