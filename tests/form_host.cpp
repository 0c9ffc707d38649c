// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The real window on a fake reader in a process of its own, for what can only
// be seen from outside: how the program ends, and what its test record holds
// then. Every reader call and every change of the test log is printed on
// standard output.
// usage: form_host SCENARIO [RECORD_FILE] [Qt options]

#include <cstdio>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "FakeReader.h"
#include "Form1.h"

using namespace kv;

namespace {

void print(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString scenario = QApplication::arguments().value(1);
    const QString record = QApplication::arguments().value(2);

    FakeReader reader;
    Form1::Hooks hooks = Form1::defaultHooks();
    hooks.messageBox = [](QWidget *, QMessageBox::Icon, const QString &text) { print(QStringLiteral("box ") + text); };
    Form1 form(reader, hooks);
    form.show();
    if (!record.isEmpty())
        form.recordTo(record);
    QObject::connect(form.findChild<QPlainTextEdit *>(QStringLiteral("txtTestResult")), &QPlainTextEdit::textChanged,
                     [] { print(QStringLiteral("log changed")); });

    // Outlives the event loop: the reader's hook reads it from inside exec().
    bool testing = false;
    if (scenario == QLatin1String("close-during-pass")) {
        // Take references, start the test, and close the window in the wait
        // after step 4 of the first pass.
        reader.setOnCall([&](const QString &call) {
            print(call);
            if (testing && call == QStringLiteral("request(0,4)")) {
                testing = false;
                QTimer::singleShot(0, &form, [&form] {
                    print(QStringLiteral("closing"));
                    form.close();
                });
            }
        });
        form.findChild<QPushButton *>(QStringLiteral("cmdReadAll"))->click();
        testing = true;
        form.findChild<QPushButton *>(QStringLiteral("cmdZiDongCeShi"))->click();
    } else {
        print(QStringLiteral("unknown scenario"));
        return 2;
    }
    QApplication::exec();
    print(QStringLiteral("event loop ended")); // never reached: closing ends the program
    return 1;
}
