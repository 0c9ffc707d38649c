#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Soak benchmark: click latency and memory growth of kv718st-demo while its
# automatic test runs for a few hundred passes on the simulated reader with
# failed and misread card reads.
#
# usage: bench/soak.sh [BUILD_DIR] [CLICKS]
#   BUILD_DIR  an already built tree without sanitizers (default: build/release
#              under the repository); it needs src/kv718st-demo,
#              bench/libkv_driver.so and readers/simulated/
#   CLICKS     buzzer clicks during the soak, 250 ms apart (default 100, about
#              25 s, some 190 passes of the test)
# KV718ST_SIM_OPTIONS, when set, replaces the reader options used here
# (latency=off,fail=0.02,misread=0.02,faults_from=12,seed=718).
#
# The preloaded driver reads all formats (the references), starts the test,
# waits until the success counter shows 231 (read-all's 11 reads and 220 of
# the test's, about pass 20), samples memory, then clicks the buzzer
# CLICKS times with 250 ms between clicks, samples memory again, stops the
# test and closes the window. After every click it reads the success counter,
# which tells how many card reads succeeded meanwhile.
# Prints the click times (median, 90th percentile, max) and the peak (VmHWM)
# and current (VmRSS) resident memory after ~20 passes and at the end. Exits 0
# once the figures are printed; 1 if something is missing or the run fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
clicks=${2:-100}

source "$root/bench/locate.sh"
kv_locate "$build"
if ! [[ $clicks =~ ^[1-9][0-9]*$ ]]; then
    echo "soak.sh: CLICKS must be a positive number, not '$clicks'" >&2
    exit 1
fi
# Sanitizers change both the times and the memory beyond recognition.
if grep -Eq 'lib(a|ub|t|l)san' <(ldd "$program"); then
    echo "soak.sh: $program is built with a sanitizer; use a build without (e.g. the release preset)" >&2
    exit 1
fi

options=${KV718ST_SIM_OPTIONS:-latency=off,fail=0.02,misread=0.02,faults_from=12,seed=718}
log=$(mktemp)
trap 'rm -f "$log"' EXIT

script="paint; click cmdReadAll; click cmdZiDongCeShi; until lblCount is 231 within 30000; text lblCount; memory"
for ((i = 0; i < clicks; i++)); do
    script+=$'\n'"wait 250; click cmdBuzzer; text lblCount"
done
script+=$'\n'"memory; click cmdZiDongCeShi; close"

start=$EPOCHREALTIME
if ! QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} LD_PRELOAD=$driver \
    LD_LIBRARY_PATH=$readers${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} KV718ST_SIM_OPTIONS=$options \
    KV718ST_DRIVE=$script timeout $((60 + clicks)) "$program" >/dev/null 2>"$log"; then
    echo "soak.sh: the run failed:" >&2
    cat "$log" >&2
    exit 1
fi
seconds=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')

awk -v build="$build" -v clicks="$clicks" -v options="$options" -v seconds="$seconds" '
    function field(name,    i, kv) {
        for (i = 3; i <= NF; i++) { split($i, kv, "="); if (kv[1] == name) return kv[2] }
        return ""
    }
    function percentile(values, n, p,    sorted, i, j, t, k) {
        for (i = 1; i <= n; i++) sorted[i] = values[i]
        for (i = 2; i <= n; i++) { t = sorted[i]; for (j = i - 1; j >= 1 && sorted[j] > t; j--) sorted[j + 1] = sorted[j]; sorted[j + 1] = t }
        k = int(p * n + 0.999999); if (k < 1) k = 1; if (k > n) k = n
        return sorted[k]
    }
    # The success counter starts again at 0 after 1000: a smaller value
    # means it went round.
    /^driver: text name=lblCount / {
        v = field("value") + 0
        if (seen) reads += (v >= last) ? v - last : v + 1001 - last
        else early = v - 11
        seen = 1; last = v
    }
    /^driver: memory / { m++; hwm[m] = field("hwm_kb"); rss[m] = field("rss_kb") }
    /^driver: click name=cmdBuzzer / { n++; total[n] = field("total_ms"); handler[n] = field("handler_ms") }
    END {
        if (m != 2 || n != clicks || !seen) { print "soak.sh: the driver printed too few figures" > "/dev/stderr"; exit 1 }
        printf "soak of %s: %d buzzer clicks 250 ms apart during the automatic test\n", build, n
        printf "reader options: %s; run %s s\n", options, seconds
        printf "successful reads of the test before the first memory sample: %d (>= %d passes); during the clicks: %d (>= %d passes)\n",
            early, int(early / 11), reads, int(reads / 11)
        printf "%-34s %10s %10s %10s\n", "click (ms)", "median", "p90", "max"
        printf "%-34s %10.3f %10.3f %10.3f\n", "posted press -> handler returned", percentile(total, n, 0.5), percentile(total, n, 0.9), percentile(total, n, 1)
        printf "%-34s %10.3f %10.3f %10.3f\n", "in the handler (library call)", percentile(handler, n, 0.5), percentile(handler, n, 0.9), percentile(handler, n, 1)
        printf "%-34s %10s %10s %10s\n", "memory (MB)", "~pass 20", "end", "growth"
        printf "%-34s %10.2f %10.2f %+10.2f\n", "peak resident (VmHWM)", hwm[1] / 1024, hwm[2] / 1024, (hwm[2] - hwm[1]) / 1024
        printf "%-34s %10.2f %10.2f %+10.2f\n", "resident now (VmRSS)", rss[1] / 1024, rss[2] / 1024, (rss[2] - rss[1]) / 1024
        printf "result: clicks=%d click_median_ms=%.3f click_p90_ms=%.3f click_max_ms=%.3f hwm_start_kb=%d hwm_end_kb=%d rss_start_kb=%d rss_end_kb=%d reads=%d\n",
            n, percentile(total, n, 0.5), percentile(total, n, 0.9), percentile(total, n, 1), hwm[1], hwm[2], rss[1], rss[2], reads
    }' "$log"
