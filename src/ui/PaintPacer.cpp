// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "PaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

PaintPacer::PaintPacer(QWidget *window, std::chrono::milliseconds interval)
    : QObject(window), m_window(window), m_interval(interval)
{
    m_deferred.setSingleShot(true);
    m_deferred.setTimerType(Qt::PreciseTimer);
    connect(&m_deferred, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
    window->installEventFilter(this);
}

// The window's update requests are how Qt asks it to paint what changed.
bool PaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::UpdateRequest)
        return false;
    const auto elapsed = std::chrono::milliseconds(m_sinceLastPaint.isValid() ? m_sinceLastPaint.elapsed() : m_interval.count());
    if (elapsed < m_interval) {
        if (!m_deferred.isActive())
            m_deferred.start(m_interval - elapsed);
        return true; // painted at the end of the interval, with whatever else changed
    }
    m_deferred.stop();
    m_sinceLastPaint.start();
    return false;
}
