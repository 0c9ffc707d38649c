// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <functional>

#include "Reader.h"

namespace kv {

// A reader that answers every call at once and successfully, with the card
// 11 22 33 44 55 on its antenna. It keeps only counters, so a long run does not
// grow its memory; the benchmark watches it through two hooks, which run at
// the start of the call.
class InstantReader final : public Reader
{
public:
    std::int16_t initCom(std::int32_t icdev, std::int32_t port, std::int32_t baud) override;
    std::int16_t closePort() override;
    std::int16_t request(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux) override;
    std::int16_t getModel(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux) override;
    std::int16_t light(std::int32_t icdev, std::uint8_t code) override;
    std::int16_t beep(std::int32_t icdev, std::uint8_t value) override;

    std::function<void(std::uint8_t format)> onRequest;
    std::function<void(std::uint8_t value)> onBeep;

    long requests = 0;
    long opens = 0;
    long closes = 0;
};

} // namespace kv
