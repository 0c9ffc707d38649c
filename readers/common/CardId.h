// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The reply of a card read in each of the reader's eleven output formats.
//
// A card ID is five bytes `v a b c d`: a version byte followed by the 32-bit
// number `a b c d`, most significant byte first. Formats, written from the
// first byte of the reply:
//    0  `a b c d` as an unsigned decimal number, 10 ASCII digits
//    1  `d c b a` the same way
//    2  `b` in 3 decimal digits, ',', the 16-bit number `c d` in 5 digits
//    3  raw `v a b c d`      4  raw `d c b a v`
//    5  raw `a b c d`        6  raw `d c b a`
//    7  raw `b c d`          8  raw `d c b`
//    9  the 24-bit number `b c d` in 8 decimal digits
//   10  `d c b` the same way
// Decimal numbers are zero-padded to their full width.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kv {

using CardId = std::array<std::uint8_t, 5>;

inline constexpr std::uint8_t kLastCardFormat = 10;

// The longest reply of any format (formats 0 and 1).
inline constexpr std::size_t kMaxCardReplySize = 10;

// Writes the reply of `id` in `format` from out[0] on and returns the number
// of bytes written. A format above kLastCardFormat writes nothing and
// returns 0; every valid format writes at least 3 bytes.
std::size_t writeCardReply(const CardId &id, std::uint8_t format, std::span<std::uint8_t, kMaxCardReplySize> out);

} // namespace kv
