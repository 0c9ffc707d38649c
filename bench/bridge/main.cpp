// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// Per-call time of a reader library, loaded as the tool loads it: the first
// call (which, through the Wine bridge, starts the reader host), then CALLS
// card reads of format 0 and CALLS LED calls, each timed on its own.
// usage: kv_bench_bridge LIBRARY CALLS
// Prints one line "result: first_ms=... request_p50_us=... ..." on success.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <vector>

#include "ReaderApi.h"

namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::micro>(duration).count();
}

struct Figures
{
    double p50, p99, max;
};

Figures figures(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const auto at = [&times](double share) {
        return times[std::min(times.size() - 1, static_cast<std::size_t>(share * static_cast<double>(times.size())))];
    };
    return {at(0.50), at(0.99), times.back()};
}

template<typename Fn>
Fn bind(void *library, const char *name)
{
    auto *function = reinterpret_cast<Fn>(dlsym(library, name));
    if (!function) {
        std::fprintf(stderr, "kv_bench_bridge: no %s\n", name);
        std::exit(1);
    }
    return function;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: kv_bench_bridge LIBRARY CALLS\n");
        return 2;
    }
    const int calls = std::atoi(argv[2]);
    void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "kv_bench_bridge: %s\n", dlerror());
        return 1;
    }
    const auto initCom = bind<decltype(&rf_init_com_125K)>(library, "rf_init_com_125K");
    const auto request = bind<decltype(&rf_request_125K)>(library, "rf_request_125K");
    const auto light = bind<decltype(&rf_light_125K)>(library, "rf_light_125K");
    const auto closePort = bind<decltype(&rf_ClosePort_125K)>(library, "rf_ClosePort_125K");

    const Clock::time_point start = Clock::now();
    if (initCom(0, 2, 19200) != 0) {
        std::fprintf(stderr, "kv_bench_bridge: the port did not open\n");
        return 1;
    }
    const double firstMs = microseconds(Clock::now() - start) / 1000;

    std::vector<std::uint8_t> buffer(3001);
    std::int32_t aux = 0;
    std::vector<double> requests;
    std::vector<double> lights;
    for (int i = 0; i < calls; ++i) {
        Clock::time_point before = Clock::now();
        const std::int16_t readStatus = request(0, 0, buffer.data(), &aux);
        requests.push_back(microseconds(Clock::now() - before));
        before = Clock::now();
        const std::int16_t lightStatus = light(0, static_cast<std::uint8_t>(i % 4));
        lights.push_back(microseconds(Clock::now() - before));
        if (readStatus != 0 || lightStatus != 0) {
            std::fprintf(stderr, "kv_bench_bridge: call %d failed (%d, %d)\n", i, readStatus, lightStatus);
            return 1;
        }
    }
    closePort();
    const Figures r = figures(requests);
    const Figures l = figures(lights);
    std::printf("result: first_ms=%.1f calls=%d request_p50_us=%.1f request_p99_us=%.1f request_max_us=%.1f "
                "light_p50_us=%.1f light_p99_us=%.1f light_max_us=%.1f\n",
                firstMs, calls, r.p50, r.p99, r.max, l.p50, l.p99, l.max);
    return 0;
}
