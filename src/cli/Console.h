// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdio>

#include <QString>

namespace kv {

// The console program's two outputs: data on standard output, one line at a
// time and flushed at once, so that a program at the other end of a pipe
// sees each line as it is made; messages and the progress line on standard
// error. Text is UTF-8, or UTF-16 through the console API on a Windows
// console, which would otherwise show it in its own code page.
class Console
{
public:
    Console();

    // One line of data. False when it could not be written; later lines are
    // then not tried.
    bool printLine(const QString &line);
    // The line could not be written because nobody reads standard output any
    // more (a closed pipe).
    bool outputClosed() const { return m_outputClosed; }
    bool outputFailed() const { return m_outputFailed; }
    // Nobody reads standard output any more, seen without writing to it: a
    // watch that prints nothing while the card stays still ends when the
    // program it was piped into has ended.
    bool outputGone() const;

    // A message on standard error, after the program's name.
    void message(const QString &text);
    // The whole text as it is, on standard error.
    void error(const QString &text);
    // Help or version on standard output.
    bool answer(const QString &text);

    // A progress line, shown in place while standard error is a terminal.
    bool errorIsTerminal() const { return m_errorIsTerminal; }
    void showProgress(const QString &text);
    void clearProgress();

private:
    bool write(std::FILE *stream, const QString &text);

    bool m_errorIsTerminal = false;
    bool m_outputFailed = false;
    bool m_outputClosed = false;
    qsizetype m_progressWidth = 0; // characters of the progress line on screen; 0: none
};

} // namespace kv
