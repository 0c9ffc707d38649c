// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The frame of passive 125 kHz serial reader modules. While a card is in the
// field such a module sends its 5-byte ID, unasked, as 14 bytes:
//
//   STX (0x02), ten ASCII hexadecimal digits of the ID (most significant byte
//   first), two ASCII hexadecimal digits of the XOR of the five ID bytes,
//   ETX (0x03).
//
// Digits may be upper- or lower-case. Neither STX nor ETX is a hexadecimal
// digit, so an STX always starts a new frame.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "CardId.h"

namespace kv::serial {

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::size_t kFrameSize = 14;

// Finds valid frames in a stream of received bytes. Bytes outside a frame
// are skipped; a frame broken by a byte that is not a digit, a frame without
// its ETX in place and a frame with a wrong checksum are dropped. A frame
// counts only if its STX was fed after the last reset, so a stream picked up
// in the middle of a frame never yields that frame.
class FrameScanner
{
public:
    // Takes the next byte; returns the ID when it completes a valid frame.
    std::optional<CardId> feed(std::uint8_t byte);
    void reset() { m_inFrame = false; }

private:
    static constexpr std::size_t kDigits = 12; // ID and checksum

    std::array<std::uint8_t, kDigits> m_nibbles{};
    std::size_t m_count = 0;
    bool m_inFrame = false;
};

} // namespace kv::serial
