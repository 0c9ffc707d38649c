// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>

// What a process costs the machine, counted by the kernel: processor time,
// how often the calling thread went to sleep and was woken (its voluntary
// context switches: one per wait of its event loop that did not find work
// ready), and the system calls of the whole process where the kernel lets it
// count them (a perf tracepoint counter; root or a low
// kernel.perf_event_paranoid). Linux only.
namespace kv::bench {

struct ProcessCounters
{
    double cpuMs = 0;          // processor time of the process
    std::int64_t wakes = 0;    // voluntary context switches of the calling thread
    std::optional<std::int64_t> syscalls;
};

// Starts counting the system calls of this process and of every thread it
// starts from now on; call it before any other thread exists. False where
// the kernel does not allow it: the figures then have no system calls.
bool startCountingSystemCalls();

ProcessCounters readProcessCounters();

// The monotonic clock in milliseconds.
double monotonicMs();

} // namespace kv::bench
