#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Automatic-test benchmark: runs kv_bench_autotest, which drives the real
# window offscreen on a reader that answers at once, and prints its figures
# with the targets. Beside it, at the same time and for as many passes, runs
# kv_bench_floor, the wake floor: the test's twelve 10 ms waits a pass and
# nothing else. Both see the same machine, so their ratios hold however busy
# it is; they are printed last.
#
# usage: bench/autotest.sh [BUILD_DIR] [OPTIONS...]
#   BUILD_DIR  an already built tree (default: build/release under the
#              repository); it needs bench/kv_bench_autotest and
#              bench/kv_bench_floor
#   OPTIONS    passed on, e.g. --passes 100 for a quick run (default 1000
#              passes, about two minutes); --help lists them
# Exits with the benchmark's status: 0 once the figures are printed, whether
# or not the targets hold; 1 if the run went wrong.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/release
if [[ $# -gt 0 && $1 != -* ]]; then
    build=$1
    shift
fi
build=$(cd "$build" && pwd)

bench=$build/bench/kv_bench_autotest
floor=$build/bench/kv_bench_floor
for program in "$bench" "$floor"; do
    if [[ ! -x $program ]]; then
        echo "autotest.sh: missing $program (build the tree first, e.g. cmake --preset release && cmake --build --preset release)" >&2
        exit 1
    fi
done

passes=1000
arguments=("$@")
for ((i = 0; i < ${#arguments[@]}; i++)); do
    case ${arguments[i]} in
    --help | -h) QT_QPA_PLATFORM=offscreen exec "$bench" "$@" ;;
    --passes) passes=${arguments[i + 1]:-} ;;
    --passes=*) passes=${arguments[i]#--passes=} ;;
    esac
done

work=$(mktemp -d)
floor_pid=
cleanup() {
    [[ -n $floor_pid ]] && kill "$floor_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The floor starts first: it needs no set-up, the tool's window does.
"$floor" --passes "$passes" >"$work/floor" 2>&1 &
floor_pid=$!
set +e
QT_QPA_PLATFORM=offscreen "$bench" "$@" | tee "$work/tool"
status=${PIPESTATUS[0]}
[[ $status -eq 0 ]] || exit "$status" # the floor is stopped on the way out
wait "$floor_pid"
floor_status=$?
floor_pid=
set -e
if [[ $floor_status -ne 0 ]]; then
    echo "autotest.sh: the wake floor failed:" >&2
    cat "$work/floor" >&2
    exit 1
fi

# field FILE NAME: the value of NAME= on the result line of FILE
field() { sed -n 's/^result: .*\<'"$2"'=\([^ ]*\).*/\1/p' "$1"; }

echo
echo "beside the wake floor, run at the same time: $passes passes of 12 waits of 10 ms in a nested event loop"
printf '%-40s %9s %9s %7s  %-14s %s\n' figure tool floor ratio target result
compare() { # NAME TOOL FLOOR LIMIT
    awk -v name="$1" -v tool="$2" -v floor="$3" -v limit="$4" 'BEGIN {
        if (tool == "" || floor == "" || tool == "n/a" || floor == "n/a" || floor + 0 <= 0) {
            printf "%-40s %9s %9s %7s  %-14s %s\n", name, tool, floor, "-", "-", "not measured"
            exit
        }
        ratio = tool / floor
        printf "%-40s %9.3f %9.3f %7.3f  %-14s %s\n", name, tool, floor, ratio,
               limit == "" ? "-" : "ratio <= " limit, limit == "" ? "info" : (ratio <= limit ? "PASS" : "MISS")
    }'
}
compare "processor % of one core, whole run" "$(field "$work/tool" cpu_overall)" "$(field "$work/floor" cpu_overall)" 2
compare "system calls per pass" "$(field "$work/tool" syscalls_per_pass)" "$(field "$work/floor" syscalls_per_pass)" 2
compare "wakes per pass" "$(field "$work/tool" wakes_per_pass)" "$(field "$work/floor" wakes_per_pass)" ""
compare "pass period ms (tool p50, floor mean)" "$(field "$work/tool" period_p50_ms)" "$(field "$work/floor" period_ms)" 1.01
echo "floor: $(sed -n 's/^result: //p' "$work/floor")"
