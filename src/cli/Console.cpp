// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "Console.h"

#include <algorithm>
#include <cerrno>

#include <QCoreApplication>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace kv {

namespace {

bool isTerminal(std::FILE *stream)
{
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

} // namespace

Console::Console() : m_errorIsTerminal(isTerminal(stderr)) {}

bool Console::write(std::FILE *stream, const QString &text)
{
#if defined(_WIN32)
    const HANDLE handle = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        DWORD written = 0;
        return WriteConsoleW(handle, text.utf16(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
    }
#endif
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream) ==
                         static_cast<std::size_t>(bytes.size());
    return std::fflush(stream) == 0 && written;
}

bool Console::printLine(const QString &line)
{
    if (m_outputFailed)
        return false;
    clearProgress();
    if (write(stdout, line + u'\n'))
        return true;
#if !defined(_WIN32)
    m_outputClosed = errno == EPIPE;
#endif
    m_outputFailed = true;
    if (!m_outputClosed)
        message(QStringLiteral("standard output cannot be written"));
    return false;
}

bool Console::outputGone() const
{
#if defined(_WIN32)
    return false;
#else
    // The write end of a pipe whose reader has gone reports an error; a
    // terminal that was closed a hang-up.
    pollfd output{STDOUT_FILENO, 0, 0};
    return ::poll(&output, 1, 0) > 0 && (output.revents & (POLLERR | POLLHUP)) != 0;
#endif
}

void Console::message(const QString &text)
{
    clearProgress();
    write(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + text + u'\n');
}

void Console::error(const QString &text)
{
    clearProgress();
    write(stderr, text);
}

bool Console::answer(const QString &text) { return write(stdout, text); }

void Console::showProgress(const QString &text)
{
    if (!m_errorIsTerminal)
        return;
    // Blanks cover what is left of a longer line shown before.
    const qsizetype cover = std::max<qsizetype>(0, m_progressWidth - text.size());
    write(stderr, u'\r' + text + QString(cover, u' '));
    m_progressWidth = text.size();
}

void Console::clearProgress()
{
    if (m_progressWidth == 0)
        return;
    write(stderr, u'\r' + QString(m_progressWidth, u' ') + u'\r');
    m_progressWidth = 0;
}

} // namespace kv
