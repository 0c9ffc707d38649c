// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The exported functions of the serial reader library: the six, and the
// extras that say why opens fail and when the reader was lost or is back.

#include "SerialReader.h"

namespace kv::entry {
kv::Reader &sharedReader() { return kv::serial::sharedReader(); }
constexpr std::int16_t kInternalError = kv::serial::kInternalError;
} // namespace kv::entry

#define KV_ENTRY_POINTS_WITH_EXTRAS
#include "EntryPoints.h"
