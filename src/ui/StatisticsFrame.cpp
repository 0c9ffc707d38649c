// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "StatisticsFrame.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QPalette>

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
      m_firstFailure(label(window, "lblStatFirstFailure")),
      m_lastFailure(label(window, "lblStatLastFailure")),
      m_kinds{label(window, "lblStatNoRead"), label(window, "lblStatWrongRead"), label(window, "lblStatPortClosed")},
      m_link(window.findChild<QLabel *>(QStringLiteral("lblStatLink")))
{
    Q_ASSERT(m_link);
    m_lastFailure->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_link->setAccessibleName(QCoreApplication::translate("Window", "读卡器连接"));
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
    const QDateTime &first = statistics.firstFailure();
    m_firstFailure->setText(first.isValid() ? first.toLocalTime().toString(QStringLiteral("HH:mm:ss")) : QString());
    m_lastFailure->setText(statistics.lastFailure() ? failureText(*statistics.lastFailure()) : QString());
    for (std::size_t kind = 0; kind < m_kinds.size(); ++kind)
        m_kinds[kind]->setText(QString::number(statistics.failures(static_cast<FailureKind>(kind))));
}

void StatisticsFrame::showLink(bool up, const QDateTime &when)
{
    m_link->setText((up ? QCoreApplication::translate("Statistics", "读卡器恢复")
                        : QCoreApplication::translate("Statistics", "读卡器断开")) +
                    u'\n' + when.toLocalTime().toString(QStringLiteral("HH:mm:ss")));
    QPalette palette = m_link->palette();
    palette.setColor(QPalette::WindowText, up ? m_passes->palette().color(QPalette::WindowText) : QColor(Qt::red));
    m_link->setPalette(palette);
}

QString StatisticsFrame::failureText(const TestStatistics::Failure &failure)
{
    return QCoreApplication::translate("Statistics", "%1 第%2步\n读数 %3\n参考 %4")
        .arg(failure.when.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")))
        .arg(failure.step)
        .arg(orEmptyMark(failure.reading), orEmptyMark(failure.reference));
}

} // namespace kv
