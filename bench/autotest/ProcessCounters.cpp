// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "ProcessCounters.h"

#include <cstdio>
#include <ctime>

#include <linux/perf_event.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kv::bench {
namespace {

int g_syscallCounter = -1; // the one perf counter of the process

// The kernel's number of the tracepoint hit at every system call entry.
std::optional<std::uint64_t> sysEnterTracepoint()
{
    for (const char *path : {"/sys/kernel/tracing/events/raw_syscalls/sys_enter/id",
                             "/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id"}) {
        if (FILE *file = std::fopen(path, "r")) {
            unsigned long long id = 0;
            const bool read = std::fscanf(file, "%llu", &id) == 1;
            std::fclose(file);
            if (read)
                return id;
        }
    }
    return std::nullopt;
}

} // namespace

bool startCountingSystemCalls()
{
    const std::optional<std::uint64_t> id = sysEnterTracepoint();
    if (!id)
        return false;
    perf_event_attr attr{};
    attr.size = sizeof attr;
    attr.type = PERF_TYPE_TRACEPOINT;
    attr.config = *id;
    attr.inherit = 1; // threads started later are counted too
    const long fd = syscall(SYS_perf_event_open, &attr, 0, -1, -1, PERF_FLAG_FD_CLOEXEC);
    g_syscallCounter = fd >= 0 ? static_cast<int>(fd) : -1;
    return g_syscallCounter >= 0;
}

ProcessCounters readProcessCounters()
{
    ProcessCounters counters;
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    counters.cpuMs = static_cast<double>(cpu.tv_sec) * 1e3 + static_cast<double>(cpu.tv_nsec) / 1e6;
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    counters.wakes = usage.ru_nvcsw;
    std::uint64_t calls = 0;
    if (g_syscallCounter >= 0 && ::read(g_syscallCounter, &calls, sizeof calls) == sizeof calls)
        counters.syscalls = static_cast<std::int64_t>(calls);
    return counters;
}

double monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

} // namespace kv::bench
