// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

// Figures of the automatic-test benchmark, free of widgets so they can be
// checked on their own: order statistics, processor share per window of
// passes, the step timings of a pass, and the peak memory line of
// /proc/self/status.

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kv::bench {

inline constexpr std::size_t kStepsPerPass = 11;

struct Summary
{
    std::size_t count = 0;
    double min = 0;
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    double mean = 0;
};

// The nearest-rank percentile q (0 < q <= 100) of values sorted ascending:
// the smallest value with at least q % of the values at or below it.
// `sorted` must not be empty.
double nearestRank(std::span<const double> sorted, double q);

// Count, min, p50, p99, max and mean of the values in any order; all zero
// when there are none.
Summary summarize(std::vector<double> values);

// Processor use in percent of one core, for each whole window of
// `windowPasses` passes. cpuMs[i] and wallMs[i] are the process's processor
// time and the monotonic time at the start of pass i; a window from pass a to
// pass a + windowPasses needs both ends. Passes left over after the last
// whole window are not counted; a window without wall time is skipped.
std::vector<double> windowShares(std::span<const double> cpuMs, std::span<const double> wallMs,
                                 std::size_t windowPasses);

// Processor use in percent of one core from the first to the last entry;
// 0 without wall time.
double overallShare(std::span<const double> cpuMs, std::span<const double> wallMs);

// Times (ms, monotonic) of one pass: when each step's card read reached the
// reader, and when the step's last log update was done. NaN where not seen.
struct PassTimes
{
    std::array<double, kStepsPerPass> read;
    std::array<double, kStepsPerPass> logDone;
};

PassTimes emptyPassTimes();

struct StepFigures
{
    std::vector<double> periods;  // read of step 0 to the next pass's read of step 0
    std::vector<double> turns;    // read of step 10 to the next pass's read of step 0
    std::vector<double> readGaps; // read of step k to read of step k + 1, same pass
    std::vector<double> waits;    // log of step k done to read of step k + 1
    std::vector<double> work;     // read of step k to its log done
};

// Splits the passes' times into the figures above. A figure whose two ends
// were not both seen is left out.
StepFigures stepFigures(std::span<const PassTimes> passes);

// The VmHWM value (kB) of a /proc/<pid>/status text, if there is one.
std::optional<long> vmHwmKb(std::string_view statusText);

} // namespace kv::bench
