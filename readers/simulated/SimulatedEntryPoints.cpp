// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The six exported functions of the simulated reader library.

#include "SimulatedReader.h"

namespace kv::entry {
kv::Reader &sharedReader() { return kv::sim::sharedReader(); }
constexpr std::int16_t kInternalError = kv::sim::kInternalError;
} // namespace kv::entry

#include "EntryPoints.h"
