// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// Text helpers shared by every command: the numeric value of an operator's
// text, the integer conversions commands apply to it, and the two ways the
// tool writes numbers.
//
// The parser and the roundings are declared in NumericValue.h, which has no
// dependency beyond the standard library, so that they can be fuzzed on their
// own; this header adds their QString forms.

#include <cstdint>
#include <optional>
#include <string_view>

#include <QString>

#include "NumericValue.h"

namespace kv {

// numericValue(std::u16string_view) on the text's UTF-16 code units.
inline std::optional<double> numericValue(const QString &text)
{
    return numericValue(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()),
                                            static_cast<std::size_t>(text.size())));
}

// roundToInt32 / roundToByte applied to the numeric value of a text.
std::optional<std::int32_t> int32Value(const QString &text);
std::optional<std::uint8_t> byteValue(const QString &text);

// Decimal text without a leading blank: 1000, 0, -5.
QString numberText(long long value);

// Two upper-case hexadecimal digits: 0A, FF.
QString hexByte(std::uint8_t byte);

// The text without blanks (U+0020 only) at its start and end; tabs and line
// breaks stay.
QString trimBlanks(const QString &text);

} // namespace kv
