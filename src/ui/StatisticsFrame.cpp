// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "StatisticsFrame.h"

#include <QCoreApplication>
#include <QLabel>

namespace kv {

namespace {

// A value label, named for screen readers by its caption label: a label with
// a name of its own also spares Qt a name-change notice at every new text.
QLabel *label(const QWidget &window, const char *name)
{
    auto *found = window.findChild<QLabel *>(QLatin1StringView(name));
    Q_ASSERT_X(found, "StatisticsFrame", name);
    const auto *caption = window.findChild<QLabel *>(QLatin1StringView(name) + QLatin1StringView("Caption"));
    Q_ASSERT_X(caption, "StatisticsFrame", name);
    found->setAccessibleName(caption->text());
    return found;
}

QString orEmptyMark(const QString &text)
{
    return text.isEmpty() ? QCoreApplication::translate("Statistics", "（空）") : text;
}

} // namespace

StatisticsFrame::StatisticsFrame(const QWidget &window)
    : m_passes(label(window, "lblStatPasses")),
      m_steps(label(window, "lblStatSteps")),
      m_failures(label(window, "lblStatFailures")),
      m_rate(label(window, "lblStatRate")),
      m_elapsed(label(window, "lblStatElapsed")),
      m_lastFailure(label(window, "lblStatLastFailure"))
{
    m_lastFailure->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void StatisticsFrame::show(const TestStatistics &statistics, TestStatistics::Clock::time_point now, bool atOnce)
{
    if (!atOnce && now - m_shown < kInterval)
        return;
    m_shown = now;
    m_passes->setText(QString::number(statistics.passes()));
    m_steps->setText(QString::number(statistics.steps()));
    m_failures->setText(QString::number(statistics.failures()));
    m_rate->setText(failureRateText(statistics.failures(), statistics.steps()));
    m_elapsed->setText(elapsedText(statistics.elapsed(now)));
    m_lastFailure->setText(statistics.lastFailure() ? failureText(*statistics.lastFailure()) : QString());
}

QString StatisticsFrame::failureText(const TestStatistics::Failure &failure)
{
    return QCoreApplication::translate("Statistics", "%1 第%2步\n读数 %3\n参考 %4")
        .arg(failure.when.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")))
        .arg(failure.step)
        .arg(orEmptyMark(failure.reading), orEmptyMark(failure.reference));
}

} // namespace kv
