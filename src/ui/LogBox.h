#pragma once

#include <QPlainTextEdit>

// The test log: a multi-line text box without scroll bars whose text wraps at
// its width, and which the automatic test extends line by line.
class LogBox final : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogBox(QWidget *parent = nullptr);

    // Two updates: the text becomes the current text followed by `line`, then
    // that followed by CR LF (which the box keeps as one line break). Each
    // extends whatever the box holds by then, so text typed into it stays.
    // Both form one edit of the document, and only the new line is laid out
    // and repainted: a test extends the log eleven times a pass for hours.
    void appendLine(const QString &line);
};
