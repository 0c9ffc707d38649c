// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The card reads of the main window: one format at a time from its button,
// or all eleven from the read-all button.

#include <QLabel>
#include <QLineEdit>

#include "Form1.h"
#include "ReadFormat.h"
#include "Reader.h"

void Form1::cmdRequest_Click(int index)
{
    if (notOpenGuard())
        return;
    const auto format = static_cast<std::uint8_t>(index);
    m_module.lastStatus = m_reader.request(0, format, m_module.cardBuffer.data(), &m_module.requestAux);
    if (m_module.lastStatus != 0) {
        setStatus(QStringLiteral("寻卡操作失败！"));
        return;
    }
    const ReadFormat &readFormat = kReadFormats[format];
    const std::span reply(m_module.cardBuffer.data(), readFormat.byteCount());
    const QString hex = hexRendering(reply);
    txtZiFu[format]->setText(hex);
    if (readFormat.hasText())
        txtZiFu2[static_cast<std::size_t>(readFormat.textBox)]->setText(textRendering(reply));
    sString = hex;
    setStatus(QStringLiteral("寻卡成功！"));
    countSuccess();
}

void Form1::cmdReadAll_Click()
{
    if (!openOrNotice())
        return;
    // Every read runs as if its button were pressed; a failure does not stop
    // the others.
    for (int format = 0; format < kFormatCount; ++format)
        cmdRequest_Click(format);
    if (m_port.isOpen())
        closePortSequence();
}

void Form1::countSuccess() { lblCount->setText(nextSuccessCount(lblCount->text())); }
