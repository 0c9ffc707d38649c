#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Fuzzes the decoders of untrusted input: installs clang if missing, builds
# the fuzz preset (the decoders and their harnesses only, no Qt), replays the
# seed inputs, then runs libFuzzer on each harness in turn for a bounded time.
# Any finding fails the script; the input that caused it is kept in
# build/fuzz/findings/<harness>/.
#
#   bash fuzz/run.sh [SECONDS [HARNESS...]]     fuzz each harness for SECONDS (default 60);
#                                               all of them unless named (numeric_value,
#                                               serial_frame, bridge_protocol)
#   build/fuzz/fuzz/fuzz_<harness> FILE...      replay inputs once each
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(numeric_value serial_frame bridge_protocol)

. setup/packages.sh
install_missing "${fuzz_packages[@]}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

# New inputs go to a scratch folder, so the seed corpora stay as committed.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]; then
    export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi

failed=()
for name in "${harnesses[@]}"; do
    harness=build/fuzz/fuzz/fuzz_$name
    findings=build/fuzz/findings/$name
    log=build/fuzz/fuzz_$name.log
    [ -x "$harness" ] || { echo "FAIL: no harness $harness" >&2; exit 1; }
    rm -rf "$findings"
    mkdir -p "$findings" "$work/$name"
    options=()
    [ -f "fuzz/$name.dict" ] && options+=("-dict=fuzz/$name.dict")
    echo "Fuzzing $name for ${seconds} s; libFuzzer's log: $log"
    status=0
    "$harness" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 "${options[@]}" \
        -artifact_prefix="$findings/" "$work/$name" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
        tail -n 60 "$log"
        grep -A1 -E 'invariant broken|property broken' "$log" >&2 || true
        echo "FAIL: the fuzzer found an input that breaks $name (exit status $status):" >&2
        ls -l "$findings" >&2
        echo "Replay it with: $harness $findings/<file>" >&2
        failed+=("$name")
        continue
    fi
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added)' "$log" | sed "s/^/$name: /" || true
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "FAIL: findings in ${failed[*]}" >&2
    exit 1
fi
echo "ok: no finding in ${seconds} s each for ${harnesses[*]}"
