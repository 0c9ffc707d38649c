// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// libFuzzer harness for the numeric value of a text and the two roundings.
//
// Every input is read twice: as UTF-16 (pairs of bytes, little-endian) and as
// Latin-1 (every byte widened to one code unit). Its first eight bytes are
// also taken as a double and rounded. Each text must satisfy the rules in
// NumericValue.h, checked here as invariants and against independent readings
// (strtod for decimals, a digit count for &H / &O). A broken invariant prints
// the text and aborts, which libFuzzer reports as a finding.
//
// Run on files instead of a folder, the binary replays them once each.

#include "NumericValue.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace {

using Value = std::optional<double>;

[[noreturn]] void fail(const char *what, std::u16string_view text)
{
    std::fprintf(stderr, "numeric text invariant broken: %s\ntext as UTF-16 code units:", what);
    for (const char16_t c : text)
        std::fprintf(stderr, " %04X", static_cast<unsigned>(c));
    std::fprintf(stderr, "\n");
    std::abort();
}

void check(bool holds, const char *what, std::u16string_view text)
{
    if (!holds)
        fail(what, text);
}

// Both absent, or the same double bit for bit (the sign of a zero included).
bool identical(const Value &a, const Value &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || std::memcmp(&*a, &*b, sizeof(double)) == 0;
}

