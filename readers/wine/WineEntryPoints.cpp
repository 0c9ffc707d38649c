// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The six exported functions of the Wine bridge library, and the optional
// one through which the program learns why calls fail.

#include "WineBridge.h"

namespace kv::entry {
using Reader = kv::wine::WineBridge;
Reader &sharedReader() { return kv::wine::sharedBridge(); }
constexpr std::int16_t kInternalError = kv::wine::kInternalError;
} // namespace kv::entry

#include "ReaderEntryPoints.h"

const char *RF_CALL kv718st_take_problem()
{
    try {
        return kv::wine::sharedBridge().takeProblem();
    } catch (...) {
        return nullptr;
    }
}
