#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Runs the read-all and automatic-test benchmarks briefly against a built
# tree and checks that they measure what they say: the counts of their
# samples, figures that cannot be otherwise, and refused arguments.
# usage: bench_smoke.sh BUILD_DIR
set -uo pipefail

build=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    cat "$out"
    failures=$((failures + 1))
}

# field NAME: the value of NAME= on the result line of $out
field() {
    sed -n 's/^result: .*\<'"$1"'=\([^ ]*\).*/\1/p' "$out"
}

# The automatic test: 3 passes, clicks every 20-40 ms.
if ! bash "$here/autotest.sh" "$build" --passes 3 --window 1 --warmup 1 --click-min 20 --click-max 40 >"$out" 2>&1; then
    fail "autotest.sh ended with an error"
else
    [[ $(field passes) == 3 ]] || fail "autotest.sh: passes is not 3"
    # Three periods, thirty waits between steps, thirty-three step works.
    grep -Eq '^pass period ms +3 ' "$out" || fail "autotest.sh: not 3 periods"
    grep -Eq '^wait lateness ms .* +30 ' "$out" || fail "autotest.sh: not 30 waits"
    grep -Eq '^step work ms .* +33 ' "$out" || fail "autotest.sh: not 33 step works"
    grep -Eq '^processor % of one core, 1-pass windows +3 ' "$out" || fail "autotest.sh: not 3 windows"
    grep -Eq '^peak memory \(VmHWM\) .* after 1 passes' "$out" || fail "autotest.sh: no memory figure"
    # Eleven waits of at least 10 ms and the 10 ms pass interval: no period is
    # shorter than 120 ms, and no wait ends early.
    awk -v p="$(field period_p50_ms)" -v w="$(field wait_min_ms)" 'BEGIN { exit !(p >= 120 && w >= 10) }' ||
        fail "autotest.sh: a period under 120 ms or a wait under 10 ms"
    # 3 passes take about 0.5 s: with a click every 20-40 ms some must have
    # been answered, each of them by the buzzer's beep.
    grep -Eq '^click latency ms \(post->beep\) +[1-9]' "$out" || fail "autotest.sh: no click answered"
    # The wake floor ran beside it, as many passes: twelve waits a pass, each
    # a wake of its own.
    grep -Eq '^floor: passes=3 .*wakes_per_pass=1[12]\.' "$out" || fail "autotest.sh: no wake floor of 3 passes"
    grep -Eq '^processor % of one core, whole run +[0-9.]+ +[0-9.]+ +[0-9.]+  ratio <= 2 ' "$out" ||
        fail "autotest.sh: no processor ratio to the wake floor"
    grep -Eq '^wakes per pass +[0-9.]+ +[0-9.]+ ' "$out" || fail "autotest.sh: no wakes per pass"
fi

for bad in "--passes 0" "--window 5 --passes 2" "--click-min 50 --click-max 10" "--passes x"; do
    # shellcheck disable=SC2086
    bash "$here/autotest.sh" "$build" $bad >"$out" 2>&1
    [[ $? == 2 ]] || fail "autotest.sh $bad was not refused"
done

# Read-all: 3 clicks with latency off, 1 with it on.
if ! bash "$here/readall.sh" "$build" 3 1 >"$out" 2>&1; then
    fail "readall.sh ended with an error"
else
    [[ $(field off_count) == 3 ]] || fail "readall.sh: not 3 clicks with latency off"
    [[ $(field on_count) == 1 ]] || fail "readall.sh: not 1 click with latency on"
    # Eleven reads on the wire take far longer than without it.
    awk -v off="$(field off_median_ms)" -v on="$(field on_median_ms)" 'BEGIN { exit !(on > 10 * off && on > 0) }' ||
        fail "readall.sh: latency on is not slower than off"
fi
bash "$here/readall.sh" "$build" 0 >"$out" 2>&1 && fail "readall.sh accepted 0 clicks"

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
