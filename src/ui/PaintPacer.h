// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>

#include <QObject>
#include <QTimer>

class QWidget;

namespace kv {

// Lets a window repaint at most once per frame interval. A running automatic
// test changes the window every 10 ms or so, faster than any eye or screen
// follows; painting every change would cost most of the processor time the
// test uses. Changes within an interval are gathered and painted together at
// its end, so nothing shown is ever lost, only shown up to one interval later.
class PaintPacer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PaintPacer)

public:
    using Clock = std::chrono::steady_clock;

    PaintPacer(QWidget *window, std::chrono::milliseconds interval);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintNow();

    QWidget *m_window;
    std::chrono::milliseconds m_interval;
    Clock::time_point m_lastPaint{};
    bool m_painting = false;
    QTimer m_deferred;
};

} // namespace kv
