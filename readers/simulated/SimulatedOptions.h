// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// Settings of the simulated reader, taken from one environment variable.
//
// The variable holds comma-separated key=value items, for example
//   KV718ST_SIM_OPTIONS="card=1122334455,port=2,baud=19200,latency=off"
// Keys:
//   card     10 hexadecimal digits `v a b c d`, or `none` for an empty antenna
//   port     the serial port number the reader sits on (a positive number)
//   baud     the rate the reader talks at (a positive number)
//   latency  `on`: calls take their time on the wire; `off`: they return at once
//   fail     share of card reads that fail as if no card answered (0 to 1)
//   misread  share of card reads that return the card ID with one of its 40
//            bits flipped (0 to 1)
//   faults_from  the first card read that may fail or be misread, counted
//            from 1 over the whole run (a positive number); earlier reads are
//            perfect
//   seed     the seed of the pseudo-random sequence that picks the faults
//            (a whole number below 2^32); one seed gives one sequence
//   crash_at the library call, counted from 1 over all six functions, at
//            which the library crashes the process (0: never)
//   hang_at  the library call at which the library never returns (0: never)
// A later item overrides an earlier one with the same key. An item that
// cannot be used (no '=', unknown key, bad value) changes nothing and is
// reported as one line naming the item and the value kept.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

#include "CardId.h"

namespace kv::sim {

inline constexpr const char *kOptionsVariable = "KV718ST_SIM_OPTIONS";

struct SimulatedOptions
{
    // The card on the antenna; no value means no card.
    std::optional<CardId> card = CardId{0x11, 0x22, 0x33, 0x44, 0x55};
    std::int32_t port = 2;
    std::int32_t baud = 19200;
    bool latency = true;
    // Faults of card reads; see SimulatedReader.h for how they are drawn.
    double failRate = 0.0;
    double misreadRate = 0.0;
    std::int32_t faultsFrom = 1;
    std::uint32_t seed = 1;
    // For testing what a client does when a library misbehaves.
    std::uint64_t crashAt = 0;
    std::uint64_t hangAt = 0;

    friend bool operator==(const SimulatedOptions &, const SimulatedOptions &) = default;
};

// Reads the options in `text` on top of the defaults. Each unusable item is
// reported to `diagnostics` as one line.
SimulatedOptions parseOptions(std::string_view text, std::ostream &diagnostics);

// parseOptions() of the variable kOptionsVariable; an unset variable gives the
// defaults.
SimulatedOptions optionsFromEnvironment(std::ostream &diagnostics);

} // namespace kv::sim
