// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "Interrupt.h"

#include <QEventLoop>
#include <QTimer>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#endif

namespace kv {

namespace {

#if defined(_WIN32)
// The console's handler runs on a thread of its own; it hands the request to
// the main thread's event loop.
Interrupt *g_interrupt = nullptr;

BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    static bool seen = false;
    if (seen || !g_interrupt)
        return FALSE; // the second one ends the program
    seen = true;
    QMetaObject::invokeMethod(g_interrupt, "stopRequested", Qt::QueuedConnection);
    return TRUE;
}
#else
// The socket pair the signal handler writes to: [0] written, [1] read.
int g_signalSockets[2] = {-1, -1};

void onSignal(int signal)
{
    // Only async-signal-safe calls: back to the default, so that a second
    // signal ends the program, and one byte for the event loop.
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    sigaction(signal, &defaultAction, nullptr);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalSockets[0], &byte, 1);
}

void handle(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}
#endif

} // namespace

Interrupt::Interrupt()
{
    connect(this, &Interrupt::stopRequested, this, [this] { m_requested = true; });
#if defined(_WIN32)
    g_interrupt = this;
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
#else
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSockets) != 0)
        qFatal("socketpair failed");
    m_notifier = new QSocketNotifier(g_signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_signalSockets[1], &byte, 1);
        emit stopRequested();
    });
    handle(SIGINT, onSignal);
    handle(SIGTERM, onSignal);
#endif
}

Interrupt::~Interrupt()
{
#if defined(_WIN32)
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    g_interrupt = nullptr;
#else
    handle(SIGINT, SIG_DFL);
    handle(SIGTERM, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_signalSockets[0]);
    ::close(g_signalSockets[1]);
    g_signalSockets[0] = g_signalSockets[1] = -1;
#endif
}

bool Interrupt::wait(std::chrono::milliseconds interval)
{
    if (m_requested)
        return false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &Interrupt::stopRequested, &loop, &QEventLoop::quit);
    timer.start(interval);
    loop.exec();
    return !m_requested;
}

} // namespace kv
