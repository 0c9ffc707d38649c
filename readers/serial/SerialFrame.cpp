// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "SerialFrame.h"

namespace kv::serial {

namespace {

std::optional<std::uint8_t> hexValue(std::uint8_t digit)
{
    if (digit >= '0' && digit <= '9')
        return static_cast<std::uint8_t>(digit - '0');
    if (digit >= 'A' && digit <= 'F')
        return static_cast<std::uint8_t>(digit - 'A' + 10);
    if (digit >= 'a' && digit <= 'f')
        return static_cast<std::uint8_t>(digit - 'a' + 10);
    return std::nullopt;
}

} // namespace

std::optional<CardId> FrameScanner::feed(std::uint8_t byte)
{
    if (byte == kStx) {
        m_inFrame = true;
        m_count = 0;
        return std::nullopt;
    }
    if (!m_inFrame)
        return std::nullopt;
    if (m_count < kDigits) {
        const std::optional<std::uint8_t> nibble = hexValue(byte);
        if (!nibble) {
            m_inFrame = false;
            return std::nullopt;
        }
        m_nibbles[m_count++] = *nibble;
        return std::nullopt;
    }
    // Twelve digits are in: this byte must close the frame.
    m_inFrame = false;
    if (byte != kEtx)
        return std::nullopt;
    CardId id{};
    std::uint8_t checksum = 0;
    for (std::size_t i = 0; i < id.size(); ++i) {
        id[i] = static_cast<std::uint8_t>(m_nibbles[2 * i] << 4 | m_nibbles[2 * i + 1]);
        checksum ^= id[i];
    }
    if (checksum != (m_nibbles[10] << 4 | m_nibbles[11]))
        return std::nullopt;
    return id;
}

} // namespace kv::serial
