// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QApplication>

#include "Form1.h"
#include "LibraryReader.h"
#include "PreciseWake.h"

int main(int argc, char *argv[])
{
    requestPreciseWakeups(); // the automatic test's 10 ms waits end on time
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kv718st-demo"));

    LibraryReader reader;
    Form1 form(reader);
    reader.setMissNotifier(
        [&form](const LibraryReader::Miss &miss) { form.showLibraryMissing(miss.what, miss.reason); });
    form.show();
    return QApplication::exec();
}
