// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "NumericValue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace kv {
namespace {

// Walks a text while skipping the characters that never count: blanks, tabs
// and line feeds, wherever they stand.
class Cursor
{
public:
    explicit Cursor(std::u16string_view text) : m_text(text) {}

    char16_t peek()
    {
        while (m_pos < m_text.size() && isIgnored(m_text[m_pos]))
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos] : u'\0';
    }
    void advance() { ++m_pos; }

private:
    static bool isIgnored(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

    std::u16string_view m_text;
    std::size_t m_pos = 0;
};

bool isDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int digitValue(char16_t c, int base)
{
    int value = -1;
    if (c >= u'0' && c <= u'9')
        value = c - u'0';
    else if (c >= u'a' && c <= u'f')
        value = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        value = c - u'A' + 10;
    return value < base ? value : -1;
}

// "&H…" or "&O…", the cursor standing after the letter.
std::optional<double> radixValue(Cursor &cursor, int base)
{
    constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
    std::uint64_t value = 0;
    bool tooLarge = false;
    for (int digit = digitValue(cursor.peek(), base); digit >= 0; digit = digitValue(cursor.peek(), base)) {
        cursor.advance();
        if (!tooLarge) {
            value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
            tooLarge = value > kMax32;
        }
    }
    if (tooLarge)
        return std::nullopt;
    if (value <= 0xFFFFu)
        return static_cast<double>(static_cast<std::int16_t>(static_cast<std::uint16_t>(value)));
    return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

// An optional sign; true for a minus.
bool takeSign(Cursor &cursor)
{
    const char16_t c = cursor.peek();
    if (c != u'+' && c != u'-')
        return false;
    cursor.advance();
    return c == u'-';
}

// Exponent: E or D, an optional sign and at least one digit; a marker
// without digits is simply where reading stops.
long long exponentValue(Cursor &cursor)
{
    const char16_t c = cursor.peek();
    if (c != u'E' && c != u'e' && c != u'D' && c != u'd')
        return 0;
    cursor.advance();
    const bool negative = takeSign(cursor);
    constexpr long long kExponentCap = 1'000'000;
    long long exponent = 0;
    for (char16_t d = cursor.peek(); isDecimalDigit(d); d = cursor.peek()) {
        exponent = std::min(exponent * 10 + (d - u'0'), kExponentCap);
        cursor.advance();
    }
    return negative ? -exponent : exponent;
}

// The value of the digits before and after the point, times ten to
// `exponent`, negated for a minus.
std::optional<double> scaledValue(bool negative, const std::string &intDigits, const std::string &fracDigits,
                                  long long exponent)
{
    // Order of magnitude of the first significant digit, to tell an overflow
    // (no value) from an underflow (zero) without trusting the converter.
    const auto firstInt = intDigits.find_first_not_of('0');
    long long order = 0;
    if (firstInt != std::string::npos) {
        order = static_cast<long long>(intDigits.size() - firstInt) + exponent;
    } else {
        const auto firstFrac = fracDigits.find_first_not_of('0');
        if (firstFrac == std::string::npos)
            return 0.0;
        order = exponent - static_cast<long long>(firstFrac);
    }
    if (order > 400)
        return std::nullopt;
    if (order < -400)
        return 0.0;

    const std::string canonical = intDigits + fracDigits + 'e'
                                  + std::to_string(exponent - static_cast<long long>(fracDigits.size()));
    double value = 0.0;
    const auto [end, error] = std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        if (order > 0)
            return std::nullopt;
        value = 0.0;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> decimalValue(Cursor &cursor)
{
    const bool negative = takeSign(cursor);
    std::string intDigits;
    std::string fracDigits;
    bool point = false;
    for (char16_t c = cursor.peek();; c = cursor.peek()) {
        if (isDecimalDigit(c))
            (point ? fracDigits : intDigits).push_back(static_cast<char>(c));
        else if (c == u'.' && !point)
            point = true;
        else
            break;
        cursor.advance();
    }
    if (intDigits.empty() && fracDigits.empty())
        return 0.0;
    return scaledValue(negative, intDigits, fracDigits, exponentValue(cursor));
}

template<typename Int>
std::optional<Int> roundTo(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default mode: to nearest, halves to even
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min())
        || rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(rounded);
}

} // namespace

std::optional<double> numericValue(std::u16string_view text)
{
    Cursor cursor(text);
    if (cursor.peek() == u'&') {
        cursor.advance();
        const char16_t radix = cursor.peek();
        if (radix == u'H' || radix == u'h' || radix == u'O' || radix == u'o') {
            cursor.advance();
            return radixValue(cursor, radix == u'H' || radix == u'h' ? 16 : 8);
        }
        return 0.0;
    }
    return decimalValue(cursor);
}

std::optional<std::int32_t> roundToInt32(double value) { return roundTo<std::int32_t>(value); }

std::optional<std::uint8_t> roundToByte(double value) { return roundTo<std::uint8_t>(value); }

} // namespace kv
