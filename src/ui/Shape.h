// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QColor>
#include <QWidget>

namespace kv {

// A rectangle filled with a settable colour: the pass/fail lamp.
class Shape final : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)

public:
    explicit Shape(QWidget *parent = nullptr);

    QColor fillColor() const { return m_fill; }
    void setFillColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
};

// A colour given as red + 256 * green + 65536 * blue.
QColor colorFromValue(int value);

} // namespace kv
