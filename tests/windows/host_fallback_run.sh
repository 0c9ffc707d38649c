#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Runs the test of the 64-bit program's fallback to the 32-bit reader host,
# or reports it skipped (exit 77) where Wine cannot run the 32-bit host.
# usage: host_fallback_run.sh WINE_RUN PREFIX DLLDIRS TEST [ARGUMENTS...]
set -u
wine_run=$1 prefix=$2 dll_dirs=$3 test=$4
shift 4
host=$(dirname "$test")/kv718st-reader-host.exe
# The host ends at once on an empty input, where it can run at all.
out=$(timeout 120 "$wine_run" "$prefix" "" "$host" </dev/null 2>&1)
status=$?
case $out in
*"wine-run: skipped:"*) echo "$out"; exit 77 ;;
esac
if [ "$status" -ne 0 ]; then
    echo "skipped: Wine cannot run the 32-bit reader host on this system: $(echo "$out" | tail -n 1)"
    exit 77
fi
exec "$wine_run" "$prefix" "$dll_dirs" "$test" "$@"
