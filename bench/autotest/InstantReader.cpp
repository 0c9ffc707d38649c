// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "InstantReader.h"

#include <array>
#include <cstring>

#include "CardId.h"

namespace kv {

namespace {

constexpr kv::CardId kCard{0x11, 0x22, 0x33, 0x44, 0x55};
constexpr std::int16_t kBadArgument = 4;

} // namespace

std::int16_t InstantReader::initCom(std::int32_t, std::int32_t, std::int32_t)
{
    ++opens;
    return 0;
}

std::int16_t InstantReader::closePort()
{
    ++closes;
    return 0;
}

std::int16_t InstantReader::request(std::int32_t, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux)
{
    if (onRequest)
        onRequest(format);
    ++requests;
    std::array<std::uint8_t, kv::kMaxCardReplySize> reply{};
    const std::size_t size = kv::writeCardReply(kCard, format, reply);
    if (size == 0)
        return kBadArgument;
    std::memcpy(buffer, reply.data(), size);
    *aux = static_cast<std::int32_t>(size);
    return 0;
}

std::int16_t InstantReader::getModel(std::int32_t, std::uint8_t *buffer, std::uint8_t *aux)
{
    buffer[0] = 0x01;
    buffer[1] = 0x23;
    *aux = 2;
    return 0;
}

std::int16_t InstantReader::light(std::int32_t, std::uint8_t) { return 0; }

std::int16_t InstantReader::beep(std::int32_t, std::uint8_t value)
{
    if (onBeep)
        onBeep(value);
    return 0;
}

} // namespace kv
