// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The wake floor of the automatic test: what its waits alone cost. A pass is
// twelve waits of 10 ms (after each of the eleven steps, and the timer
// interval before the next pass), each in a nested event loop that a precise
// timer ends, and nothing else: no reader, no window, no painting. The
// automatic-test benchmark compares the tool with this in the same run.

#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "ProcessCounters.h"

namespace {

constexpr int kWaitsPerPass = 12;
constexpr auto kWait = std::chrono::milliseconds(10);

void waitOnce()
{
    QEventLoop loop;
    QTimer::singleShot(kWait, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    const bool counting = kv::bench::startCountingSystemCalls();
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs passes of twelve 10 ms waits in nested event loops woken by a precise timer, the floor of the "
        "automatic test's costs, and prints processor use, wakes and system calls per pass."));
    parser.addHelpOption();
    const QCommandLineOption passesOption(QStringLiteral("passes"), QStringLiteral("Passes to measure (default 1000)."),
                                          QStringLiteral("N"), QStringLiteral("1000"));
    parser.addOption(passesOption);
    parser.process(app);
    bool ok = false;
    const int passes = parser.value(passesOption).toInt(&ok);
    if (!ok || passes < 1) {
        std::fprintf(stderr, "kv_bench_floor: --passes must be a whole number of at least 1\n");
        return 2;
    }

    waitOnce(); // the first wait sets the event loop up
    const double start = kv::bench::monotonicMs();
    const kv::bench::ProcessCounters before = kv::bench::readProcessCounters();
    for (int pass = 0; pass < passes; ++pass)
        for (int wait = 0; wait < kWaitsPerPass; ++wait)
            waitOnce();
    const kv::bench::ProcessCounters after = kv::bench::readProcessCounters();
    const double wallMs = kv::bench::monotonicMs() - start;

    std::printf("wake floor, %d passes of %d waits of 10 ms in a nested event loop\n", passes, kWaitsPerPass);
    std::printf("result: passes=%d cpu_overall=%.3f period_ms=%.3f wakes_per_pass=%.2f syscalls_per_pass=", passes,
                100.0 * (after.cpuMs - before.cpuMs) / wallMs, wallMs / passes,
                double(after.wakes - before.wakes) / passes);
    if (counting && after.syscalls && before.syscalls)
        std::printf("%.2f\n", double(*after.syscalls - *before.syscalls) / passes);
    else
        std::printf("n/a\n");
    return 0;
}
