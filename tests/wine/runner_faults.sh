#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# The runner of the Wine tests fails a test, never skips it, for a fault of
# the project's own pieces in a build that cross-compiled them: a reader host
# that exits with status 3 at start (run under Wine), a host missing from the
# bridge's folder, and a missing DLL under test. Runs under run_wine_test.sh
# itself, which has already shown that this machine runs the real 64-bit host.
# usage: runner_faults.sh PREFIX BRIDGE_DIR BROKEN_HOST_DIR RUNNER...
# RUNNER is the runner's command with its --built option.
set -u
prefix=$1 bridge=$2 broken=$3
shift 3
runner=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect_failure NAME BRIDGE_DIR DLL EXPECTED: the runner must exit 1 and say EXPECTED
expect_failure() {
    local name=$1 dir=$2 dll=$3 expected=$4 out status
    out=$(KV718ST_WINDOWS_LIBRARY=$dll "${runner[@]}" 64 "$prefix" "$dir" true 2>&1)
    status=$?
    if [ "$status" -eq 1 ] && grep -qF -- "$expected" <<<"$out"; then
        echo "ok: $name: fails ($out)"
    else
        echo "FAIL: $name: exit status $status, wanted 1 with '$expected'; it said: $out"
        failures=$((failures + 1))
    fi
}

dll=$KV718ST_WINDOWS_LIBRARY
expect_failure "a host that exits with status 3 at start" "$broken" "$dll" "reader host ended with status 3"
expect_failure "no host in the bridge's folder" "$work" "$dll" "no $work/kv718st-reader-host64.exe, although"
expect_failure "no DLL under test" "$bridge" "$work/Veltronanew125K.dll" "no $work/Veltronanew125K.dll, although"
[ "$failures" -eq 0 ]
