// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

namespace kv {

// What the tool needs of a reader: the six library functions, one method
// each, with the library's own argument order. The run-time binding
// (LibraryReader) forwards to the maker's library; tests use a recording fake.
class Reader
{
public:
    Reader() = default;
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    virtual ~Reader() = default;

    virtual std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud) = 0;
    virtual std::int16_t closePort() = 0;
    virtual std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer,
                                 std::int32_t *aux) = 0;
    virtual std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux) = 0;
    virtual std::int16_t light(std::int32_t icdev, std::uint8_t code) = 0;
    virtual std::int16_t beep(std::int32_t icdev, std::uint8_t value) = 0;
};

} // namespace kv
