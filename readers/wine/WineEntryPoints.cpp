// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The six exported functions of the Wine bridge library, and the optional
// one through which the program learns why calls fail.

#include "WineBridge.h"

namespace kv::entry {
kv::Reader &sharedReader() { return kv::bridge::sharedBridge(); }
constexpr std::int16_t kInternalError = kv::bridge::kInternalError;
} // namespace kv::entry

#define KV_ENTRY_POINTS_WITH_EXTRAS
#include "EntryPoints.h"
