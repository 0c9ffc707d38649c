#pragma once

// Text helpers shared by every command: the numeric value of an operator's
// text, the integer conversions commands apply to it, and the two ways the
// tool writes numbers.
//
// The parser works on UTF-16 code units and has no dependency beyond the
// standard library, so that it can be fuzzed on its own.

#include <cstdint>
#include <optional>
#include <string_view>

#include <QString>

namespace kv {

// The numeric value of a text:
// - blanks, tabs and line feeds anywhere in the text are ignored;
// - "&H" / "&O" (either case) start a hexadecimal / octal integer; a value up
//   to 0xFFFF is read as signed 16-bit (&HFFFF is -1), up to 0xFFFFFFFF as
//   signed 32-bit (&HFFFFFFFF is -1);
// - otherwise an optional sign, digits with at most one decimal point and an
//   optional exponent introduced by E or D (either case) are read;
// - reading stops at the first character that does not fit; a text without a
//   number reads as 0.
// Returns no value when the number has no representation: a &H / &O value
// above 0xFFFFFFFF, or a decimal beyond the range of a double. A decimal too
// small for a double reads as 0.
std::optional<double> numericValue(std::u16string_view text);

inline std::optional<double> numericValue(const QString &text)
{
    return numericValue(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()),
                                            static_cast<std::size_t>(text.size())));
}

// Round to nearest, halves to even. No value when the rounded number does not
// fit the target type (it never wraps).
std::optional<std::int32_t> roundToInt32(double value);
std::optional<std::uint8_t> roundToByte(double value);

// The same conversions applied to the numeric value of a text.
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
