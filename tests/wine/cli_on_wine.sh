#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# kv718st-cli on the Wine bridge (--reader wine) in the prefix WINEPREFIX:
#   1. with the simulated reader as a Windows DLL (KV718ST_WINDOWS_LIBRARY),
#      read --json prints exactly what the Linux simulated reader gives, and
#      version, beep and led work; a port without a reader gives status 3;
#   2. Ctrl+C sent to the process group, as a terminal sends it, ends a watch
#      with status 0 after the port was closed through the reader host, which
#      the Ctrl+C must not have ended first;
#   3. a DLL that lacks a function, and one that does not exist: status 4.
# usage: cli_on_wine.sh CLI SIMULATED_DLL PARTIAL_DLL
set -u
cli=$1 simulated=$2 partial=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $1"; cat "$work"/*.err 2>/dev/null; exit 1; }
export KV718ST_SIM_OPTIONS=latency=off KV718ST_WINDOWS_LIBRARY=$simulated

linux=$("$cli" --reader simulated read --json 2>"$work/linux.err") || fail "read on the Linux simulated reader"
wine=$("$cli" --reader wine read --json 2>"$work/wine.err") || fail "read through the bridge: status $?"
[ "$wine" = "$linux" ] || fail "through the bridge: $wine; in process: $linux"
grep -q 'kv718st-cli: reader library loaded from .*/readers/wine/libVeltronanew125K.so' "$work/wine.err" ||
    fail "the bridge was not loaded"
version=$("$cli" --reader wine version 2>"$work/version.err") || fail "version: status $?"
[ "$version" = 0123 ] || fail "version: $version"
"$cli" --reader wine beep 30 2>"$work/beep.err" || fail "beep: status $?"
"$cli" --reader wine led LED2亮 2>"$work/led.err" || fail "led: status $?"
"$cli" --reader wine --port 3 read 2>"$work/port.err"
status=$?
[ "$status" -eq 3 ] || fail "a port without a reader: status $status, not 3"
rm -f "$work"/*.err
echo "ok: read, version, beep, led and a wrong port through the bridge"

# setsid makes the watch the leader of a process group of its own, as a
# terminal's foreground job is.
setsid "$cli" --reader wine watch --json --interval 50 >"$work/watch.out" 2>"$work/watch.err" &
watch=$!
for _ in $(seq 1 600); do
    [ -s "$work/watch.out" ] && break
    sleep 0.1
done
grep -q '"event":"arrived"' "$work/watch.out" || fail "the watch saw no card"
kill -INT -- "-$watch"
wait "$watch"
status=$?
[ "$status" -eq 0 ] || fail "the watch ended with status $status after Ctrl+C"
# Nothing went wrong on the way: no failed close, no host that ended early.
if grep -v -e 'reader library loaded from' -e 'reader host started' "$work/watch.err"; then
    fail "the watch reported a problem"
fi
rm -f "$work"/*.err
echo "ok: Ctrl+C to the process group ended the watch with status 0"

KV718ST_RECORD_SUCCEED=1 KV718ST_WINDOWS_LIBRARY=$partial "$cli" --reader wine beep 30 2>"$work/partial.err"
status=$?
[ "$status" -eq 4 ] || fail "a DLL without rf_beep_125K: status $status, not 4"
KV718ST_WINDOWS_LIBRARY=$work/none/Veltronanew125K.dll "$cli" --reader wine read 2>"$work/none.err"
status=$?
[ "$status" -eq 4 ] || fail "no DLL: status $status, not 4"
echo "ok: a DLL without a function, and no DLL, give status 4"
