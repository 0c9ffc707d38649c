// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "CardId.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <initializer_list>

namespace kv {

namespace {

// Writes `value` as `width` decimal digits, zero-padded, from `out` on and
// returns the position after the last digit. The caller makes sure the value
// fits the width.
std::uint8_t *writeDecimal(std::uint32_t value, std::size_t width, std::uint8_t *out)
{
    std::array<char, 10> digits{};
    const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    (void)error; // ten places hold every 32-bit value
    const auto length = static_cast<std::size_t>(end - digits.data());
    assert(length <= width);
    std::uint8_t *const padEnd = std::fill_n(out, width - length, std::uint8_t{'0'});
    return std::copy(digits.data(), end, padEnd);
}

std::uint8_t *writeBytes(std::initializer_list<std::uint8_t> bytes, std::uint8_t *out)
{
    return std::copy(bytes.begin(), bytes.end(), out);
}

std::uint32_t number(std::initializer_list<std::uint8_t> mostSignificantFirst)
{
    std::uint32_t value = 0;
    for (const std::uint8_t byte : mostSignificantFirst)
        value = (value << 8) | byte;
    return value;
}

} // namespace

std::size_t writeCardReply(const CardId &id, std::uint8_t format, std::span<std::uint8_t, kMaxCardReplySize> out)
{
    const auto [v, a, b, c, d] = id;
    std::uint8_t *const begin = out.data();
    std::uint8_t *end = begin;
    switch (format) {
    case 0:
        end = writeDecimal(number({a, b, c, d}), 10, begin);
        break;
    case 1:
        end = writeDecimal(number({d, c, b, a}), 10, begin);
        break;
    case 2:
        end = writeDecimal(b, 3, begin);
        *end++ = ',';
        end = writeDecimal(number({c, d}), 5, end);
        break;
    case 3:
        end = writeBytes({v, a, b, c, d}, begin);
        break;
    case 4:
        end = writeBytes({d, c, b, a, v}, begin);
        break;
    case 5:
        end = writeBytes({a, b, c, d}, begin);
        break;
    case 6:
        end = writeBytes({d, c, b, a}, begin);
        break;
    case 7:
        end = writeBytes({b, c, d}, begin);
        break;
    case 8:
        end = writeBytes({d, c, b}, begin);
        break;
    case 9:
        end = writeDecimal(number({b, c, d}), 8, begin);
        break;
    case 10:
        end = writeDecimal(number({d, c, b}), 8, begin);
        break;
    default:
        break;
    }
    return static_cast<std::size_t>(end - begin);
}

} // namespace kv
