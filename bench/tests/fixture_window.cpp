// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// A window for checking the driver: controls with known behaviour, so that
// each step of a script has a predictable outcome.
//   cmdAdd      adds one to lblCount
//   cmdSlow     busy for 40 ms, then sets lblState to "slow done"
//   cmdLater    sets lblState to "later done" 150 ms after the click
//   cmdOff      disabled;  cmdHidden  hidden
//   cmdCovered  lies under a frame, so a pointer click cannot reach it
//   dup         two labels share this name
// Closing the window ends the process like the tool does: flush, _Exit(0).

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

class FixtureForm final : public QWidget
{
public:
    FixtureForm()
    {
        setObjectName(QStringLiteral("Form1"));
        setWindowTitle(QStringLiteral("测试窗口 fixture"));
        resize(400, 300);

        auto *count = label(QStringLiteral("lblCount"), QStringLiteral("0"), 10, 10);
        auto *state = label(QStringLiteral("lblState"), QStringLiteral("idle"), 10, 40);
        label(QStringLiteral("dup"), QStringLiteral("one"), 200, 10);
        label(QStringLiteral("dup"), QStringLiteral("two"), 200, 40);

        auto *edit = new QLineEdit(QStringLiteral("卡号 12345"), this);
        edit->setObjectName(QStringLiteral("txtName"));
        edit->setGeometry(10, 70, 180, 24);
        auto *notes = new QPlainTextEdit(QStringLiteral("line one\nline \"two\""), this);
        notes->setObjectName(QStringLiteral("txtNotes"));
        notes->setGeometry(200, 70, 180, 60);

        connect(button(QStringLiteral("cmdAdd"), 10, 140), &QPushButton::clicked, this,
                [count] { count->setText(QString::number(count->text().toInt() + 1)); });
        connect(button(QStringLiteral("cmdSlow"), 110, 140), &QPushButton::clicked, this, [state] {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 40) {
            }
            state->setText(QStringLiteral("slow done"));
        });
        connect(button(QStringLiteral("cmdLater"), 210, 140), &QPushButton::clicked, this, [this, state] {
            QTimer::singleShot(150, this, [state] { state->setText(QStringLiteral("later done")); });
        });
        button(QStringLiteral("cmdOff"), 10, 180)->setEnabled(false);
        button(QStringLiteral("cmdHidden"), 110, 180)->hide();
        connect(button(QStringLiteral("cmdCovered"), 210, 180), &QPushButton::clicked, this,
                [state] { state->setText(QStringLiteral("covered clicked")); });
        auto *cover = new QFrame(this);
        cover->setObjectName(QStringLiteral("cover"));
        cover->setGeometry(200, 170, 120, 50);
        cover->raise();
    }

protected:
    void closeEvent(QCloseEvent *) override
    {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(0);
    }

private:
    QLabel *label(const QString &name, const QString &text, int x, int y)
    {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        l->setGeometry(x, y, 180, 24);
        return l;
    }

    QPushButton *button(const QString &name, int x, int y)
    {
        auto *b = new QPushButton(name, this);
        b->setObjectName(name);
        b->setGeometry(x, y, 90, 30);
        return b;
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    FixtureForm form;
    form.show();
    return app.exec();
}
