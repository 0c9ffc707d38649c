// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "BenchStats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>

namespace kv::bench {

double nearestRank(std::span<const double> sorted, double q)
{
    const auto n = static_cast<double>(sorted.size());
    const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(q / 100.0 * n)));
    return sorted[std::min(rank, sorted.size()) - 1];
}

Summary summarize(std::vector<double> values)
{
    Summary s;
    if (values.empty())
        return s;
    std::ranges::sort(values);
    s.count = values.size();
    s.min = values.front();
    s.max = values.back();
    s.p50 = nearestRank(values, 50);
    s.p99 = nearestRank(values, 99);
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    return s;
}

std::vector<double> windowShares(std::span<const double> cpuMs, std::span<const double> wallMs,
                                 std::size_t windowPasses)
{
    std::vector<double> shares;
    if (windowPasses == 0)
        return shares;
    const std::size_t points = std::min(cpuMs.size(), wallMs.size());
    for (std::size_t a = 0; a + windowPasses < points; a += windowPasses) {
        const std::size_t b = a + windowPasses;
        const double wall = wallMs[b] - wallMs[a];
        if (wall > 0)
            shares.push_back((cpuMs[b] - cpuMs[a]) / wall * 100.0);
    }
    return shares;
}

double overallShare(std::span<const double> cpuMs, std::span<const double> wallMs)
{
    const std::size_t points = std::min(cpuMs.size(), wallMs.size());
    if (points < 2)
        return 0;
    const double wall = wallMs[points - 1] - wallMs[0];
    return wall > 0 ? (cpuMs[points - 1] - cpuMs[0]) / wall * 100.0 : 0;
}

PassTimes emptyPassTimes()
{
    PassTimes t;
    t.read.fill(std::numeric_limits<double>::quiet_NaN());
    t.logDone.fill(std::numeric_limits<double>::quiet_NaN());
    return t;
}

StepFigures stepFigures(std::span<const PassTimes> passes)
{
    StepFigures f;
    const auto seen = [](double a, double b) { return !std::isnan(a) && !std::isnan(b); };
    for (std::size_t p = 0; p < passes.size(); ++p) {
        const PassTimes &t = passes[p];
        if (p + 1 < passes.size() && seen(t.read[0], passes[p + 1].read[0]))
            f.periods.push_back(passes[p + 1].read[0] - t.read[0]);
        if (p + 1 < passes.size() && seen(t.read[kStepsPerPass - 1], passes[p + 1].read[0]))
            f.turns.push_back(passes[p + 1].read[0] - t.read[kStepsPerPass - 1]);
        for (std::size_t k = 0; k < kStepsPerPass; ++k) {
            if (seen(t.read[k], t.logDone[k]))
                f.work.push_back(t.logDone[k] - t.read[k]);
            if (k + 1 == kStepsPerPass)
                continue;
            if (seen(t.read[k], t.read[k + 1]))
                f.readGaps.push_back(t.read[k + 1] - t.read[k]);
            if (seen(t.logDone[k], t.read[k + 1]))
                f.waits.push_back(t.read[k + 1] - t.logDone[k]);
        }
    }
    return f;
}

std::optional<long> vmHwmKb(std::string_view statusText)
{
    constexpr std::string_view key = "VmHWM:";
    std::size_t at = 0;
    while (true) {
        at = statusText.find(key, at);
        if (at == std::string_view::npos)
            return std::nullopt;
        if (at == 0 || statusText[at - 1] == '\n')
            break;
        at += key.size();
    }
    std::string_view rest = statusText.substr(at + key.size());
    rest = rest.substr(0, rest.find('\n'));
    const std::size_t digits = rest.find_first_not_of(" \t");
    if (digits == std::string_view::npos)
        return std::nullopt;
    rest.remove_prefix(digits);
    long value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc{} || end == rest.data())
        return std::nullopt;
    std::string_view unit(end, static_cast<std::size_t>(rest.data() + rest.size() - end));
    unit.remove_prefix(std::min(unit.find_first_not_of(" \t"), unit.size()));
    if (unit != "kB")
        return std::nullopt;
    return value;
}

} // namespace kv::bench
