// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// Status codes of the serial reader library. Callers only tell zero from
// non-zero; each failure has its own value so that a developer can see which
// rule failed. Values shared in meaning with the simulated reader (port
// closed, no card, bad argument, internal error) keep its numbers.

#include <cstdint>

namespace kv::serial {

inline constexpr std::int16_t kOk = 0;
inline constexpr std::int16_t kPortClosed = 1;     // no port open (or nothing to close)
inline constexpr std::int16_t kDeviceLost = 2;     // the device hung up or failed, or is still away since
inline constexpr std::int16_t kNoCard = 3;         // no valid frame arrived within the read bound
inline constexpr std::int16_t kBadArgument = 4;    // null buffer, format above 10, port number below 1
inline constexpr std::int16_t kNoDevice = 5;       // the device file does not exist or has no device behind it
inline constexpr std::int16_t kInternalError = 6;  // an unexpected exception inside the library
inline constexpr std::int16_t kNotSupported = 7;   // version, indicator and buzzer: the modules have none
inline constexpr std::int16_t kBadAddress = 8;     // a device address other than 0
inline constexpr std::int16_t kBusy = 9;           // another program has the device open
inline constexpr std::int16_t kNoPermission = 10;  // the user may not open the device
inline constexpr std::int16_t kBadRate = 11;       // the rate is below 50 or the device refuses it
inline constexpr std::int16_t kOpenFailed = 12;    // any other open failure, e.g. not a serial device

} // namespace kv::serial
