// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include <QString>

namespace kv {

// The eleven output formats of a card read: how many reply bytes each one
// uses and how the tool shows them.
struct ReadFormat
{
    int lastByte;     // index of the last reply byte used
    int textBox = -1; // index of the txtZiFu2 box for the decimal formats, else -1

    std::size_t byteCount() const { return static_cast<std::size_t>(lastByte) + 1; }
    bool hasText() const { return textBox >= 0; }
};

inline constexpr int kFormatCount = 11;

// Index = format = index of the read button. The decimal formats (0, 1, 2, 9,
// 10) reply with the characters of the number; the others with raw bytes.
inline constexpr std::array<ReadFormat, kFormatCount> kReadFormats = {{
    {9, 0},  // 0: 10-digit decimal, forward
    {9, 1},  // 1: 10-digit decimal, reversed
    {8, 2},  // 2: 3 digits, comma, 5 digits, forward
    {4},     // 3: 5 bytes, forward
    {4},     // 4: 5 bytes, reversed
    {3},     // 5: 4 bytes, forward
    {3},     // 6: 4 bytes, reversed
    {2},     // 7: 3 bytes, forward
    {2},     // 8: 3 bytes, reversed
    {7, 3},  // 9: 8-digit decimal, forward
    {7, 4},  // 10: 8-digit decimal, reversed
}};

// Two upper-case hexadecimal digits per byte, no separators: 00 1A 2B gives
// "001A2B".
QString hexRendering(std::span<const std::uint8_t> bytes);

// One character per byte. Printable ASCII stands for itself, as the decimal
// formats carry digits and a comma. Any other byte still gets exactly one
// character and never a control character, so a malformed reply is neither
// cut short nor garbles the box: bytes 00-1F and 7F show as their Unicode
// control pictures (U+2400 to U+241F, U+2421), and bytes 80-FF as in the
// Western Windows code page (1252), whose five unassigned bytes show as U+FFFD.
QString textRendering(std::span<const std::uint8_t> bytes);

// The success counter: the caption's numeric value plus one, and "0" once the
// count passes 1000.
QString nextSuccessCount(const QString &caption);

} // namespace kv
