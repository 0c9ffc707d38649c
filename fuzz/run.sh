#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Fuzzes the numeric-text parser: installs clang if missing, builds the fuzz
# preset (the parser and its harness only, no Qt), replays the seed texts, then
# runs libFuzzer for a bounded time. Any finding fails the script; the input
# that caused it is kept in build/fuzz/findings/.
#
#   bash fuzz/run.sh [SECONDS]                       fuzz for SECONDS (default 60)
#   build/fuzz/fuzz/fuzz_numeric_value FILE...       replay inputs once each
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

packages=(cmake make clang-14 libclang-rt-14-dev)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

harness=build/fuzz/fuzz/fuzz_numeric_value
findings=build/fuzz/findings
log=build/fuzz/fuzz.log
rm -rf "$findings"
mkdir -p "$findings"
# New inputs go to a scratch folder, so the seed corpus stays as committed.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]; then
    export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi

echo "Fuzzing for ${seconds} s; libFuzzer's log: $log"
status=0
"$harness" -max_total_time="$seconds" -timeout=10 -dict=fuzz/numeric.dict -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" fuzz/corpus >"$log" 2>&1 || status=$?

if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
    tail -n 60 "$log"
    grep -A1 'invariant broken' "$log" >&2 || true
    echo "FAIL: the fuzzer found an input that breaks the parser (exit status $status):" >&2
    ls -l "$findings" >&2
    echo "Replay it with: $harness $findings/<file>" >&2
    exit 1
fi
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added)' "$log" || true
echo "ok: no finding in ${seconds} s"
