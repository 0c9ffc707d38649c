// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The numeric value of an operator's text and the integer conversions commands
// apply to it. Works on UTF-16 code units and depends on nothing beyond the
// standard library, so that it can be built and fuzzed on its own.

#include <cstdint>
#include <optional>
#include <string_view>

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

// Round to nearest, halves to even. No value when the rounded number does not
// fit the target type (it never wraps).
std::optional<std::int32_t> roundToInt32(double value);
std::optional<std::uint8_t> roundToByte(double value);

} // namespace kv
