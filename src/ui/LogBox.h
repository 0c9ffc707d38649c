// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <utility>

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

namespace kv {

// The test log: a multi-line text box without scroll bars whose text wraps at
// its width, and which the automatic test extends line by line.
class LogBox final : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogBox(QWidget *parent = nullptr);

    // The text becomes the current text followed by `line` and CR LF (which
    // the box keeps as one line break), in one edit of the document. It
    // extends whatever the box holds, so text typed into it stays. Only the
    // new line is laid out, when it is painted, and only it is repainted: a
    // test extends the log eleven times a pass for hours. The box sends
    // textChanged once per line.
    void appendLine(const QString &line);
    // The text becomes empty, as with setPlainText(QString()), but the
    // document is emptied, not made anew: a test empties the log at every
    // pass.
    void clearText();

protected:
    void changeEvent(QEvent *event) override;

private:
    // The font's sizes the appends work with, kept from one font change to
    // the next: asking the font for them costs more than an append's edit.
    struct FontSizes
    {
        int widest = 0;
        int lineSpacing = 0;
        int height = 0;
    };
    void keepFontSizes();

    void editQuietly(const std::function<void(QTextCursor &)> &edit);
    std::pair<QTextBlock, qreal> firstUnpainted(const QTextBlock &last) const;

    FontSizes m_fontSizes;
};

} // namespace kv