bool isIgnored(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

bool isDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool isHexDigit(char16_t c) { return isDecimalDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

// Characters that fit nowhere in a number, so reading stops at them: a letter
// that is neither a digit, an exponent marker nor a radix letter, NUL, a
// carriage return (only blanks, tabs and line feeds are ignored), a full-width
// blank, a full-width digit one and a CJK character.
constexpr char16_t kStoppers[] = {u'x', u'\0', u'\r', u'\u3000', u'\uFF11', u'\u4E2D'};
constexpr char16_t kIgnored[] = {u' ', u'\t', u'\n'};

// Round to nearest, halves to even, as roundToInt32 / roundToByte promise:
// the result lies within 0.5 of the value and is even on a tie; no result
// exactly when the rounded number leaves the type's range.
void checkRounding(double x, std::u16string_view text)
{
    const auto asInt = kv::roundToInt32(x);
    const bool intFits = std::isfinite(x) && x >= -2147483648.5 && x < 2147483647.5;
    check(asInt.has_value() == intFits, "roundToInt32 has a value exactly when the rounded number fits", text);
    if (asInt) {
        const double r = *asInt;
        const double distance = std::fabs(r - x);
        check(distance <= 0.5, "roundToInt32 is within 0.5", text);
        if (distance == 0.5)
            check(*asInt % 2 == 0, "roundToInt32 rounds a half to even", text);
    }

    const auto asByte = kv::roundToByte(x);
    const bool byteFits = std::isfinite(x) && x >= -0.5 && x < 255.5;
    check(asByte.has_value() == byteFits, "roundToByte has a value exactly when the rounded number fits", text);
    if (asByte) {
        check(asInt.has_value() && *asInt == static_cast<std::int32_t>(*asByte), "roundToByte agrees with roundToInt32",
              text);
    }
}

std::u16string withoutIgnored(std::u16string_view text)
{
    std::u16string out;
    for (const char16_t c : text)
        if (!isIgnored(c))
            out.push_back(c);
    return out;
}

// The independent reading of "&H…" / "&O…": the digits after the prefix,
// leading zeros dropped, counted and converted with strtoull.
void checkRadix(std::u16string_view compact, const Value &value, std::u16string_view text)
{
    const bool hex = compact[1] == u'H' || compact[1] == u'h';
    std::string digits;
    for (std::size_t i = 2; i < compact.size(); ++i) {
        const char16_t c = compact[i];
        if (hex ? !isHexDigit(c) : (c < u'0' || c > u'7'))
            break;
        if (!digits.empty() || c != u'0')
            digits.push_back(static_cast<char>(c));
    }
    // 8 hexadecimal digits or 11 octal digits (8^11 = 2^33) fit in 64 bits.
    if (digits.size() > (hex ? 8u : 11u)) {
        check(!value, "&H / &O above 0xFFFFFFFF has no value", text);
        return;
    }
    const unsigned long long n = digits.empty() ? 0 : std::strtoull(digits.c_str(), nullptr, hex ? 16 : 8);
    if (n > 0xFFFFFFFFull) {
        check(!value, "&H / &O above 0xFFFFFFFF has no value", text);
        return;
    }
    double expected = static_cast<double>(n);
    if (n <= 0xFFFFull && n >= 0x8000ull)
        expected -= 65536.0;
    else if (n > 0xFFFFull && n >= 0x80000000ull)
        expected -= 4294967296.0;
    check(value.has_value() && *value == expected, "&H / &O reads as signed 16-bit, else signed 32-bit", text);
}

// The independent reading of a plain decimal: when the text without blanks is
// exactly [sign] digits [. digits] [E|D [sign] digits] in ASCII, strtod reads
// the same number (D read as E).
void checkDecimal(std::u16string_view compact, const Value &value, std::u16string_view text)
{
    std::string ascii;
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return k < compact.size() ? compact[k] : u'\0'; };
    if (at(i) == u'+' || at(i) == u'-')
        ascii.push_back(static_cast<char>(compact[i++]));
    std::size_t mantissaDigits = 0;
    for (; isDecimalDigit(at(i)); ++i, ++mantissaDigits)
        ascii.push_back(static_cast<char>(compact[i]));
    if (at(i) == u'.') {
        ascii.push_back('.');
        for (++i; isDecimalDigit(at(i)); ++i, ++mantissaDigits)
            ascii.push_back(static_cast<char>(compact[i]));
    }
    if (mantissaDigits == 0)
        return;
    if (const char16_t e = at(i); e == u'E' || e == u'e' || e == u'D' || e == u'd') {
        ascii.push_back('e');
        ++i;
        if (at(i) == u'+' || at(i) == u'-')
            ascii.push_back(static_cast<char>(compact[i++]));
        std::size_t exponentDigits = 0;
        for (; isDecimalDigit(at(i)); ++i, ++exponentDigits)
            ascii.push_back(static_cast<char>(compact[i]));
        if (exponentDigits == 0)
            return;
    }
    if (i != compact.size())
        return;

    errno = 0;
    char *end = nullptr;
    const double reference = std::strtod(ascii.c_str(), &end);
    if (end != ascii.c_str() + ascii.size())
        return;
    if (std::isinf(reference)) {
        check(!value, "a decimal beyond the range of a double has no value", text);
    } else if (std::fabs(reference) >= DBL_MIN || (reference == 0.0 && errno == 0)) {
        check(value.has_value() && *value == reference, "a decimal reads as strtod reads it", text);
    } else {
        // Below the normal range: the parser may give the subnormal or zero.
        check(value.has_value() && std::fabs(*value) < DBL_MIN, "a decimal too small for a double reads near 0", text);
    }
}

void checkText(std::u16string_view text, std::size_t salt)
{
    const Value value = kv::numericValue(text);

    check(identical(value, kv::numericValue(text)), "parsing is deterministic", text);
    if (value) {
        check(std::isfinite(*value), "a value is finite", text);
        checkRounding(*value, text);
    }

    // Blanks, tabs and line feeds anywhere are ignored: removing all of them,
    // or inserting one at a few places, changes nothing.
    const std::u16string compact = withoutIgnored(text);
    check(identical(value, kv::numericValue(compact)), "removing blanks, tabs and line feeds changes nothing", text);
    const std::size_t n = text.size();
    const std::size_t places[] = {0, n, salt % (n + 1), (salt / 7) % (n + 1)};
    for (std::size_t k = 0; k < std::size(places); ++k) {
        std::u16string spaced(text);
        spaced.insert(places[k], 1, kIgnored[(salt + k) % std::size(kIgnored)]);
        check(identical(value, kv::numericValue(spaced)), "inserting a blank, tab or line feed changes nothing", text);
    }

    // Reading stops at the first character that does not fit: what follows a
    // stopper is never read, and a stopper reads like the end of the text.
    const std::size_t cut = salt % (n + 1);
    const std::u16string_view head = text.substr(0, cut);
    const char16_t stopper = kStoppers[salt % std::size(kStoppers)];
    check(identical(kv::numericValue(std::u16string(head) + stopper + std::u16string(text.substr(cut))),
                    kv::numericValue(head)),
          "nothing after a character that does not fit is read", text);
    check(identical(kv::numericValue(std::u16string(text) + stopper), value),
          "a character that does not fit at the end changes nothing", text);

    // A text with no digit of any base reads as 0.
    bool anyDigit = false;
    for (const char16_t c : text)
        anyDigit = anyDigit || isHexDigit(c);
    if (!anyDigit)
        check(value.has_value() && *value == 0.0, "a text without a number reads as 0", text);

    if (compact.empty())
        return;
    if (compact[0] == u'&') {
        if (compact.size() >= 2 && (compact[1] == u'H' || compact[1] == u'h' || compact[1] == u'O' || compact[1] == u'o'))
            checkRadix(compact, value, text);
        else
            check(value.has_value() && *value == 0.0, "& without H or O reads as 0", text);
        return;
    }
    // A sign in front of an unsigned decimal negates it or keeps it.
    if (isDecimalDigit(compact[0]) || compact[0] == u'.') {
        const Value minus = kv::numericValue(u"-" + std::u16string(text));
        check(minus.has_value() == value.has_value() && (!value || *minus == -*value), "a minus sign negates", text);
        check(identical(kv::numericValue(u"+" + std::u16string(text)), value), "a plus sign changes nothing", text);
    }
    checkDecimal(compact, value, text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::size_t salt = size;
    for (std::size_t i = 0; i < size; ++i)
        salt = salt * 31 + data[i];

    std::u16string latin1(size, u'\0');
    for (std::size_t i = 0; i < size; ++i)
        latin1[i] = data[i];
    checkText(latin1, salt);

    std::u16string utf16(size / 2, u'\0');
    for (std::size_t i = 0; i < utf16.size(); ++i)
        utf16[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    checkText(utf16, salt / 3);

    if (size >= sizeof(double)) {
        double x = 0;
        std::memcpy(&x, data, sizeof x);
        checkRounding(x, latin1);
    }
    return 0;
}
