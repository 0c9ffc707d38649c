// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "NumericText.h"

namespace kv {

std::optional<std::int32_t> int32Value(const QString &text)
{
    const auto value = numericValue(text);
    return value ? roundToInt32(*value) : std::nullopt;
}

std::optional<std::uint8_t> byteValue(const QString &text)
{
    const auto value = numericValue(text);
    return value ? roundToByte(*value) : std::nullopt;
}

QString numberText(long long value) { return QString::number(value); }

QString hexByte(std::uint8_t byte)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    const QChar pair[2] = {QChar(kDigits[byte >> 4]), QChar(kDigits[byte & 0x0F])};
    return QString(pair, 2);
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace kv
