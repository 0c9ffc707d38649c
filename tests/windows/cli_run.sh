#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# kv718st-cli.exe under Wine (through wine-run.sh) on the simulated reader as
# a 64-bit DLL, which --reader simulated finds beside the program (in the build
# tree in readers\simulated, in the zip in simulated): every format as JSON,
# the exit statuses of a port without a reader, a card that is not there and
# a bad value, and a test's record in English, from the translation built
# into the program.
# usage: cli_run.sh WINE_RUN PREFIX DLLDIRS CLI
set -u
wine_run=$1 prefix=$2 dll_dirs=$3 cli=$4
fail() { echo "FAIL: $1"; exit 1; }

# run EXPECTED_STATUS ARGUMENTS...: standard output without Windows' line ends in $out
run() {
    local expected=$1
    shift
    out=$("$wine_run" "$prefix" "$dll_dirs" "$cli" "$@" 2>"$errors")
    local status=$?
    if grep -q '^wine-run: skipped:' <<<"$out"; then
        echo "$out"
        exit 0
    fi
    out=$(tr -d '\r' <<<"$out")
    [ "$status" -eq "$expected" ] || { cat "$errors"; fail "$*: status $status, not $expected"; }
}
errors=$(mktemp) record=$(mktemp -u).csv
trap 'rm -f "$errors" "$record"' EXIT
export KV718ST_SIM_OPTIONS=latency=off

run 0 --reader simulated read --json
expected='{"formats":[{"format":0,"hex":"30353733373835313733","text":"0573785173"},'\
'{"format":1,"hex":"31343330353332383938","text":"1430532898"},{"format":2,"hex":"3035312C3137343933","text":"051,17493"},'\
'{"format":3,"hex":"1122334455"},{"format":4,"hex":"5544332211"},{"format":5,"hex":"22334455"},'\
'{"format":6,"hex":"55443322"},{"format":7,"hex":"334455"},{"format":8,"hex":"554433"},'\
'{"format":9,"hex":"3033333539383239","text":"03359829"},{"format":10,"hex":"3035353838303139","text":"05588019"}]}'
[ "$out" = "$expected" ] || fail "read --json printed: $out"
grep -qi 'reader library loaded from .*[\\/]simulated[\\/]Veltronanew125K.dll' "$errors" ||
    { cat "$errors"; fail "the simulated reader beside the program was not loaded"; }
echo "ok: read --json, every format"

run 3 --reader simulated --port 3 read
KV718ST_SIM_OPTIONS=card=none run 1 --reader simulated read --format 3
[ -z "$out" ] || fail "a failed read printed: $out"
run 2 --reader simulated beep 256
echo "ok: exit statuses 3, 1 and 2"

run 0 --language en --reader simulated test --passes 1 --record "$record"
grep -q ',start,,,,,Port opened\.,' "$record" || { cat "$record"; fail "--language en: the record's start is not English"; }
echo "ok: --language en, the record's status in English"
