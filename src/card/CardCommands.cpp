// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The card reads of the main window: one format at a time from its button,
// or all eleven from the read-all button.

#include <QLabel>
#include <QLineEdit>

#include "CardRead.h"
#include "Form1.h"
#include "ReadFormat.h"

using namespace kv;

void Form1::cmdRequest_Click(int index)
{
    if (notOpenGuard())
        return;
    const auto format = static_cast<std::uint8_t>(index);
    const CardReading reading = readCard(m_reader, m_module, format);
    if (!reading.ok()) {
        setStatus(reading.message());
        return;
    }
    txtZiFu[format]->setText(reading.hex);
    if (const ReadFormat &readFormat = kReadFormats[format]; readFormat.hasText())
        txtZiFu2[static_cast<std::size_t>(readFormat.textBox)]->setText(reading.text);
    sString = reading.hex;
    setStatus(reading.message());
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
