// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The six exported functions of the serial reader library.

#include "SerialReader.h"

namespace kv::entry {
kv::Reader &sharedReader() { return kv::serial::sharedReader(); }
constexpr std::int16_t kInternalError = kv::serial::kInternalError;
} // namespace kv::entry

#include "EntryPoints.h"
