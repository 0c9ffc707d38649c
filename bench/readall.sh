#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Read-all benchmark: how long the handler of 全部格式卡号读出 (cmdReadAll)
# takes per click in the real program on the simulated reader, with the
# reader's wire latency off and on.
#
# usage: bench/readall.sh [BUILD_DIR] [CLICKS_OFF] [CLICKS_ON]
#   BUILD_DIR   an already built tree (default: build/release under the
#               repository); it needs src/kv718st-demo, bench/libkv_driver.so
#               and readers/simulated/ (the simulated reader)
#   CLICKS_OFF  measured clicks with latency=off (default 200)
#   CLICKS_ON   measured clicks with latency=on, 19200 baud (default 20)
# Each setting runs the program once, offscreen, with the driver script
#   paint; click cmdReadAll; repeat N click cmdReadAll; close
# The first click also loads the reader library and is shown on its own;
# the statistics cover the N clicks after it. One click opens the port, reads
# eleven formats and closes the port again.
# Prints a table and a last line "result: key=value ...". Exits 0 once the
# figures are printed, 1 if something is missing or a run fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
clicks_off=${2:-200}
clicks_on=${3:-20}

source "$root/bench/locate.sh"
kv_locate "$build"
for n in "$clicks_off" "$clicks_on"; do
    if ! [[ $n =~ ^[1-9][0-9]*$ ]]; then
        echo "readall.sh: click counts must be positive numbers, not '$n'" >&2
        exit 1
    fi
done

export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# measure LATENCY CLICKS: one run; prints
# "first_ms count median_ms mean_ms min_ms max_ms"
measure() {
    local latency=$1 clicks=$2 log=$work/run.log
    if ! KV718ST_SIM_OPTIONS="latency=$latency,baud=19200" \
        LD_PRELOAD=$driver LD_LIBRARY_PATH=$readers${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} \
        KV718ST_DRIVE="paint; click cmdReadAll; repeat $clicks click cmdReadAll; close" \
        timeout 600 "$program" >/dev/null 2>"$log"; then
        echo "readall.sh: run with latency=$latency failed:" >&2
        cat "$log" >&2
        exit 1
    fi
    awk '
        function fields(   i, kv) { for (i = 3; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] } }
        /^driver: click name=cmdReadAll / { fields(); first = f["handler_ms"] }
        /^driver: clicks name=cmdReadAll / { fields() }
        /^driver: error / { exit 1 }
        END {
            if (first == "" || f["count"] == "") exit 1
            print first, f["count"], f["median_ms"], f["mean_ms"], f["min_ms"], f["max_ms"]
        }' "$log" || {
        echo "readall.sh: run with latency=$latency printed no click figures:" >&2
        cat "$log" >&2
        exit 1
    }
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
off=$(measure off "$clicks_off")
on=$(measure on "$clicks_on")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

awk -v off="$off" -v on="$on" -v build="$build" -v lb="$load_before" -v la="$load_after" 'BEGIN {
    split(off, a, " "); split(on, b, " ")
    printf "read-all handler time per click, %s, offscreen, simulated reader at 19200 baud\n", build
    printf "load average (1/5/15 min) before: %s  after: %s\n", lb, la
    printf "%-12s %7s %10s %10s %10s %10s %10s\n", "latency", "clicks", "median ms", "mean ms", "min ms", "max ms", "first ms"
    printf "%-12s %7d %10.3f %10.3f %10.3f %10.3f %10.3f\n", "off", a[2], a[3], a[4], a[5], a[6], a[1]
    printf "%-12s %7d %10.3f %10.3f %10.3f %10.3f %10.3f\n", "on", b[2], b[3], b[4], b[5], b[6], b[1]
    printf "(first: the click before the measured ones, which also loads the reader library)\n"
    printf "result: off_count=%d off_median_ms=%.3f off_mean_ms=%.3f off_min_ms=%.3f off_max_ms=%.3f off_first_ms=%.3f on_count=%d on_median_ms=%.3f on_mean_ms=%.3f on_min_ms=%.3f on_max_ms=%.3f on_first_ms=%.3f\n",
        a[2], a[3], a[4], a[5], a[6], a[1], b[2], b[3], b[4], b[5], b[6], b[1]
}'
