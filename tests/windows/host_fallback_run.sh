#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Runs the test of the 64-bit program's fallback to the 32-bit reader host.
# It reports the test skipped (exit 77) where this system cannot run the
# 32-bit host under Wine (no 64-bit Wine, no 32-bit Wine, or Wine's loader or
# the kernel refuses it), and fails it where the host is missing or does not
# end with status 0 on an empty input.
# usage: host_fallback_run.sh WINE_RUN PREFIX DLLDIRS TEST [ARGUMENTS...]
set -u
. "$(dirname "$0")/../wine/wine_machine_cause.sh"
wine_run=$1 prefix=$2 dll_dirs=$3 test=$4
shift 4
skip() { echo "skipped: $1"; exit 77; }
host=$(dirname "$test")/kv718st-reader-host.exe
[ -f "$host" ] || { echo "FAIL: no $host beside the test"; exit 1; }
# Without its 32-bit part, 64-bit Wine tries an experimental mode that fails
# the host at once and still ends with status 0.
wine_without_32bit && skip "32-bit Wine is not installed ($wine_add_32bit)"
cause=$(wine_32bit_refused) && skip "Wine cannot run the 32-bit reader host on this system: $cause"
out=$(timeout 120 "$wine_run" "$prefix" "" "$host" </dev/null 2>&1)
status=$?
case $out in
*"wine-run: skipped:"*) echo "$out"; exit 77 ;;
esac
if [ "$status" -ne 0 ]; then
    cause=$(wine_machine_cause "$host" "$out") && skip "Wine cannot run the 32-bit reader host on this system: $cause"
    echo "FAIL: the 32-bit reader host ended with status $status on an empty input: $(tail -n 3 <<<"$out")"
    exit 1
fi
exec "$wine_run" "$prefix" "$dll_dirs" "$test" "$@"
