// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>

#include <QObject>

class QSocketNotifier;

namespace kv {

// Ctrl+C and SIGTERM (on Windows Ctrl+C and Ctrl+Break) as a request to stop,
// seen by the event loop of the main thread: the handler only writes a byte
// into a socket pair, which a QSocketNotifier reads (Qt's pattern for Unix
// signals), so the work that was running when the signal came ends cleanly:
// the port is closed and the totals are written. A second signal ends the
// program at once, as it would without this.
//
// One object at a time; it handles the signals from its construction to its
// destruction.
class Interrupt final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Interrupt)

public:
    Interrupt();
    ~Interrupt() override;

    bool requested() const { return m_requested; }

    // Processes events for `interval`; false, at once, when a stop was or
    // is requested.
    bool wait(std::chrono::milliseconds interval);

signals:
    void stopRequested();

private:
    void raise();

    bool m_requested = false;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace kv
