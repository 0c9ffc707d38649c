// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "ReadFormat.h"

#include <cmath>

#include "NumericText.h"

namespace kv {

QString hexRendering(std::span<const std::uint8_t> bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() * 2));
    for (const std::uint8_t byte : bytes)
        text += hexByte(byte);
    return text;
}

namespace {

// Code page 1252, bytes 80 to 9F; the rest of the upper half is Latin-1.
constexpr std::array<char16_t, 32> kWindows1252High = {
    u'\u20AC', u'\uFFFD', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\uFFFD', u'\u017D', u'\uFFFD',
    u'\uFFFD', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\uFFFD', u'\u017E', u'\u0178',
};

char16_t characterOf(std::uint8_t byte)
{
    if (byte < 0x20)
        return static_cast<char16_t>(0x2400 + byte);
    if (byte == 0x7F)
        return u'\u2421';
    if (byte >= 0x80 && byte < 0xA0)
        return kWindows1252High[byte - 0x80];
    return static_cast<char16_t>(byte);
}

QString countText(double value)
{
    if (std::trunc(value) == value && std::fabs(value) < 1e15)
        return numberText(static_cast<long long>(value));
    return QString::number(value, 'g', 15);
}

} // namespace

QString textRendering(std::span<const std::uint8_t> bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const std::uint8_t byte : bytes)
        text += QChar(characterOf(byte));
    return text;
}

QString nextSuccessCount(const QString &caption)
{
    const QString count = countText(numericValue(caption).value_or(0.0) + 1.0);
    return numericValue(count).value_or(0.0) > 1000.0 ? QStringLiteral("0") : count;
}

} // namespace kv
