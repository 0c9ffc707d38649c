// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// What the recording reader library does with each call, so that a test can
// predict every output the caller must get back and every line the library
// writes. Plain C++: the library is built for Windows, the tests for Linux.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::recording {

// The file the library appends one line per call to.
inline constexpr const char *kRecordVariable = "KV718ST_RECORD_FILE";

// When set, every call succeeds (status 0), so that the program goes on as
// with a reader; otherwise status() below.
inline constexpr const char *kSucceedVariable = "KV718ST_RECORD_SUCCEED";

// A status that carries the call's arguments, so a wrong one shows.
inline std::int16_t status(int function, std::int32_t icdev, std::int32_t argument)
{
    return static_cast<std::int16_t>(1000 * (function + 1) + 10 * icdev + argument);
}

// Every byte of the buffer changes, depending on its old value and place.
inline void transform(std::uint8_t *buffer, std::size_t size, std::uint8_t salt)
{
    for (std::size_t i = 0; i < size; ++i)
        buffer[i] = static_cast<std::uint8_t>(buffer[i] * 7U + i + salt);
}

inline std::int32_t transformAux(std::int32_t aux)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(aux) * 2654435761U + 1U);
}

inline std::string hex(const std::uint8_t *bytes, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (!bytes)
        return "null";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace kv::recording
