// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstdint>

namespace kv {

// The state the commands share with the reader library for the whole run.
struct Module
{
    // Size of the reply buffer of every card read (indices 0 to 3000).
    static constexpr std::size_t kCardBufferSize = 3001;

    // Status of the last card, buzzer, indicator or version call; 0 is success.
    std::int16_t lastStatus = 0;
    // Reply buffer of every card read. Never cleared: bytes beyond a reply
    // keep what an earlier reply left there.
    std::array<std::uint8_t, kCardBufferSize> cardBuffer{};
    // The card read's second output; the library writes it, nothing reads it.
    std::int32_t requestAux = 0;
};

} // namespace kv
