// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The smallest window comparable to the tool's: a 1264 x 560 top-level widget
// named Form1 showing one Chinese label. Start-up figures of the tool are
// judged against this program's, measured the same way.

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget form;
    form.setObjectName(QStringLiteral("Form1"));
    form.setWindowTitle(QStringLiteral("读卡器演示"));
    form.resize(1264, 560);
    auto *label = new QLabel(QStringLiteral("读卡器演示"), &form);
    label->setObjectName(QStringLiteral("Label1"));
    label->move(24, 24);
    form.show();
    return app.exec();
}
