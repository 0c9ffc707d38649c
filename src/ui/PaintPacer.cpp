// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "PaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace kv {

PaintPacer::PaintPacer(QWidget *window, std::chrono::milliseconds interval)
    : QObject(window), m_window(window), m_interval(interval)
{
    m_deferred.setSingleShot(true);
    m_deferred.setTimerType(Qt::PreciseTimer);
    connect(&m_deferred, &QTimer::timeout, this, &PaintPacer::paintNow);
    window->installEventFilter(this);
}

// Sent, not posted: the paint runs in the wake that calls for it, not in one
// more that a posted request would cost.
void PaintPacer::paintNow()
{
    m_painting = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_window, &request);
    m_painting = false;
}

// The window's update requests are how Qt asks it to paint what changed.
bool PaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::UpdateRequest)
        return false;
    const auto now = Clock::now();
    const auto due = m_lastPaint + m_interval;
    if (!m_painting && now < due) {
        if (!m_deferred.isActive())
            m_deferred.start(std::chrono::ceil<std::chrono::milliseconds>(due - now));
        return true; // painted at the end of the interval, with whatever else changed
    }
    m_deferred.stop();
    m_lastPaint = now;
    return false;
}

} // namespace kv
