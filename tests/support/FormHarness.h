// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <memory>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTest>

#include "FakeReader.h"
#include "Form1.h"

namespace kv {

// The real window on a fake reader, shown offscreen. Message boxes, modal or
// not, are recorded instead of shown, and the program's ending is counted
// instead of ending the test.
class FormHarness
{
public:
    FormHarness()
    {
        Form1::Hooks hooks;
        hooks.messageBox = [this](QWidget *, QMessageBox::Icon, const QString &text) {
            boxes << text;
            if (onMessageBox)
                onMessageBox(text);
        };
        hooks.endProgram = [this] { ++endings; };
        hooks.notice = [this](QWidget *, QMessageBox::Icon, const QString &text) { notices << text; };
        form = std::make_unique<Form1>(reader, hooks);
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qFatal("the window was never exposed");
    }

    template<typename T = QWidget>
    T *child(const QString &name) const
    {
        T *widget = form->findChild<T *>(name);
        if (!widget)
            qFatal("no control named %s", qPrintable(name));
        return widget;
    }

    void click(const QString &name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }

    QString text(const QString &name) const
    {
        QWidget *widget = child(name);
        if (auto *edit = qobject_cast<QLineEdit *>(widget))
            return edit->text();
        if (auto *label = qobject_cast<QLabel *>(widget))
            return label->text();
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            return button->text();
        if (auto *log = qobject_cast<QPlainTextEdit *>(widget))
            return log->toPlainText();
        if (auto *combo = qobject_cast<QComboBox *>(widget))
            return combo->currentText();
        qFatal("control %s has no text", qPrintable(name));
    }

    void setText(const QString &name, const QString &text) const
    {
        QWidget *widget = child(name);
        if (auto *edit = qobject_cast<QLineEdit *>(widget))
            edit->setText(text);
        else if (auto *combo = qobject_cast<QComboBox *>(widget))
            combo->setEditText(text);
        else if (auto *label = qobject_cast<QLabel *>(widget))
            label->setText(text);
        else
            qFatal("control %s takes no text", qPrintable(name));
    }

    QString status() const { return text(QStringLiteral("Label_RetInfo")); }

    // Opens the port through read-all with the fake's standard card, leaving
    // the references in the boxes and the port closed.
    void takeReferences()
    {
        click(QStringLiteral("cmdReadAll"));
        reader.takeCalls();
    }

    FakeReader reader;
    QStringList boxes;   // modal: the operator had to answer them
    QStringList notices; // boxes that waited for nobody
    std::function<void(const QString &)> onMessageBox;
    int endings = 0;
    std::unique_ptr<Form1> form;
};

} // namespace kv
