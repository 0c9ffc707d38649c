// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "CardRead.h"

#include <span>

#include <QCoreApplication>

#include "Module.h"
#include "ReadFormat.h"
#include "Reader.h"

namespace kv {

QString CardReading::message() const
{
    return ok() ? QCoreApplication::translate("Status", "寻卡成功！") : QCoreApplication::translate("Status", "寻卡操作失败！");
}

namespace {

CardReading read(Reader &reader, Module &module, std::uint8_t format, bool withText)
{
    CardReading reading;
    reading.status = reader.request(0, format, module.cardBuffer.data(), &module.requestAux);
    module.lastStatus = reading.status;
    if (!reading.ok())
        return reading;
    const ReadFormat &readFormat = kReadFormats[format];
    const std::span reply(module.cardBuffer.data(), readFormat.byteCount());
    reading.hex = hexRendering(reply);
    if (withText && readFormat.hasText())
        reading.text = textRendering(reply);
    return reading;
}

} // namespace

CardReading readCard(Reader &reader, Module &module, std::uint8_t format) { return read(reader, module, format, true); }

CardReading readTestStep(Reader &reader, Module &module, std::uint8_t format)
{
    CardReading reading = read(reader, module, format, false);
    if (!reading.ok())
        return reading;
    if (format == 0) {
        module.lastStatus = reader.light(0, 0);
        module.lastStatus = reader.light(0, 2);
    } else if (format == kFormatCount - 1) {
        module.lastStatus = reader.beep(0, 30);
        module.lastStatus = reader.light(0, 1);
        module.lastStatus = reader.light(0, 3);
    }
    return reading;
}

} // namespace kv
