// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The six exported functions of one of the project's reader libraries. Each
// forwards to the library's one reader object; no exception may cross into
// the caller, which may not be C++ at all.
//
// Include this in exactly one source file of the library, after declaring in
// namespace kv::entry: the reader's type `Reader`, a function `Reader
// &sharedReader()` that returns the library's one reader, and the status
// `kInternalError` returned when a call throws.

#include <cstdint>

#include "ReaderApi.h"

namespace kv::entry {

template<typename Call>
std::int16_t guarded(Call call) noexcept
{
    try {
        return call(sharedReader());
    } catch (...) {
        return kInternalError;
    }
}

} // namespace kv::entry

std::int16_t RF_CALL rf_init_com_125K(std::int32_t icdev, std::int32_t port, std::int32_t baud)
{
    return kv::entry::guarded([&](kv::entry::Reader &reader) { return reader.initCom(icdev, port, baud); });
}

std::int16_t RF_CALL rf_ClosePort_125K()
{
    return kv::entry::guarded([](kv::entry::Reader &reader) { return reader.closePort(); });
}

std::int16_t RF_CALL rf_request_125K(std::int32_t icdev, std::uint8_t format, std::uint8_t *buffer, std::int32_t *aux)
{
    return kv::entry::guarded([&](kv::entry::Reader &reader) { return reader.request(icdev, format, buffer, aux); });
}

std::int16_t RF_CALL rf_get_model_125K(std::int32_t icdev, std::uint8_t *buffer, std::uint8_t *aux)
{
    return kv::entry::guarded([&](kv::entry::Reader &reader) { return reader.getModel(icdev, buffer, aux); });
}

std::int16_t RF_CALL rf_light_125K(std::int32_t icdev, std::uint8_t code)
{
    return kv::entry::guarded([&](kv::entry::Reader &reader) { return reader.light(icdev, code); });
}

std::int16_t RF_CALL rf_beep_125K(std::int32_t icdev, std::uint8_t value)
{
    return kv::entry::guarded([&](kv::entry::Reader &reader) { return reader.beep(icdev, value); });
}
