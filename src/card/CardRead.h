// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

#include <QString>

namespace kv {

class Reader;
struct Module;

// One card read and its renderings, as every command that reads the card
// makes it: the window's format buttons, its automatic test, and the console
// program.
struct CardReading
{
    std::int16_t status = 0; // the library's status; 0 is success
    QString hex;             // the hexadecimal rendering; empty after a failed read
    QString text;            // the text rendering of a decimal format; else empty

    bool ok() const { return status == 0; }
    // The status line after the read: "寻卡成功！" or "寻卡操作失败！", translated.
    QString message() const;
};

// Reads the card once in `format` (0 to 10) into the module's reply buffer,
// keeps the status in lastStatus, and renders the format's bytes when the
// read succeeded. A failed read renders nothing, whatever the buffer holds.
CardReading readCard(Reader &reader, Module &module, std::uint8_t format);

// The read of one step of the automatic test: readCard without the text
// rendering, which a step does not show, and after a successful read the
// cues on the reader, both LEDs off at format 0, a beep and both LEDs on at
// format 10. The cues' statuses go to lastStatus and are otherwise ignored.
CardReading readTestStep(Reader &reader, Module &module, std::uint8_t format);

} // namespace kv
