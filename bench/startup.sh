#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Start-up benchmark: time from process start to the first paint of Form1,
# and peak resident memory, for kv718st-demo and for the baseline window.
#
# usage: bench/startup.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  an already built tree (default: build/release under the
#              repository); it needs src/kv718st-demo, bench/kv_bench_baseline,
#              bench/libkv_driver.so and readers/simulated/ (the simulated reader)
#   RUNS       runs of each program (default 20)
# "first paint" is when Form1 receives its first paint event; "frame done"
# is when that whole first frame, children included, has been painted.
# Runs offscreen, alternating the two programs, after one unmeasured run of
# each to fill the file cache. Prints the medians and whether the targets hold:
#   time   kv718st-demo <= 1.5 x baseline
#   memory kv718st-demo <= baseline + 10 MB   (1 MB = 1024 kB)
# Exits 0 once the figures are printed, whatever they are; 1 if a run fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
runs=${2:-20}

source "$root/bench/locate.sh"
kv_locate "$build" bench/kv_bench_baseline
baseline=$build/bench/kv_bench_baseline
if ! [[ $runs =~ ^[1-9][0-9]*$ ]]; then
    echo "startup.sh: RUNS must be a positive number, not '$runs'" >&2
    exit 1
fi

export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# measure NAME EXE LIBPATH: one run; appends "ms frame_ms hwm_kb" to $work/NAME.
# The launch time is taken by the shell that then execs the program, so the
# figure covers loading, linking and everything up to the first paint.
measure() {
    local name=$1 exe=$2 libpath=$3 log=$work/run.log
    if ! timeout 60 bash -c '
            t=${EPOCHREALTIME//[!0-9]/}
            KV718ST_DRIVE_T0=${t}000 LD_PRELOAD=$1 LD_LIBRARY_PATH=$2 KV718ST_DRIVE="paint; memory; close" exec "$3"
        ' _ "$driver" "$libpath" "$exe" >/dev/null 2>"$log"; then
        echo "startup.sh: $name run failed:" >&2
        cat "$log" >&2
        exit 1
    fi
    awk '
        /^driver: paint / { for (i = 3; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] } }
        /^driver: memory / { for (i = 3; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] } }
        END {
            if (f["ms"] == "" || f["hwm_kb"] == "" || f["t0"] != "env") exit 1
            print f["ms"], f["frame_ms"], f["hwm_kb"]
        }' "$log" >>"$work/$name" || {
        echo "startup.sh: $name printed no paint/memory figures:" >&2
        cat "$log" >&2
        exit 1
    }
}

program_libpath=$readers${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
baseline_libpath=${LD_LIBRARY_PATH:-}

measure warmup "$program" "$program_libpath"
measure warmup "$baseline" "$baseline_libpath"
for ((i = 0; i < runs; i++)); do
    measure program "$program" "$program_libpath"
    measure baseline "$baseline" "$baseline_libpath"
done

# median FILE COLUMN
median() {
    sort -g -k"$2,$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

p_ms=$(median "$work/program" 1)
p_frame=$(median "$work/program" 2)
p_kb=$(median "$work/program" 3)
b_ms=$(median "$work/baseline" 1)
b_frame=$(median "$work/baseline" 2)
b_kb=$(median "$work/baseline" 3)

awk -v runs="$runs" -v pms="$p_ms" -v pfr="$p_frame" -v pkb="$p_kb" \
    -v bms="$b_ms" -v bfr="$b_frame" -v bkb="$b_kb" -v build="$build" 'BEGIN {
    pmb = pkb / 1024; bmb = bkb / 1024
    ratio = (bms > 0) ? pms / bms : 0
    dmb = pmb - bmb
    printf "start-up of %s, %d offscreen runs each, medians\n", build, runs
    printf "%-14s %16s %16s %18s\n", "", "first paint ms", "frame done ms", "peak memory MB"
    printf "%-14s %16.1f %16.1f %18.1f\n", "kv718st-demo", pms, pfr, pmb
    printf "%-14s %16.1f %16.1f %18.1f\n", "baseline", bms, bfr, bmb
    printf "%-14s %15.2fx %16s %+18.1f\n", "ratio / diff", ratio, "", dmb
    printf "%-14s %+16.1f %+16.1f\n", "time diff ms", pms - bms, pfr - bfr
    printf "%-14s %16s %15.2fx\n", "frame ratio", "", (bfr > 0) ? pfr / bfr : 0
    printf "target time   <= 1.5 x baseline  : %s (%.2fx)\n", (ratio <= 1.5) ? "holds" : "MISSED", ratio
    printf "target memory <= baseline + 10 MB: %s (%+.1f MB)\n", (dmb <= 10) ? "holds" : "MISSED", dmb
    printf "result: program_ms=%.3f baseline_ms=%.3f ratio=%.3f program_frame_ms=%.3f baseline_frame_ms=%.3f program_hwm_mb=%.2f baseline_hwm_mb=%.2f diff_mb=%.2f time_target=%s memory_target=%s\n",
        pms, bms, ratio, pfr, bfr, pmb, bmb, dmb, (ratio <= 1.5) ? "holds" : "missed", (dmb <= 10) ? "holds" : "missed"
}'
