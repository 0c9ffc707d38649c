// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// The exported functions of one of the project's reader libraries: each of
// the six forwards to the library's one reader object; no exception may cross
// into the caller, which may not be C++ at all.
//
// Include this in exactly one source file of the library, after defining in
// namespace kv::entry a function `kv::Reader &sharedReader()` that returns
// the library's one reader, and the status `kInternalError` returned when a
// call throws. A library that tells why its calls fail and when its link to
// the reader changes also exports kv718st_take_problem and
// kv718st_take_link_event: define KV_ENTRY_POINTS_WITH_EXTRAS before the
// include.

#include "Reader.h"

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

#define KV_ENTRY_POINT(id, name, method, parameters, arguments)                                                       \
    std::int16_t RF_CALL name parameters                                                                               \
    {                                                                                                                  \
        return kv::entry::guarded([&](kv::Reader &reader) { return reader.method arguments; });                        \
    }
KV_READER_FUNCTIONS(KV_ENTRY_POINT)
#undef KV_ENTRY_POINT

#if defined(KV_ENTRY_POINTS_WITH_EXTRAS)
const char *RF_CALL kv718st_take_problem()
{
    try {
        return kv::entry::sharedReader().takeProblem();
    } catch (...) {
        return nullptr;
    }
}

const char *RF_CALL kv718st_take_link_event(std::int32_t *up)
{
    try {
        bool linkUp = false;
        const char *text = kv::entry::sharedReader().takeLinkEvent(linkUp);
        if (text && up)
            *up = linkUp ? 1 : 0;
        return text;
    } catch (...) {
        return nullptr;
    }
}
#endif
